// The CGAL side of the Boolean engine, behind a CGAL-free interface: corefinement of two
// triangulated operands, the self-intersection test, and point-in-solid queries.
#pragma once

#include <array>
#include <cstdint>
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

struct Corefinement {
  CorefinedMesh mesh[2];
  std::size_t nodeCount = 0;
};

// Corefines a and b with CGAL. A non-empty `unchecked` (the operand names whose full
// self-intersection test was skipped) makes CGAL test the triangles near the intersection,
// and a self-intersection found there is reported under that name. Throws geom::Error on any
// CGAL failure. Releases the operands' triangles, pairing and islands (CGAL's meshes replace
// them, and the corefined meshes serve from then on).
Corefinement corefine(TriangulatedOperand& a, TriangulatedOperand& b, const std::string& unchecked);

// The operands unchanged, for operands whose surfaces do not meet.
Corefinement uncut(const TriangulatedOperand& a, const TriangulatedOperand& b);

// Throws geom::Error("<name> self-intersects ...") naming two source faces that intersect other
// than in a shared edge or vertex of the triangulation.
void checkSelfIntersections(const TriangulatedOperand& op);

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

  // Winding number of the surface around p, ignoring the triangles of island skipIsland, or
  // kOnSurface when p lies on the surface. Rays that graze an edge or vertex are re-cast in
  // other directions; throws geom::Error if every direction grazes.
  int winding(const Vec3& p, int skipIsland = -1) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace geom::csg
