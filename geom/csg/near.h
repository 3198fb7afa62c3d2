// The triangles of two operands that may meet: all the corefinement has to look at.
#pragma once

#include <cstdint>
#include <vector>

#include "geom/csg/operand.h"

namespace geom::csg {

// Per operand, per triangle: 1 where the triangle may meet the other operand.
struct NearTriangles {
  std::vector<std::uint8_t> of[2];
  std::size_t count[2] = {0, 0};
};

// Marks the triangles of a and b that meet a triangle of the other operand (exactly decided,
// closed triangles: one that the other surface touches along an edge or at a corner is marked
// together with every triangle around that edge or corner, as they all contain the point
// touched; a triangle without area is marked where its box overlaps). Then, wherever the marked
// triangles around a vertex would form more than one fan, marks the whole ring around it, so that
// the marked triangles form a surface with one fan at each vertex (its border runs through vertices
// the other operand does not touch). Requires a and b prepared (triangles and their pairing
// present).
NearTriangles nearTriangles(const TriangulatedOperand& a, const TriangulatedOperand& b);

}  // namespace geom::csg
