// The last resort for an open operand that crosses itself where the other operand comes near
// and cannot be cut along those crossings: the faces that cross go.
#pragma once

#include <optional>

#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"

namespace geom::csg {

// Operand m of the pair (a, b) (m = 0: a), open, without its faces that meet another of its
// faces other than where they are joined, among its triangles that the other operand comes
// near (csg/near): the corefinement cannot cut through a crossing, and an open surface with a
// few more holes still stands for nearly the same solid (its winding number) and keeps its
// surface elsewhere. `from` is what op was resolved from, if anything, so that provenance goes
// back to the operand as given; vertices keep their indices (and from's sameVertex). Requires a
// and b prepared (their triangles present). Returns nothing when no such face is found.
std::optional<ResolvedOperand> withoutCrossingNear(const TriangulatedOperand& a,
                                                   const TriangulatedOperand& b, int m,
                                                   const ResolvedOperand* from);

}  // namespace geom::csg
