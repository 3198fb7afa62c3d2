// The CGAL side of the Boolean engine, behind a CGAL-free interface: corefinement of two
// triangulated operands, the self-intersection test, and point-in-solid queries.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geom/csg_operand.h"

namespace geom::csg {

// One operand after corefinement: a closed triangle mesh in which the intersection with the
// other operand is a set of edges. Half-edge k of face f runs from corner k to corner k+1 and has
// the index 3f + k. Faces and vertices that existed before keep their indices.
struct CorefinedMesh {
  std::vector<Vec3> points;
  std::vector<int> node;      // per vertex: intersection node shared with the other mesh, or -1
  std::vector<int> original;  // per vertex: vertex index in the operand's mesh, or -1
  std::vector<std::array<int, 3>> faces;
  std::vector<int> faceTri;               // the operand triangle each face was cut from
  std::vector<int> opposite;              // per half-edge
  std::vector<std::uint8_t> constrained;  // per half-edge: lies on the intersection
  std::vector<std::uint8_t> split;        // per face: its triangle was cut

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
// an operand touches itself (op.sameVertex). Releases the operands' triangles, pairing and
// islands (the corefined meshes serve from then on).
Corefinement corefine(TriangulatedOperand& a, TriangulatedOperand& b,
                      const std::array<bool, 2>& checkNear);

// The operands unchanged, for operands whose surfaces do not meet.
Corefinement uncut(const TriangulatedOperand& a, const TriangulatedOperand& b);

// Throws geom::Error("<name> self-intersects ...") naming two source faces that intersect other
// than in a shared edge or vertex of the triangulation. Where `only` is given (one flag per
// triangle), only pairs of flagged triangles are tested.
void checkSelfIntersections(const TriangulatedOperand& op,
                            const std::vector<std::uint8_t>* only = nullptr);

// Whether triangles a and b (vertex indices into points) meet other than in the vertices and
// the edge they share (three shared vertices: they meet).
bool meetApart(const std::vector<Vec3>& points, const std::array<int, 3>& a,
               const std::array<int, 3>& b);

// Calls hit(i, j) once for each pair of triangles that meet other than in a shared edge or
// vertex (as checkSelfIntersections decides it; two triangles over the same three vertices
// meet), among the pairs in which at least one of the two is marked in `fresh` and that are of
// different groups (the triangles of one polygon, cut by ear clipping in its projection, do not
// overlap in it, so meet nowhere else). Triangles without area must not be passed.
void meetingTriangles(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                      const std::vector<std::uint8_t>& fresh,
                      const std::vector<std::uint32_t>& group,
                      const std::function<void(std::size_t, std::size_t)>& hit);

// Orientation tests on the exact positions of corefined vertices: input vertices as given,
// intersection nodes as the exact intersection of the primitives that made them (the corefined
// coordinates are those rounded to double, which can flip a test on a thin sliver).
class ExactPoints {
 public:
  struct Ref {
    int mesh;
    int vertex;  // corefined vertex of that mesh
  };
  ExactPoints(const Corefinement& cf, const Polyhedron& a, const Polyhedron& b);
  ~ExactPoints();
  ExactPoints(const ExactPoints&) = delete;
  ExactPoints& operator=(const ExactPoints&) = delete;

  // Sign of orient3d (see geom::orient3d) over the exact positions.
  int orient(Ref p, Ref q, Ref r, Ref s) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Point-in-solid queries against a closed triangle surface.
class SolidQuery {
 public:
  static constexpr int kOnSurface = -1000000;

  // The surface of triangles tris over points; island (one per triangle, or null) serves
  // skipIsland; name is used in messages. The arrays must outlive the query.
  SolidQuery(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
             const std::vector<int>* island, const std::string& name);
  ~SolidQuery();
  SolidQuery(const SolidQuery&) = delete;
  SolidQuery& operator=(const SolidQuery&) = delete;

  // True when some point of the surface lies within distance of p.
  bool within(const Vec3& p, double distance) const;

  // Winding number of the surface around p, ignoring the triangles of island skipIsland, or
  // kOnSurface when p lies on the surface. Rays that graze an edge or vertex are re-cast in
  // other directions; throws geom::Error if every direction grazes.
  int winding(const Vec3& p, int skipIsland = -1) const;

  // Winding number of the surface just in front of triangle (on the side its normal points
  // to), at p, a point inside it away from its edges: rays leave p through that side, and the
  // triangle itself is not counted. kOnSurface when p lies on another triangle too (two sheets
  // on each other); throws geom::Error if every direction grazes.
  int windingInFront(const Vec3& p, std::size_t triangle) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace geom::csg
