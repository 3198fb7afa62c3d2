// The generalized winding number of a triangle surface that need not be closed (Jacobson,
// Kavan and Sorkine-Hornung 2013): the signed solid angle the triangles subtend at a point,
// over 4 pi. For a closed, outward surface it is the integer winding number; for a surface with
// holes it stays close to it away from the holes and passes one half smoothly across them, so
// "above one half" is the solid such a surface almost bounds. A sheet bounds nothing: its
// winding number stays between minus and plus one half.
//
// Evaluated with a hierarchy of triangle clusters (Barill, Dickson, Schmidt, Levin and Jacobson
// 2018): a cluster far from the point counts as its dipole, so a query costs about log n.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geom/vec3.h"

namespace geom {

class FastWindingNumber {
 public:
  // The surface of triangles tris (vertex indices into points, counter-clockwise seen from
  // outside). The corners are copied: the arrays need not outlive the object.
  // Requires every index to be a valid index into points.
  FastWindingNumber(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris);

  // The winding number at p, with the far clusters approximated (error well below 0.01 for
  // points not on the surface).
  double at(const Vec3& p) const;

  // The winding number at p from every triangle, without approximation: n work.
  double exactAt(const Vec3& p) const;

  // Whether the solid the surface stands for holds p: the winding number above one half. Where
  // the approximation cannot tell, nearer clusters are summed exactly, and at last every one.
  bool inside(const Vec3& p) const;

 private:
  struct Node {
    Vec3 centre;                         // area-weighted centroid of the cluster
    Vec3 area;                           // sum of the triangles' vector areas (normal times area)
    double radius = 0;                   // farthest corner from centre
    std::uint32_t first = 0, count = 0;  // leaf: triangles [first, first + count) of order
    std::int32_t left = -1, right = -1;  // children; -1 for a leaf
  };

  std::int32_t build(std::uint32_t first, std::uint32_t count);
  // The winding number at p with clusters farther than far radii counted as dipoles.
  double at(const Vec3& p, double far) const;
  double triangleAngle(std::uint32_t t, const Vec3& p) const;

  std::vector<std::array<Vec3, 3>> corners_;  // per triangle, in tree order
  std::vector<Node> nodes_;
};

}  // namespace geom
