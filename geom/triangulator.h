// Ear-clipping triangulation of polygons in their own projection.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "geom/vec3.h"

namespace geom {

// The plane a polygon is drawn in: its Newell normal's dominant axis is dropped and the other
// two are ordered so that the polygon runs counter-clockwise in them.
struct PolygonProjection {
  int u = 0;           // axis used as x
  int v = 1;           // axis used as y
  bool valid = false;  // false when the Newell normal is zero (no area in any projection)

  static PolygonProjection of(std::span<const Vec3> corners);
};

// Ear clipping without an improvement pass; a convex polygon becomes the fan around its first
// corner, and a polygon reversed with its first corner kept becomes the same triangles reversed.
// Attached to a geom::Csg it splits every result face
// of more than three vertices; each triangle keeps the face's winding and provenance, and
// attribute values are assigned to the triangles afterwards.
class Triangulator {
 public:
  using Triangle = std::array<std::uint32_t, 3>;  // corner slots of the polygon, in its winding

  // Appends the triangles of the polygon with the given corner positions to out. Returns false,
  // and appends nothing, when the polygon has fewer than three corners, no area, or is not a
  // simple polygon in its projection (exact predicates decide every orientation).
  static bool triangulate(std::span<const Vec3> corners, std::vector<Triangle>& out);

  // As triangulate, but never fails on three or more corners: where ear clipping cannot go on
  // (a non-planar face that overlaps itself in projection) the rest becomes a fan.
  static void triangulateAlways(std::span<const Vec3> corners, std::vector<Triangle>& out);
};

}  // namespace geom
