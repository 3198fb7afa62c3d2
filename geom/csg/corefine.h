// Corefinement of two triangulated operands by CGAL, behind a CGAL-free interface: each cut
// along the other, with where every intersection node comes from.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geom/csg/operand.h"

namespace geom::csg {

// One operand after corefinement: a closed triangle mesh in which the intersection with the
// other operand is a set of edges. Half-edge k of face f runs from corner k to corner k+1 and has
// the index 3f + k. Faces and vertices that existed before keep their indices.
struct CorefinedMesh {
  std::vector<Vec3> points;
  std::vector<int> node;      // per vertex: intersection node shared with the other mesh, or -1
  std::vector<int> original;  // per vertex: vertex index in the operand's mesh, or -1
  std::vector<std::array<int, 3>> faces;
  std::vector<int> faceTri;                    // the operand triangle each face was cut from
  std::vector<std::array<int, 3>> sourceTris;  // the operand's triangles (its vertex indices)
  std::vector<int> opposite;                   // per half-edge
  std::vector<std::uint8_t> constrained;       // per half-edge: lies on the intersection
  std::vector<std::uint8_t> split;             // per face: its triangle was cut

  std::size_t faceCount() const { return faces.size(); }
};

// What an intersection node is, in terms of the operands' input primitives (operand vertex
// indices), so that its exact position can be recovered.
struct NodeOrigin {
  enum Kind : std::uint8_t { VERTEX, EDGE_FACE, EDGE_EDGE };
  Kind kind = VERTEX;
  std::uint8_t mesh = 0;    // operand of the vertex, or of the first edge
  int a[2] = {-1, -1};      // the vertex, or the first edge
  int b[3] = {-1, -1, -1};  // the other operand's face, or its edge
};

struct Corefinement {
  CorefinedMesh mesh[2];
  std::size_t nodeCount = 0;
  std::vector<NodeOrigin> nodes;  // per node
};

// Corefines a and b with CGAL: only the triangles near the other operand (nearTriangles) go
// to CGAL, the rest is carried over. checkNear[m] (for an operand whose full self-intersection
// test was skipped) tests those near triangles of operand m among themselves first, so that
// CGAL never meets a self-intersection where it cuts. Throws geom::Error on any CGAL failure,
// ("<name> self-intersects near the intersection of the operands") for a self-intersection
// found so, and ("<name> touches itself ...") when the other operand comes near a place where
// an operand touches itself (op.sameVertex). Releases the operands' triangles (moved into the
// corefined meshes' sourceTris), islands, box trees and, unless checkNear keeps it for a later
// test of the triangles the result keeps, pairing.
Corefinement corefine(TriangulatedOperand& a, TriangulatedOperand& b,
                      const std::array<bool, 2>& checkNear);

// The operands unchanged, for operands whose surfaces do not meet.
Corefinement uncut(const TriangulatedOperand& a, const TriangulatedOperand& b);

}  // namespace geom::csg
