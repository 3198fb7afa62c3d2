// An independent verdict on a published mesh: CGAL's own tests, run on the float coordinates
// a consumer reads, with CGAL's own triangulation of every polygon. The engine's validation is
// not used here, so a mesh the engine accepts because of how it triangulates is still caught.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace geom {

struct SolidVerdict {
  bool polygonMesh = false;    // CGAL could build a halfedge mesh from the polygons
  bool closed = false;         // no border edge
  bool touchesItself = false;  // passes twice through a vertex or an edge (solids touching)
  bool selfIntersects = true;  // does_self_intersect after triangulate_faces (open or not)
  std::size_t faces = 0;       // faces before triangulation
  std::string problem;         // empty when the mesh is a closed surface without self-crossing

  bool valid() const { return problem.empty(); }
};

// Checks the polygons (point indices per polygon, in winding order) over points (x, y, z as
// float, the way a consumer stores them). A surface that passes twice through a vertex or an
// edge, as solids that touch there do, is valid as long as its sheets meet nowhere else. Never
// throws for bad geometry: a mesh CGAL cannot hold is reported in the verdict. Throws
// std::bad_alloc only.
SolidVerdict checkPublishedSolid(std::span<const std::array<float, 3>> points,
                                 const std::vector<std::vector<int>>& polygons);

}  // namespace geom
