// A Boolean result's faces on the grid it will be published on.
#pragma once

#include "geom/csg/pending.h"
#include "geom/csg_grid.h"

namespace geom::csg {

// Puts every key where the grid rounds it.
void placeOnGrid(const Grid& grid, Keys& keys);

// Replaces each face of more than three corners, one of them an intersection point, whose
// corners are not exactly in one plane by the triangles geom::Triangulator makes of it (the
// triangles the operand check judged); a face it cannot triangulate stays as it is. A consumer
// would otherwise triangulate such a face its own way, which rounding may have folded.
void splitBentFaces(const Keys& keys, Pending& p);

}  // namespace geom::csg
