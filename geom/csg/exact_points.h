// The corefined vertices at their exact positions, for the orientation tests that the
// coordinates rounded to double could flip.
#pragma once

#include <memory>

#include "geom/csg/corefine.h"
#include "geom/polyhedron.h"

namespace geom::csg {

// Orientation tests on the exact positions of corefined vertices: input vertices as given,
// intersection nodes as the exact intersection of the primitives that made them (the corefined
// coordinates are those rounded to double, which can flip a test on a thin sliver).
class ExactPoints {
 public:
  struct Ref {
    int mesh;
    int vertex;  // corefined vertex of that mesh
  };
  ExactPoints(const Corefinement& cf, const Polyhedron& a, const Polyhedron& b);
  ~ExactPoints();
  ExactPoints(const ExactPoints&) = delete;
  ExactPoints& operator=(const ExactPoints&) = delete;

  // Sign of orient3d (see geom::orient3d) of the corners of source triangle `tri` of operand
  // `mesh` (an index into cf.mesh[mesh].sourceTris) and s. Every face cut from that triangle
  // lies in its plane and is wound as it, so for any corefined face (u, v, q) with faceTri
  // `tri` this is the orientation of (u, v, q, s) over their exact positions. Decided on input
  // points wherever they suffice: no intersection node is constructed when s is an input
  // vertex, lies on the triangle's plane by how it was made, or is on an edge whose ends lie
  // on one side of that plane.
  int side(int mesh, int tri, Ref s) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace geom::csg
