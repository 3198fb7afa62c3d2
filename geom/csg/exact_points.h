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

  // Sign of orient3d (see geom::orient3d) over the exact positions.
  int orient(Ref p, Ref q, Ref r, Ref s) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace geom::csg
