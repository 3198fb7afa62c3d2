// Writing a result mesh: Wavefront OBJ (one object per island) or ASCII PLY.
#pragma once

#include <string>
#include <vector>

#include "cli/record.h"

namespace cli {

// Island of every face: the record's own labels when it carries them, else the connected
// components of the faces (so pieces stay apart even without identifiers).
std::vector<int> faceIslands(const TopoMesh& mesh);

// Writes mesh to path; the format follows the extension (.obj or .ply). UVW values are written
// when there is one per polygon corner. Throws std::runtime_error naming the file on failure
// or on another extension.
void writeMesh(const TopoMesh& mesh, const std::string& path);

}  // namespace cli
