// Sheets of an operand's surface that meet where they must not, for the corefinement: copies
// of a vertex where the surface passes through it more than once, and those copies set apart on
// the grid. No CGAL here; the autorefinement that finds crossings is in csg/resolve.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"
#include "geom/csg_grid.h"

namespace geom::csg {

// Gives each fan of triangles around a vertex its own vertex: where the solid touches itself
// at a point, its surface passes through that point more than once. corners: three per
// triangle, into points; copies are appended to points.
void splitPinches(std::vector<int>& corners, std::vector<Vec3>& points);

// Where distinct vertices of a resolved surface sit at one position (sheets that touch at a
// point or along a curve, which the solid does there), all but the first are moved into their
// own solid, so that the sheets are apart on the grid: `toward` 0 moves them toward the middle of
// their ring of neighbours (a fan that meets another at its tip pulls back from it), 1 against
// the normal of their faces, 2 along the angle-weighted bisectors of their corners (into the
// wedge of a sheet folded along a curve where it crossed another; then the first moves too);
// by `steps` grid steps. Returns the vertices moved.
std::vector<int> separateTouching(const Grid& grid, const std::vector<std::uint32_t>& offsets,
                                  const std::vector<int>& corners, int toward, double steps,
                                  std::vector<Vec3>& points);

// Each edge of more than two faces (faceCount faces, face(f) the corners of face f in order)
// gets a vertex in its middle, appended to points. Returns the new vertex of each such edge,
// keyed by directedKey(lower end, upper end); they are numbered the same every run.
std::unordered_map<std::uint64_t, int> middlesOfCrowdedEdges(
    std::size_t faceCount, const std::function<std::span<const int>(std::size_t)>& face,
    std::vector<Vec3>& points);

// Where sheets cross along an edge that ends where one of them ends (at its border), the
// faces around the edge pair into sheets that still share both of its ends: no copy of a
// vertex would set them apart. Each edge of more than two triangles gets a vertex in its middle,
// which the sheets can each have a copy of; the triangles at it are split there. tris are over
// points, source gives each one's source face; the result's sourceFace carries it over.
ResolvedOperand splitSharedEdges(std::vector<Vec3> points,
                                 const std::vector<std::array<int, 3>>& tris,
                                 const std::vector<std::uint32_t>& source);

// The triangles a resolution kept (corners over points, which are on the grid; offsets every
// three corners; sourceFace per triangle) as the operand's surface: a vertex where separate fans
// meet split (splitPinches), and the sheets that touch set apart on the grid. Throws
// geom::Error("<name> ...") when the surface, so placed, still crosses itself or is not a
// valid operand.
ResolvedOperand settleResolved(std::vector<Vec3> points, std::vector<std::uint32_t> offsets,
                               std::vector<int> corners, std::vector<std::uint32_t> sourceFace,
                               const Grid& grid, const std::string& name);

// op's triangles with the sheets that touch at its split vertices (op.sameVertex) moved apart
// by a few steps of grid (or by a few units in the last place of double where grid is
// inactive), each into its own solid. For the corefinement, which cannot take two sheets that
// meet where the other operand cuts them. Where no one way sets them all apart, the ways are
// mixed vertex by vertex. Requires op checked by prepareOperand. Throws geom::Error("<name>
// touches itself ...") when every mix tried leaves sheets crossing, unless bestEffort: then the
// mix with the fewest crossing pairs is returned (for an open operand, whose crossings matter
// only where the other operand comes near, which the corefinement checks).
ResolvedOperand setSheetsApart(const TriangulatedOperand& op, const Grid& grid,
                               bool bestEffort = false);

}  // namespace geom::csg
