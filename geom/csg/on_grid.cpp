#include "geom/csg/on_grid.h"

#include <span>
#include <vector>

#include "geom/predicates.h"
#include "geom/triangulator.h"

namespace geom::csg {

void placeOnGrid(const Grid& grid, Keys& keys) {
  if (!grid.active) return;
  for (Vec3& p : keys.position) p = grid.round(p);
}

namespace {

bool flat(std::span<const Vec3> corners) {
  const std::size_t n = corners.size();
  // Three corners that span the plane: the first, and the two that make the most of it.
  std::size_t j = 1;
  while (j < n && corners[j] == corners[0]) ++j;
  if (j >= n) return true;
  std::size_t k = j + 1;
  while (k < n && collinear(corners[0], corners[j], corners[k])) ++k;
  if (k >= n) return true;  // no area: the operand check has judged it
  for (std::size_t i = 1; i < n; ++i) {
    if (i == j || i == k) continue;
    if (orient3d(corners[0], corners[j], corners[k], corners[i]) != 0) return false;
  }
  return true;
}

}  // namespace

void splitBentFaces(const Keys& keys, Pending& p) {
  Pending out;
  out.corners.reserve(p.corners.size());
  std::vector<Vec3> polygon;
  std::vector<Triangulator::Triangle> tris;
  std::vector<int> tri(3);
  bool any = false;
  for (std::size_t f = 0; f < p.origins.size(); ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    const std::span<const int> corners(p.corners.data() + b, n);
    const bool cut = isCutFace(keys, p, f);
    bool split = false;
    if (cut && n > 3) {
      polygon.clear();
      for (const int v : corners) polygon.push_back(keys.position[v]);
      tris.clear();
      split = !flat(polygon) && Triangulator::triangulate(polygon, tris);
    }
    if (!split) {
      out.add(corners, p.origins[f]);
      continue;
    }
    any = true;
    for (const auto& t : tris) {
      for (int k = 0; k < 3; ++k) tri[k] = corners[t[k]];
      out.add(tri, p.origins[f]);
    }
  }
  if (any) p = std::move(out);
}

}  // namespace geom::csg
