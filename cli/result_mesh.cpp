#include "cli/result_mesh.h"

#include "cli/mass_properties.h"
#include "cli/name_table.h"

namespace cli {

ResultMesh makeResult(const TopoMesh& mesh, PieceMode mode) {
  ResultMesh r;
  r.points = mesh.points;
  r.firstCorner.push_back(0);
  std::vector<int> cur;
  for (std::int32_t v : mesh.polygons) {
    if (v == -2) {
      r.faces.push_back(cur);
      r.firstCorner.push_back(r.firstCorner.back() + static_cast<std::uint32_t>(cur.size()));
      cur.clear();
    } else {
      cur.push_back(v);
    }
  }
  if (mesh.uvw.size() == r.firstCorner.back() && !mesh.uvw.empty()) r.uvw = mesh.uvw;
  const bool ids = mesh.faceInfo.size() == r.faces.size();
  r.ids.resize(r.faces.size(), kCutFaceId);
  if (ids) {
    for (std::size_t f = 0; f < r.faces.size(); ++f) r.ids[f] = mesh.faceInfo[f][1];
  }
  r.islands = faceIslands(mesh);
  r.pieces = findPieces(mesh, mode);
  return r;
}

std::vector<std::vector<std::size_t>> facesByPiece(const ResultMesh& result) {
  std::vector<std::vector<std::size_t>> out(result.pieces.count);
  for (std::size_t f = 0; f < result.faces.size(); ++f)
    out[static_cast<std::size_t>(result.pieces.ofFace[f])].push_back(f);
  return out;
}

}  // namespace cli

namespace cli {

std::vector<geom::Vec3> pieceCentroids(const ResultMesh& result) {
  std::vector<geom::Vec3> out;
  for (const auto& faces : facesByPiece(result)) {
    out.push_back(massProperties(result.points, result.faces, faces).centroid);
  }
  return out;
}

}  // namespace cli
