#include "geom/csg_near.h"

#include "geom/box_tree.h"

namespace geom::csg {

namespace {

// Walks the ring of triangles around corner k of triangle t (its vertex), in the order the
// triangles' edges leave the vertex, calling visit(triangle, corner) once for each, t first.
template <typename Visit>
void walkRing(const TriangulatedOperand& op, int t, int k, Visit visit) {
  const int t0 = t;
  // A closed manifold ring comes back to t; the bound only guards against a broken pairing.
  for (std::size_t steps = 0; steps <= op.tris.size(); ++steps) {
    visit(t, k);
    const int h = op.opposite[3 * t + k];
    t = h / 3;
    k = (h % 3 + 1) % 3;
    if (t == t0) return;
  }
}

// Marks whole rings where the marked triangles around a vertex form separate fans, until no
// vertex has more than one fan.
void closeFans(const TriangulatedOperand& op, std::vector<std::uint8_t>& mark) {
  // (triangle, corner) of vertices to look at; a vertex is looked at again when a triangle
  // around it is marked afterwards.
  std::vector<std::pair<int, int>> work;
  for (std::size_t t = 0; t < mark.size(); ++t) {
    if (!mark[t]) continue;
    for (int k = 0; k < 3; ++k) work.emplace_back(static_cast<int>(t), k);
  }
  std::vector<std::uint8_t> settled(op.mesh->vertexCount(), 0);
  std::vector<int> ring;
  while (!work.empty()) {
    const auto [t, k] = work.back();
    work.pop_back();
    const int v = op.tris[t][k];
    if (settled[v]) continue;
    settled[v] = 1;
    ring.clear();
    walkRing(op, t, k, [&](int u, int) { ring.push_back(u); });
    int fanEnds = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      if (mark[ring[i]] && !mark[ring[(i + 1) % ring.size()]]) ++fanEnds;
    }
    if (fanEnds <= 1) continue;
    for (const int u : ring) {
      if (mark[u]) continue;
      mark[u] = 1;
      for (int j = 0; j < 3; ++j) {
        settled[op.tris[u][j]] = 0;
        work.emplace_back(u, j);
      }
    }
    settled[v] = 1;
  }
}

}  // namespace

NearTriangles nearTriangles(const TriangulatedOperand& a, const TriangulatedOperand& b) {
  NearTriangles near;
  const TriangulatedOperand* ops[2] = {&a, &b};
  for (int m = 0; m < 2; ++m) near.of[m].assign(ops[m]->tris.size(), 0);
  trianglesTree(a).pairs(trianglesTree(b), [&](std::uint32_t i, std::uint32_t j) {
    near.of[0][i] = 1;
    near.of[1][j] = 1;
  });
  for (int m = 0; m < 2; ++m) {
    closeFans(*ops[m], near.of[m]);
    for (const std::uint8_t n : near.of[m]) near.count[m] += n;
  }
  return near;
}

}  // namespace geom::csg
