// A result that no snapping round made valid on the publishing grid, replaced by the surface of
// the solid it stands for there.
#pragma once

#include <cstddef>
#include <vector>

#include "geom/csg/assemble.h"
#include "geom/csg_grid.h"
#include "geom/polyhedron.h"
#include "geom/triangulator.h"

namespace geom::csg {

// The triangles face f of rb is cut into, as corner slots of the face (0 .. size - 1): the face
// itself where it has three corners, else geom::Triangulator's cut that never fails.
void faceTriangles(const ResultBuild& rb, std::size_t f, std::vector<Triangulator::Triangle>& out);

// Where two surfaces of a result lie within a few steps of the grid of each other at a small
// angle (a solid minus its copy turned by a hair), rounding their vertices to the grid can fold
// faces through one another and turn a sliver inside out, and no snapping of the faces around
// the cut undoes that. rb, as placed on the grid, is then resolved as an operand that crosses
// itself would be: its faces cut along the crossings, the patches with winding number 0 in
// front kept (an island turned inside out by the rounding has -1 in front and goes), every
// vertex on the grid. Each new face keeps the origin of the face it lies in; with wantCorners
// its corners are derived again from the source faces of operands (the operand meshes the
// origins index; size 2). Where that resolution fails, the islands that still cross (or were
// turned inside out) go if they are slivers, on average thinner than 16 steps of the grid; with
// solids (both operands closed, so every island of the result should be) also open ones.
// Requires rb's origins to index those meshes and grid active. Returns whether rb was
// replaced; it is left as it was when neither way mends it (the result stays what the snapping
// made of it).
bool resolveOnGrid(ResultBuild& rb, const Polyhedron* const operands[2], const Grid& grid,
                   bool wantCorners, bool solids);

// Per face of result, whether it belongs to a closed island that rounding turned inside out:
// negative volume, and on average thinner than 16 steps of the grid (a cavity of a result has
// negative volume too, but is not that thin). Empty when there is no such island. Requires
// grid active.
std::vector<std::uint8_t> turnedSlivers(const Polyhedron& result, const Grid& grid);

// rb without the faces marked in drop (one flag per face), its points renumbered in order of
// use; provenance and corner derivations follow the faces kept.
void withoutFaces(ResultBuild& rb, const std::vector<std::uint8_t>& drop);

}  // namespace geom::csg
