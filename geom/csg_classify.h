// Classification of the corefined operands' faces against each other, and the keep table.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "geom/csg.h"
#include "geom/csg_corefine.h"

namespace geom::csg {

// Where a patch (faces connected across edges off the intersection) lies relative to the
// other operand's solid.
enum class Side : std::uint8_t { UNKNOWN, OUT, IN, ON_SAME, ON_OPPOSITE };

struct Classification {
  std::vector<Side> side[2];               // per face of each corefined mesh
  std::vector<std::uint8_t> keep[2];       // per face: part of the result
  std::vector<std::uint8_t> reversed[2];   // per face: kept with its winding flipped
};

// Winding number of operand `which`'s surface around p, or SolidQuery::kOnSurface.
using WindingQuery = std::function<int(int which, const Vec3& p)>;

// Classifies every face of both meshes and applies op's keep table. Faces coplanar with a face
// of the other operand are found from the shared intersection nodes (CGAL triangulates
// overlapping coplanar regions alike in both meshes). With CLASSIFY_EDGE a patch that touches
// the intersection is decided by the order of faces around one of its intersection edges
// (exact orientation tests on the corefined coordinates); every other patch, and with
// CLASSIFY_NORMAL every patch, by the winding number at a point inside one of its faces.
Classification classify(const Corefinement& cf, const TriangulatedOperand& a,
                        const TriangulatedOperand& b, Csg::OP op, Csg::CLASSIFY_TYPE type,
                        const WindingQuery& winding);

}  // namespace geom::csg
