// Tolerant intake of a Boolean operand: the small defects of real meshes mended before the
// operand is checked.
#pragma once

#include <optional>
#include <string>

#include "geom/csg/resolve.h"
#include "geom/polyhedron.h"

namespace geom::csg {

// Mends what needs no judgement about the solid: vertices at exactly one position that an edge
// joins (a zero-length edge) are welded into one (the lowest index; coincident vertices that no
// edge joins are where the surface touches itself, and stay), a face then loses repeated
// corners in a row and goes when fewer than three are left, and a face whose corners all lie on one
// line (no area) goes, its corners between the ends of its longest edge passed on to the face
// across that edge, so that the surface stays closed. Faces keep their order and winding.
//
// Returns nothing when the mesh has none of these defects or a coordinate that is not finite
// (it is used as it is, and checked), else the mended
// mesh with each face's source face in mesh. Whatever the mending cannot do (a face that still
// has no area, an edge left without its pair) is left for the operand checks to name.
std::optional<ResolvedOperand> mendOperand(const Polyhedron& mesh);

// Where the solid touches itself along an edge or at a point (an edge of four faces, a vertex
// where separate fans of faces meet, as the engine's own symmetric differences have), gives
// each sheet its own copies of the vertices there, recorded in sameVertex; faces, their order
// and their winding are kept. The faces around such an edge are paired as the islands of a mesh
// are. `from` is what mesh was mended from, if anything, so that provenance goes back to the
// operand as given. Returns nothing when no vertex needs a copy, or when the faces around an
// edge cannot be paired into closed sheets (the operand checks then name what is wrong).
std::optional<ResolvedOperand> splitTouchingSheets(const Polyhedron& mesh,
                                                   const ResolvedOperand* from);

// Where an open sheet ends on a solid along an edge, and the sheet's face there shares both of
// the edge's ends with the solid's faces, no copy of a vertex sets the sheets apart: each edge
// of more than two faces gets a vertex in its middle, in every face along it, for
// splitTouchingSheets to give each sheet its own copy of. `from` as for splitTouchingSheets.
// Returns nothing when no edge has more than two faces.
std::optional<ResolvedOperand> splitCrowdedEdges(const Polyhedron& mesh,
                                                 const ResolvedOperand* from);

// Where two fans of faces of an open surface meet in one vertex (two holes touching at a
// corner), gives each fan after the first its own copy of the vertex, so that the surface is a
// manifold one; faces, their order and winding are kept. A closed surface is left to
// splitTouchingSheets, which records where its sheets touch. `from` as for
// splitTouchingSheets. Returns nothing for a mesh without a border edge or without such a
// vertex, or with an edge used twice in one direction.
std::optional<ResolvedOperand> splitPinchedVertices(const Polyhedron& mesh,
                                                    const ResolvedOperand* from);

}  // namespace geom::csg
