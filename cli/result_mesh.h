// A published record made ready for the files: faces apart, identifiers per face, pieces.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/pieces.h"
#include "cli/record.h"
#include "geom/vec3.h"

namespace cli {

struct ResultMesh {
  std::vector<std::array<float, 3>> points;
  std::vector<std::vector<int>> faces;     // point indices in winding order
  std::vector<std::uint32_t> firstCorner;  // corner offset of every face, and the total last
  std::vector<std::array<float, 3>> uvw;   // one per corner, or empty
  std::vector<std::int32_t> ids;           // identifier of every face (-2 without faceInfo)
  std::vector<int> islands;                // island of every face
  Pieces pieces;
  // Per piece, or empty: the names written (else piece_N) and the properties its GLB node
  // carries (extras).
  std::vector<std::string> pieceNames;
  std::vector<nlohmann::ordered_json> pieceExtras;

  bool hasUv() const { return !uvw.empty(); }
  std::string pieceName(std::size_t piece) const {
    return piece < pieceNames.size() ? pieceNames[piece] : Pieces::name(static_cast<int>(piece));
  }
};

// Splits the record's faces, keeps its UVW only when there is one per corner, and groups the
// faces into pieces by mode.
ResultMesh makeResult(const TopoMesh& mesh, PieceMode mode);

// Each piece's centre of volume (the centre of its bounds where it has no volume: an open or flat
// piece), for its GLB pivot.
std::vector<geom::Vec3> pieceCentroids(const ResultMesh& result);

// Faces of piece, in face order.
std::vector<std::vector<std::size_t>> facesByPiece(const ResultMesh& result);

}  // namespace cli
