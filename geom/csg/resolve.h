// Operands that cross themselves, replaced by the surface of the solid they stand for.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "geom/csg/operand.h"
#include "geom/csg_grid.h"
#include "geom/polyhedron.h"

namespace geom::csg {

// A closed operand's surface without self-intersection, made of triangles of its faces.
struct ResolvedOperand {
  Polyhedron mesh;                        // faces of the operand, or triangles of them
  std::vector<std::uint32_t> sourceFace;  // per face: the operand face it lies in
  std::vector<int> sameVertex;            // see TriangulatedOperand::sameVertex
};

// Whether two triangles of op (of those flagged in only, where given) meet other than in a
// shared edge or vertex (the test checkSelfIntersections makes, as a verdict instead of a throw).
bool selfIntersects(const TriangulatedOperand& op, const std::vector<std::uint8_t>* only = nullptr);

// The surface of the region op winds around at least once: op's triangles are cut along the
// curves where they cross one another (CGAL's autorefinement), and of the patches between those
// curves the ones with winding number 0 just in front are kept (the others lie inside the
// solid, or bound a pocket wound the wrong way), welded along the curves. Every vertex is put
// on grid. Requires op closed, manifold and
// consistently oriented (prepareOperand's checks). Throws geom::Error("<name> self-intersects
// ...") when the crossings cannot be resolved into a closed manifold surface (sheets on each
// other, surfaces that would only touch), or when the resolved surface, on the grid, still
// crosses itself.
ResolvedOperand resolveSelfIntersections(const TriangulatedOperand& op, const Grid& grid);

// resolveSelfIntersections with op's triangles cut one by one (csg/soup_refine) instead of by
// CGAL's autorefinement, which gives up on some surfaces (seen: diplodocus). Same requirements,
// result and throws. Where the resolved surface crosses itself once rounded onto the grid, it
// is cut and resolved again from its rounded points, up to `rounds` times in all.
ResolvedOperand resolveBySoup(const TriangulatedOperand& op, const Grid& grid, int rounds = 1);

// Per triangle of a surface cut along its crossings (tris over points, patch: the patch of
// each, numbered from 0, triangles joined where nothing crosses): whether it bounds the solid
// the surface stands for, i.e. the winding number just in front of it is 0. Throws
// geom::Error("<name> self-intersects where two of its sheets lie on each other") where that
// point lies on the surface.
std::vector<std::uint8_t> facingOutside(const std::vector<Vec3>& points,
                                        const std::vector<std::array<int, 3>>& tris,
                                        const std::vector<int>& patch, const std::string& name);

// An open operand's triangles cut along the curves where they cross one another (CGAL's
// autorefinement), every triangle kept, and the vertices at one position joined: where two
// sheets crossed, four half-sheets now meet along an edge, for splitTouchingSheets to pair into
// sheets that only touch there. The winding number of the surface is the same everywhere off
// it. Requires op checked by prepareOperand. Throws geom::Error("<name> self-intersects, and
// cutting it ...") when CGAL cannot cut it.
ResolvedOperand refineCrossings(const TriangulatedOperand& op);

}  // namespace geom::csg
