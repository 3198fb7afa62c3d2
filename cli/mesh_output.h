// Writing a result mesh: Wavefront OBJ (one object per island) or ASCII PLY.
#pragma once

#include <iosfwd>
#include <vector>

#include "cli/record.h"

namespace cli {

// Island of every face: the record's own labels when it carries them, else the connected
// components of the faces (so pieces stay apart even without identifiers).
std::vector<int> faceIslands(const TopoMesh& mesh);

enum class MeshFormat { Obj, Ply };

// Writes mesh to out. UVW values are written when there is one per polygon corner; faces of
// any number of corners. The caller checks the stream.
void writeMesh(const TopoMesh& mesh, MeshFormat format, std::ostream& out);

}  // namespace cli
