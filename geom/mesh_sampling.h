// Random points inside a closed mesh, for placing fracture centres.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geom/mesh_files.h"
#include "geom/vec3.h"

namespace geom {

// True when p is inside the closed surface, by the parity of a ray's crossings with the
// (fan-triangulated) faces. The ray direction is chosen so that it practically never grazes
// an edge or a vertex; p on the surface may go either way.
bool insideByParity(const MeshFile& mesh, const Vec3& p);

// The parity test of insideByParity over a grid of the faces seen along its ray, built once for
// many queries: a query costs a few crossing tests rather than one per face. Keeps a reference
// to mesh, which must outlive it.
class InsideTest {
 public:
  explicit InsideTest(const MeshFile& mesh);
  ~InsideTest();
  InsideTest(const InsideTest&) = delete;
  InsideTest& operator=(const InsideTest&) = delete;
  bool operator()(const Vec3& p) const;

 private:
  struct Grid;
  std::unique_ptr<Grid> grid_;
};

// count points drawn uniformly from the mesh's bounding box and kept when inside (as
// insideByParity decides, through a grid of the faces seen along its ray, so a draw costs a
// few crossing tests rather than one per face), the same for the same seed. Throws geom::Error when
// the mesh has no points or too few samples fall inside (the mesh is open or flat).
std::vector<Vec3> scatterInside(const MeshFile& mesh, std::size_t count, std::uint64_t seed);

}  // namespace geom
