#include "geom/csg/near.h"

#include "geom/box_tree.h"
#include "geom/csg/plane_sides.h"
#include "geom/csg/self_intersection.h"

namespace geom::csg {

namespace {

// Walks the triangles around corner k of triangle t (its vertex), in the order the triangles'
// edges leave the vertex, calling visit(triangle) once for each. Where a border passes through
// the vertex the walk starts at the border. Returns whether the triangles close into a ring.
template <typename Visit>
bool walkRing(const TriangulatedOperand& op, int t, int k, Visit visit) {
  // The bounds only guard against a broken pairing.
  const int t0 = t;
  bool ring = false;
  for (std::size_t steps = 0; steps <= op.tris.size(); ++steps) {
    const int h = op.opposite[3 * t + (k + 2) % 3];  // enters the vertex
    if (h < 0) break;
    t = h / 3;
    k = h % 3;
    if (t == t0) {
      ring = true;
      break;
    }
  }
  const int first = t;
  for (std::size_t steps = 0; steps <= op.tris.size(); ++steps) {
    visit(t);
    const int h = op.opposite[3 * t + k];  // leaves the vertex
    if (h < 0) break;
    t = h / 3;
    k = (h % 3 + 1) % 3;
    if (t == first) break;
  }
  return ring;
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
    const bool closed = walkRing(op, t, k, [&](int u) { ring.push_back(u); });
    int fanEnds = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      const bool last = i + 1 == ring.size();
      if (mark[ring[i]] && ((last && !closed) || !mark[ring[last ? 0 : i + 1]])) ++fanEnds;
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
  // Of the pairs whose boxes overlap, mostly a few in ten meet: a triangle of one operand
  // spans many small ones of the other, and all of those under its box overlap it.
  const auto corners = [](const TriangulatedOperand& op, std::uint32_t t) {
    const std::vector<Vec3>& p = op.mesh->vertices();
    return std::array<Vec3, 3>{p[op.tris[t][0]], p[op.tris[t][1]], p[op.tris[t][2]]};
  };
  PlaneSides planesA(a.mesh->vertices(), a.tris), planesB(b.mesh->vertices(), b.tris);
  trianglesTree(a).pairs(trianglesTree(b), [&](std::uint32_t i, std::uint32_t j) {
    if (near.of[0][i] && near.of[1][j]) return;
    if (planesA.apart(i, planesB, j) || !trianglesMayMeet(corners(a, i), corners(b, j))) return;
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
