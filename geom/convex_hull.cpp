#include "geom/convex_hull.h"

#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/convex_hull_3.h>

namespace geom {

bool convexHull(std::span<const Vec3> points, std::vector<Vec3>& corners,
                std::vector<std::array<int, 3>>& triangles) {
  corners.clear();
  triangles.clear();
  // Exact constructions: the quickhull builds the planes of its faces, and on the nearly flat
  // point sets this is for, planes rounded to double give inconsistent answers (and crashes).
  using EK = CGAL::Exact_predicates_exact_constructions_kernel;
  std::vector<EK::Point_3> in;
  in.reserve(points.size());
  for (const Vec3& p : points) in.emplace_back(p.x, p.y, p.z);
  // The hull needs four points off one plane; CGAL would return a lower-dimensional object.
  std::size_t i1 = 1, i2 = 0, i3 = 0;
  while (i1 < in.size() && in[i1] == in[0]) ++i1;
  for (i2 = i1 + 1; i2 < in.size() && CGAL::collinear(in[0], in[i1], in[i2]); ++i2) {
  }
  for (i3 = i2 + 1; i3 < in.size() && CGAL::coplanar(in[0], in[i1], in[i2], in[i3]); ++i3) {
  }
  if (i3 >= in.size()) return false;
  std::vector<EK::Point_3> hullPoints;
  std::vector<std::array<std::size_t, 3>> hullFaces;
  CGAL::convex_hull_3(in.begin(), in.end(), hullPoints, hullFaces);
  corners.reserve(hullPoints.size());
  // Hull corners are input points, so converting them back is exact.
  for (const EK::Point_3& p : hullPoints) {
    corners.push_back({CGAL::to_double(p.x()), CGAL::to_double(p.y()), CGAL::to_double(p.z())});
  }
  triangles.reserve(hullFaces.size());
  for (const auto& f : hullFaces) {
    triangles.push_back({static_cast<int>(f[0]), static_cast<int>(f[1]), static_cast<int>(f[2])});
  }
  return true;
}

}  // namespace geom
