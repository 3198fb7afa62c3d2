#include "cli/piece_mesh.h"

#include <algorithm>
#include <numeric>

#include "cli/name_table.h"
#include "cli/result_mesh.h"

namespace cli {

std::size_t PieceMesh::cornerCount() const {
  std::size_t n = 0;
  for (const auto& f : faces) n += f.size();
  return n;
}

std::vector<PieceMesh> splitSolids(const TopoMesh& record) {
  const ResultMesh r = makeResult(record, PieceMode::Solids);
  std::vector<PieceMesh> out(r.pieces.count);
  std::vector<int> local(r.points.size(), -1);
  const auto byPiece = facesByPiece(r);
  for (std::size_t piece = 0; piece < out.size(); ++piece) {
    PieceMesh& m = out[piece];
    std::vector<int> touched;
    std::vector<std::pair<int, int>> islandMap;  // record island, local island
    for (std::size_t f : byPiece[piece]) {
      std::vector<int> face;
      face.reserve(r.faces[f].size());
      for (int v : r.faces[f]) {
        int& l = local[static_cast<std::size_t>(v)];
        if (l < 0) {
          l = static_cast<int>(m.points.size());
          m.points.push_back(r.points[static_cast<std::size_t>(v)]);
          touched.push_back(v);
        }
        face.push_back(l);
      }
      if (r.hasUv()) {
        for (std::uint32_t c = r.firstCorner[f]; c < r.firstCorner[f + 1]; ++c)
          m.uvw.push_back(r.uvw[c]);
      }
      m.faces.push_back(std::move(face));
      m.ids.push_back(r.ids[f]);
      int island = -1;
      for (const auto& [from, to] : islandMap) {
        if (from == r.islands[f]) island = to;
      }
      if (island < 0) {
        island = static_cast<int>(islandMap.size());
        islandMap.push_back({r.islands[f], island});
      }
      m.islands.push_back(island);
    }
    for (int v : touched) local[static_cast<std::size_t>(v)] = -1;
  }
  return out;
}

HostArrays toHostArrays(const PieceMesh& piece) {
  HostArrays a;
  a.points.reserve(piece.points.size());
  for (const auto& p : piece.points) a.points.push_back({p[0], p[1], p[2]});
  for (const auto& f : piece.faces) {
    a.description.insert(a.description.end(), f.begin(), f.end());
    a.description.push_back(-2);
  }
  for (const auto& t : piece.uvw) a.uvw.push_back({t[0], t[1], t[2]});
  a.faceIds = piece.ids;
  return a;
}

geom::MeshFile toMeshFile(const PieceMesh& piece) {
  geom::MeshFile m;
  m.points.reserve(piece.points.size());
  for (const auto& p : piece.points) m.points.push_back({p[0], p[1], p[2]});
  m.polygons = piece.faces;
  return m;
}

MassProperties measure(const PieceMesh& m) {
  std::vector<std::size_t> all(m.faces.size());
  std::iota(all.begin(), all.end(), std::size_t{0});
  return massProperties(m.points, m.faces, all);
}

TopoMesh gather(std::span<const PieceMesh* const> pieces, std::vector<int>& pieceOfFace) {
  TopoMesh t;
  pieceOfFace.clear();
  const bool uv = std::all_of(pieces.begin(), pieces.end(), [](const PieceMesh* p) {
    return !p->uvw.empty() || p->faces.empty();
  });
  int islandBase = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const PieceMesh& p = *pieces[i];
    const auto base = static_cast<std::int32_t>(t.points.size());
    t.points.insert(t.points.end(), p.points.begin(), p.points.end());
    int islands = 0;
    for (std::size_t f = 0; f < p.faces.size(); ++f) {
      for (int v : p.faces[f]) t.polygons.push_back(base + v);
      t.polygons.push_back(-2);
      t.faceInfo.push_back({islandBase + p.islands[f], p.ids[f]});
      islands = std::max(islands, p.islands[f] + 1);
      pieceOfFace.push_back(static_cast<int>(i));
    }
    if (uv) t.uvw.insert(t.uvw.end(), p.uvw.begin(), p.uvw.end());
    islandBase += islands;
  }
  return t;
}

}  // namespace cli
