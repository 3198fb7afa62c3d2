// Reading mesh files (OBJ, OFF, PLY, STL) through packaged readers.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "geom/vec3.h"

namespace geom {

struct MeshFile {
  std::vector<Vec3> points;
  std::vector<std::vector<int>> polygons;  // point indices in winding order
  // Per polygon corner in polygon order, or empty when the file has no texture coordinates on
  // every corner (OBJ only; w is 0 when the file gives none).
  std::vector<std::array<float, 3>> uvw;
  // Per polygon, or empty: the OBJ material index when materials are used, else the group or
  // object index when the file has more than one.
  std::vector<int> faceIds;
};

// Reads path, choosing the reader by its extension (.obj, .off, .ply, .stl, any case).
// Throws geom::Error with a one-line message naming the file and the problem (missing,
// unreadable, unknown format, parse failure, index out of range).
MeshFile readMeshFile(const std::string& path);

}  // namespace geom
