// Classification of the corefined operands' faces against each other, and the keep table.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "geom/csg.h"
#include "geom/csg/corefine.h"
#include "geom/csg/exact_points.h"
#include "geom/csg/solid_query.h"

namespace geom::csg {

// Where a patch (faces connected across edges off the intersection) lies relative to the
// other operand's solid.
enum class Side : std::uint8_t { UNKNOWN, OUT, IN, ON_SAME, ON_OPPOSITE };

struct Classification {
  std::vector<Side> side[2];              // per face of each corefined mesh
  std::vector<std::uint8_t> keep[2];      // per face: part of the result
  std::vector<std::uint8_t> reversed[2];  // per face: kept with its winding flipped
};

// Point queries against operand `which`'s surface: the winding number around p (or
// SolidQuery::kOnSurface), and whether the surface comes within a distance of p.
struct PointQueries {
  std::function<int(int which, const Vec3& p)> winding;
  std::function<bool(int which, const Vec3& p, double distance)> within;
};

// Classifies every face of both meshes and applies op's keep table. Faces coplanar with a face
// of the other operand are found from the shared intersection nodes (CGAL triangulates
// overlapping coplanar regions alike in both meshes). With CLASSIFY_EDGE a patch that touches
// the intersection is decided by the order of faces around one of its intersection edges,
// from exact orientations of the exact node positions; every other patch, and with
// CLASSIFY_NORMAL every patch, by the winding number at the centroid of one of its faces. A
// patch so thin that every such centroid lies within rounding distance of the other surface
// (a sliver between nearly coplanar faces) is decided by the edge order in either mode.
Classification classify(const Corefinement& cf, const TriangulatedOperand& a,
                        const TriangulatedOperand& b, Csg::OP op, Csg::CLASSIFY_TYPE type,
                        const ExactPoints& exact, const PointQueries& queries);

}  // namespace geom::csg
