// Snapping of a Boolean result's faces around the cut, so that the result is a valid operand
// again: intersection points closer than double can resolve become one vertex, corners within
// rounding of another edge of their face are put into it, straight triangulation-only nodes go.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "geom/csg/pending.h"
#include "geom/csg_grid.h"
#include "geom/polyhedron.h"

namespace geom::csg {

// How close points may come (vertex to vertex, vertex to edge) before they count as one:
// some thousands of units in the last place of their largest coordinate, well above what the
// rounding of an intersection point to double moves it, far below any feature of a mesh, and
// below what the triangulation of an operand face takes for flat. Where a first snap left a
// face that would not make a valid operand, its corners get four times the tolerance, then
// sixteen times, and so on (`level`). Results published in float start from the grid's step
// instead, since rounding to the grid moves a point by up to half of it.
struct Snap {
  std::vector<std::uint8_t> level;  // per key
  const Grid* grid = nullptr;
  static constexpr std::uint8_t kMaxLevel = 5;

  // The tolerance for the given keys: from the largest coordinate among them and the highest
  // level among them.
  double tolerance(const Keys& keys, std::initializer_list<int> points) const;
};

// Whether face f's corners all lie on one plane, up to well above the rounding that a result
// face fed back as an operand carries (see Snap).
bool planar(const Polyhedron& mesh, std::size_t f);

// Joins intersection points that coincide, or that lie within the snap tolerance of another
// corner of a face they are on, into one vertex (an operand vertex where there is one). Faces
// lose repeated corners, are split where they come to visit a vertex twice, and what has fewer
// than three corners left is dropped; pairs of faces laid onto each other in opposite windings
// by the welding are removed together. `only` (per node: created only by the internal
// triangulation) is updated for joined nodes. Requires every key of p to be below keys.count.
void weldCoincident(Keys& keys, const Snap& snap, std::vector<std::uint8_t>& only, Pending& p);

// Puts each corner of a cut face that lies within the snap tolerance of another edge of the
// face (away from its ends) into that edge, in this face and in the face across; the sliver
// between them drops out. Returns whether anything changed.
bool zipSlivers(const Keys& keys, const Snap& snap, Pending& p);

// Drops triangulation-only nodes (`only`, per node) that lie straight between their only two
// neighbours from every face that uses them, as long as each face keeps three corners.
// Straight is off the line by no more than the rounding of the corefined coordinates, or than
// the grid's step.
void dropStraightNodes(const Keys& keys, const Snap& snap, const std::vector<std::uint8_t>& only,
                       Pending& p);

}  // namespace geom::csg
