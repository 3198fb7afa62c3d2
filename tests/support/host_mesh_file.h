// A mesh file read into host arrays (float points, -2 separated polygons), as a host holds it.
#pragma once

#include <algorithm>
#include <string>

#include "geom/mesh_files.h"
#include "support/mesh_builders.h"

namespace tsl::test {

inline HostMesh hostMeshFromFile(const std::string& path) {
  const geom::MeshFile file = geom::readMeshFile(path);
  HostMesh m;
  m.points.reserve(file.points.size());
  for (const auto& p : file.points) {
    m.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  }
  for (const auto& poly : file.polygons) {
    m.description.insert(m.description.end(), poly.begin(), poly.end());
    m.description.push_back(-2);
  }
  return m;
}

// Box of the points in double: lo[k], hi[k] per axis.
struct HostBox {
  double lo[3] = {1e300, 1e300, 1e300};
  double hi[3] = {-1e300, -1e300, -1e300};
};
inline HostBox boxOf(const HostMesh& m) {
  HostBox b;
  for (const Float3& p : m.points) {
    const double c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k)
      b.lo[k] = std::min(b.lo[k], c[k]), b.hi[k] = std::max(b.hi[k], c[k]);
  }
  return b;
}

}  // namespace tsl::test
