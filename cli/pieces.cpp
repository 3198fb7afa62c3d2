#include "cli/pieces.h"

#include <cmath>
#include <numbers>

#include "geom/polyhedron.h"

namespace cli {
namespace {

geom::Polyhedron polyhedronOf(const TopoMesh& m) {
  std::vector<geom::Vec3> pts;
  pts.reserve(m.points.size());
  for (const auto& p : m.points) pts.push_back({p[0], p[1], p[2]});
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (std::int32_t v : m.polygons) {
    if (v == -2) {
      offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    } else {
      corners.push_back(v);
    }
  }
  return geom::Polyhedron(std::move(pts), std::move(offsets), std::move(corners));
}

struct Island {
  std::vector<std::size_t> faces;
  geom::Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  double volume = 0.0;  // signed, from the faces' fans
};

// The signed solid angle of triangle abc seen from the origin (Van Oosterom and Strackee).
double solidAngle(const geom::Vec3& a, const geom::Vec3& b, const geom::Vec3& c) {
  const double la = geom::length(a), lb = geom::length(b), lc = geom::length(c);
  const double num = geom::dot(a, geom::cross(b, c));
  const double den =
      la * lb * lc + geom::dot(a, b) * lc + geom::dot(a, c) * lb + geom::dot(b, c) * la;
  return 2.0 * std::atan2(num, den);
}

double windingNumber(const geom::Polyhedron& p, const Island& island, const geom::Vec3& q) {
  double sum = 0.0;
  for (std::size_t f : island.faces) {
    const auto face = p.face(f);
    const geom::Vec3 a = p.vertices()[static_cast<std::size_t>(face[0])] - q;
    for (std::size_t k = 1; k + 1 < face.size(); ++k) {
      sum += solidAngle(a, p.vertices()[static_cast<std::size_t>(face[k])] - q,
                        p.vertices()[static_cast<std::size_t>(face[k + 1])] - q);
    }
  }
  return sum / (4.0 * std::numbers::pi);
}

bool inBox(const Island& i, const geom::Vec3& q) {
  return q.x >= i.lo.x && q.x <= i.hi.x && q.y >= i.lo.y && q.y <= i.hi.y && q.z >= i.lo.z &&
         q.z <= i.hi.z;
}

}  // namespace

std::vector<int> faceIslands(const TopoMesh& m) {
  const std::size_t nf = m.faceCount();
  std::vector<int> out(nf, 0);
  if (m.faceInfo.size() == nf) {
    for (std::size_t f = 0; f < nf; ++f) out[f] = m.faceInfo[f][0];
    return out;
  }
  const geom::Polyhedron p = polyhedronOf(m);
  for (std::size_t f = 0; f < nf; ++f) out[f] = p.manifold_id(f);
  return out;
}

Pieces findPieces(const TopoMesh& mesh, PieceMode mode) {
  const geom::Polyhedron p = polyhedronOf(mesh);
  std::vector<Island> islands(p.manifoldCount());
  for (std::size_t f = 0; f < p.faceCount(); ++f) {
    Island& island = islands[static_cast<std::size_t>(p.manifold_id(f))];
    island.faces.push_back(f);
    const auto face = p.face(f);
    const geom::Vec3& a = p.vertices()[static_cast<std::size_t>(face[0])];
    for (std::size_t k = 0; k < face.size(); ++k) {
      const geom::Vec3& v = p.vertices()[static_cast<std::size_t>(face[k])];
      island.lo = {std::min(island.lo.x, v.x), std::min(island.lo.y, v.y),
                   std::min(island.lo.z, v.z)};
      island.hi = {std::max(island.hi.x, v.x), std::max(island.hi.y, v.y),
                   std::max(island.hi.z, v.z)};
      if (k >= 1 && k + 1 < face.size()) {
        const geom::Vec3& b = p.vertices()[static_cast<std::size_t>(face[k + 1])];
        island.volume += geom::dot(a, geom::cross(v, b)) / 6.0;
      }
    }
  }

  // The island whose piece each island joins: itself, or the outward solid around a cavity.
  std::vector<std::size_t> owner(islands.size());
  for (std::size_t i = 0; i < islands.size(); ++i) {
    owner[i] = i;
    if (mode != PieceMode::Solids || !p.manifold_is_closed()[i] || !p.manifold_is_negative()[i])
      continue;
    const geom::Vec3 q =
        p.vertices()[static_cast<std::size_t>(p.face(islands[i].faces.front())[0])];
    double best = 0.0;
    for (std::size_t j = 0; j < islands.size(); ++j) {
      const Island& outer = islands[j];
      if (j == i || !p.manifold_is_closed()[j] || p.manifold_is_negative()[j]) continue;
      if (!inBox(outer, q) || (owner[i] != i && outer.volume >= best)) continue;
      if (std::abs(windingNumber(p, outer, q)) < 0.5) continue;
      owner[i] = j;
      best = outer.volume;
    }
  }

  Pieces out;
  out.ofFace.assign(p.faceCount(), -1);
  std::vector<int> pieceOfOwner(islands.size(), -1);
  for (std::size_t f = 0; f < p.faceCount(); ++f) {
    int& piece = pieceOfOwner[owner[static_cast<std::size_t>(p.manifold_id(f))]];
    if (piece < 0) piece = static_cast<int>(out.count++);
    out.ofFace[f] = piece;
  }
  return out;
}

}  // namespace cli
