// The pieces a result is written as: solids with their cavities, or every island on its own.
#pragma once

#include <string>
#include <vector>

#include "cli/record.h"

namespace cli {

// Island of every face: the record's own labels when it carries them, else the connected
// components of the faces (so pieces stay apart even without identifiers).
std::vector<int> faceIslands(const TopoMesh& mesh);

enum class PieceMode {
  Solids,   // an inward island goes with the outward island that encloses it
  Islands,  // every island is a piece
};

struct Pieces {
  std::vector<int> ofFace;  // piece of every face, numbered in the order of their first face
  std::size_t count = 0;
  // "piece_N": the object, node and mesh name in the files written.
  static std::string name(int piece) { return "piece_" + std::to_string(piece); }
};

// Groups the faces of mesh into pieces. In Solids mode a closed inward island (a cavity) joins
// the smallest closed outward island whose winding number at the cavity is not zero; a cavity
// that nothing encloses, and every open island, stays a piece of its own.
Pieces findPieces(const TopoMesh& mesh, PieceMode mode);

}  // namespace cli
