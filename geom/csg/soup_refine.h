// Triangles cut along the curves where they cross one another, in exact arithmetic, for the
// surfaces whose crossings CGAL's autorefinement gives up on (faces lying on one another, edges
// through one another's corners).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geom/vec3.h"

namespace geom::csg {

struct RefinedSoup {
  std::vector<Vec3> points;              // the input points first, then the new ones
  std::vector<std::array<int, 3>> tris;  // each wound as the triangle it lies in
  std::vector<std::uint32_t> sourceTri;  // per triangle: the input triangle it lies in
};

// tris (indices into points, each with area) cut so that two triangles of the result meet only
// in a shared edge or vertex, up to the rounding of the new points to double: every pair of
// input triangles that meets is intersected exactly, and each input triangle cut along what it
// meets by a constrained triangulation in its plane. Points at one position are one vertex.
// Where input triangles overlap in their plane, their pieces over the overlap lie on each other:
// pieces wound against each other cancel in pairs, and of those left one stays. Triangles that
// rounding left without area are dropped.
// Throws geom::Error when an exact construction fails.
RefinedSoup refineSoup(const std::vector<Vec3>& points,
                       const std::vector<std::array<int, 3>>& tris);

}  // namespace geom::csg
