// A quick, filtered answer to "are these two triangles apart?" from the planes of the
// triangles, in front of the exact tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geom/csg/filtered_triple.h"
#include "geom/vec3.h"

namespace geom::csg {

// The planes of a mesh's triangles, computed when first asked for, and the side of them a
// point is certainly on. Sides are signs of the orientation determinant of the triangle's
// corners and the point, computed in double and trusted only beyond a bound on its rounding
// error (filtered_triple.h), so a decided side is the exact one; doubt (a point on or near the
// plane, a triangle without area) is undecided.
class PlaneSides {
 public:
  // points and tris must outlive this object; tris index points.
  PlaneSides(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris);

  // +1 or -1 when q is certainly on the positive or negative side of triangle t's plane (the
  // side its normal (corner 1 - corner 0) x (corner 2 - corner 0) points to), 0 when that is
  // not decided. Requires t < tris.size(); so do the index arguments below.
  int side(std::uint32_t t, const Vec3& q);

  // Whether triangles t1 and t2 of this mesh certainly meet in nothing but the corners they
  // share (by index): the corners of one that are not corners of the other lie strictly on one
  // side of the other's plane. False means undecided, not that they meet.
  bool apart(std::uint32_t t1, std::uint32_t t2);

  // Whether triangle t of this mesh and triangle u of `other` certainly have no point in
  // common: the corners of one lie strictly on one side of the other's plane.
  bool apart(std::uint32_t t, PlaneSides& other, std::uint32_t u);

 private:
  struct Plane {
    Vec3 origin;   // corner 0
    Cross normal;  // (corner 1 - corner 0) x (corner 2 - corner 0)
  };
  const Plane& plane(std::uint32_t t);
  // The side of triangle t's plane that every corner of triangle u of `of` not among `skip`
  // is certainly on, or 0 (none, or not all on one side).
  int commonSide(std::uint32_t t, PlaneSides& of, std::uint32_t u, const std::array<int, 3>* skip);

  const std::vector<Vec3>& points_;
  const std::vector<std::array<int, 3>>& tris_;
  // Planes of the triangles asked about only: a search between two large meshes asks about a
  // few of them, and a plane takes 72 bytes.
  std::vector<std::uint32_t> slot_;  // per triangle: index in planes_ plus one, 0 when unknown
  std::vector<Plane> planes_;
};

}  // namespace geom::csg
