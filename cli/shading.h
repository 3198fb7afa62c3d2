// Triangles and normals of a result for the formats and pictures that want them: glTF, the
// preview.
#pragma once

#include <vector>

#include "cli/result_mesh.h"
#include "geom/triangulator.h"
#include "geom/vec3.h"

namespace cli {

struct Shading {
  // Per face, its triangles as corner slots of the face (ear clipping in the face's plane;
  // none for a face of fewer than three corners or with a corner that is not finite, such as
  // a Boolean's pass-through of a broken A may hold).
  std::vector<std::vector<geom::Triangulator::Triangle>> triangles;
  // Unit normal of every face (Newell's; +z for a face without area).
  std::vector<geom::Vec3> faceNormals;
  // Unit normal of every corner (indexed as ResultMesh::firstCorner counts corners).
  std::vector<geom::Vec3> cornerNormals;
  // Corners that share a normal share a smooth group: the corner index that stands for it.
  std::vector<std::uint32_t> smoothGroup;
};

// Corners at one point share a normal (the area-weighted mean of their faces' normals) across
// every edge whose two faces meet at less than sharpAngleDegrees between their normals; the
// normal splits at sharper edges, at edges of one face or of more than two, and 0 gives every
// face its own flat normal.
Shading shade(const ResultMesh& result, double sharpAngleDegrees);

}  // namespace cli
