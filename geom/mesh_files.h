// Reading mesh files (OBJ, OFF, PLY, STL) through packaged readers.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "geom/vec3.h"

namespace geom {

struct MeshFile {
  static constexpr int kCutFace = -2;

  std::vector<Vec3> points;
  std::vector<std::vector<int>> polygons;  // point indices in winding order
  // Per polygon corner in polygon order, or empty when the file has no texture coordinates on
  // every corner (OBJ: w is 0 when the file gives none; PLY: our uvw list property).
  std::vector<std::array<float, 3>> uvw;
  // Names of the face identifiers the file declares, in the file's order: OBJ materials
  // (usemtl; groups when the file names no material), PLY face_id values with the names our
  // writer puts in its "identifier" comments (the number as text without one).
  std::vector<std::string> names;
  // Per polygon an index into names, -1 for a face without a name, or kCutFace for a face a
  // cut made (a PLY face_id of -2 that no comment names); empty when no face has a name (OFF,
  // STL, an OBJ without materials or groups).
  std::vector<int> faceNames;
  // Per polygon, a PLY file's island property; empty otherwise.
  std::vector<int> islands;
};

// Reads path, choosing the reader by its extension (.obj, .off, .ply, .stl, any case).
// Throws geom::Error with a one-line message naming the file and the problem (missing,
// unreadable, unknown format, parse failure, index out of range, a PLY list of the wrong size).
MeshFile readMeshFile(const std::string& path);

}  // namespace geom
