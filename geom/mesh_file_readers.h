// The readers behind readMeshFile, one per format family. Each requires an existing, readable
// path and throws geom::Error naming it and the problem.
#pragma once

#include <string>

#include "geom/mesh_files.h"

namespace geom::detail {

// Wavefront OBJ through tinyobjloader's line callbacks: n-gons, relative indices, texture
// coordinates, material and group names (a missing .mtl loses no name).
MeshFile readObj(const std::string& path);

// PLY (ASCII or binary) through CGAL's PLY reader: vertex x, y, z; face vertex_indices (or
// vertex_index) and, when present, face_id, island and the per-corner uvw list.
MeshFile readPly(const std::string& path);

// OFF, ASCII or binary, with any of the header's prefixes (ST, C, N, 4, n with dimension 3);
// colours, normals and texture coordinates are skipped.
MeshFile readOff(const std::string& path);

// STL, ASCII or binary, through CGAL's polygon-soup reader.
MeshFile readStl(const std::string& path);

// Throws geom::Error "path: what".
[[noreturn]] void fail(const std::string& path, const std::string& what);

}  // namespace geom::detail
