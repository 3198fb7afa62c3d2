#include "geom/csg/drop_crossing.h"

#include <array>
#include <cstdint>
#include <vector>

#include "geom/box_tree.h"
#include "geom/csg/near.h"
#include "geom/csg/self_intersection.h"

namespace geom::csg {

std::optional<ResolvedOperand> withoutCrossingNear(const TriangulatedOperand& a,
                                                   const TriangulatedOperand& b, int m,
                                                   const ResolvedOperand* from) {
  const TriangulatedOperand& op = m == 0 ? a : b;
  const NearTriangles near = nearTriangles(a, b);
  const std::vector<Vec3>& points = op.mesh->vertices();
  const std::vector<int>& same = op.sameVertex;
  std::vector<std::uint8_t> drop(op.mesh->faceCount(), 0);
  bool any = false;
  BoxTree(points, op.tris, &near.of[m]).selfPairs([&](std::uint32_t t1, std::uint32_t t2) {
    std::array<int, 3> u = op.tris[t1], v = op.tris[t2];
    // Copies of one vertex (where the sheets were taken apart) count as that vertex.
    if (!same.empty()) {
      for (int k = 0; k < 3; ++k) u[k] = same[u[k]], v[k] = same[v[k]];
    }
    if (!meetApart(points, u, v)) return;
    drop[op.triFace[t1]] = drop[op.triFace[t2]] = 1;
    any = true;
  });
  if (!any) return std::nullopt;
  const Polyhedron& mesh = *op.mesh;
  std::vector<std::uint32_t> offsets{0}, sourceFace;
  std::vector<int> corners;
  for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
    if (drop[f]) continue;
    for (const int v : mesh.face(f)) corners.push_back(v);
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    sourceFace.push_back(from != nullptr ? from->sourceFace[f] : static_cast<std::uint32_t>(f));
  }
  ResolvedOperand r;
  r.mesh = Polyhedron(points, std::move(offsets), std::move(corners));
  r.sourceFace = std::move(sourceFace);
  if (from != nullptr) r.sameVertex = from->sameVertex;
  return r;
}

}  // namespace geom::csg
