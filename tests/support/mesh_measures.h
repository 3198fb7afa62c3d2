// Measures of published meshes used by several end-to-end tests.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "core/topo_store.h"
#include "geom/polyhedron.h"

namespace tsl::test {

// Faces of a -2 separated description.
inline std::vector<std::vector<int>> facesOf(const std::vector<std::int32_t>& polygons) {
  std::vector<std::vector<int>> faces;
  std::vector<int> cur;
  for (std::int32_t v : polygons) {
    if (v == -2) {
      faces.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(v);
    }
  }
  return faces;
}

// Signed volume enclosed by the faces (fan triangulation), in double.
inline double volumeOf(const std::vector<Float3>& pts, const std::vector<std::int32_t>& polygons) {
  double vol = 0.0;
  for (const auto& f : facesOf(polygons)) {
    const Float3& a = pts[static_cast<std::size_t>(f[0])];
    for (std::size_t i = 1; i + 1 < f.size(); ++i) {
      const Float3& b = pts[static_cast<std::size_t>(f[i])];
      const Float3& c = pts[static_cast<std::size_t>(f[i + 1])];
      vol += double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) -
             double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
             double(a.z) * (double(b.x) * c.y - double(b.y) * c.x);
    }
  }
  return vol / 6.0;
}

// The mesh as the kernel sees it (islands, closedness) from published arrays.
inline geom::Polyhedron polyhedronOf(const std::vector<Float3>& pts,
                                     const std::vector<std::int32_t>& polygons) {
  std::vector<geom::Vec3> p;
  for (const Float3& f : pts) p.push_back({f.x, f.y, f.z});
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (std::int32_t v : polygons) {
    if (v == -2) {
      offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    } else {
      corners.push_back(v);
    }
  }
  return geom::Polyhedron(std::move(p), std::move(offsets), std::move(corners));
}

inline std::set<std::int32_t> islandsOf(const std::vector<FaceInfo>& info) {
  std::set<std::int32_t> s;
  for (const FaceInfo& f : info) s.insert(f.island);
  return s;
}

}  // namespace tsl::test
