// Which triangles of a surface meet other than where they are joined: the self-intersection
// test of an operand and of a result around the cut.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "geom/csg/operand.h"
#include "geom/vec3.h"

namespace geom::csg {

// Throws geom::Error("<name> self-intersects ...") naming two source faces that intersect other
// than in a shared edge or vertex of the triangulation. Where `only` is given (one flag per
// triangle), only pairs of flagged triangles are tested; op's tree is used where op has one
// and walksOwnTree holds, else a tree over the flagged ones is built.
void checkSelfIntersections(const TriangulatedOperand& op,
                            const std::vector<std::uint8_t>* only = nullptr);

// Whether checkSelfIntersections, given `flagged` of `total` triangles flagged, walks op's own
// tree (at least three quarters: walking all of them costs less than a tree over the flagged).
bool walksOwnTree(std::size_t flagged, std::size_t total);

// Whether triangles a and b (vertex indices into points) meet other than in the vertices and
// the edge they share (three shared vertices: they meet).
bool meetApart(const std::vector<Vec3>& points, const std::array<int, 3>& a,
               const std::array<int, 3>& b);

// Whether the closed triangles a and b (corner positions) may have a point in common: false
// only where it is decided exactly that they have none. A triangle without area is not
// decided (true).
bool trianglesMayMeet(const std::array<Vec3, 3>& a, const std::array<Vec3, 3>& b);

// Calls hit(i, j) once for each pair of triangles that meet other than in a shared edge or
// vertex (as checkSelfIntersections decides it; two triangles over the same three vertices
// meet), among the pairs in which at least one of the two is marked in `fresh` and that are of
// different groups (the triangles of one polygon, cut by ear clipping in its projection, do not
// overlap in it, so meet nowhere else). Triangles without area must not be passed.
void meetingTriangles(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                      const std::vector<std::uint8_t>& fresh,
                      const std::vector<std::uint32_t>& group,
                      const std::function<void(std::size_t, std::size_t)>& hit);

}  // namespace geom::csg
