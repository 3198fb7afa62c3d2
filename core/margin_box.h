// The box a node builds around its input mesh so that nothing of the mesh lies on its walls.
#pragma once

#include "core/topo_store.h"
#include "geom/polyhedron.h"

namespace tsl {

struct MarginBox {
  Float3 lo;
  Float3 hi;
};

// The mesh box with each corner moved 0.05 further out along the line from the box centre
// through it. The arithmetic is in float, where the nodes have always done it, so the corners
// are exactly the ones a result published in float was made against. A box without extent
// (a single point) stays a point.
MarginBox marginBox(const geom::AABB& meshBox);

}  // namespace tsl
