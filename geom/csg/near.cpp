#include "geom/csg/near.h"

#include <algorithm>
#include <cmath>

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

// Whether a box may hold a point of a triangle's plane: false only where the box is clear of
// it by far more than the rounding of the computation (the plane's normal, the box's centre,
// their distance), so a triangle that meets the plane is never in a box turned down. A
// triangle of no area in double has no plane to go by: every box is taken.
class PlaneReach {
 public:
  PlaneReach(const Vec3& p0, const Vec3& p1, const Vec3& p2) : p0_(p0) {
    const Vec3 e1 = p1 - p0, e2 = p2 - p0;
    n_ = cross(e1, e2);
    const double e = maxAbs(e1) * maxAbs(e2);
    const double n1 = std::fabs(n_.x) + std::fabs(n_.y) + std::fabs(n_.z);
    all_ = !(n1 > 1e-6 * e);
    perDistance_ = 1e-10 * (3 * e + n1);
    perPosition_ = 1e-12 * n1;
    p0Size_ = maxAbs(p0);
  }

  bool operator()(const BoxTree::Box& b) const {
    if (all_) return true;
    double distance = 0, reach = 0, far = 0, size = 0;
    for (int k = 0; k < 3; ++k) {
      const double c = 0.5 * (double{b.lo[k]} + double{b.hi[k]});
      const double h = 0.5 * (double{b.hi[k]} - double{b.lo[k]});
      const double d = c - p0_[k];
      distance += n_[k] * d;
      reach += std::fabs(n_[k]) * h;
      far = std::max(far, std::fabs(d) + h);
      size = std::max({size, std::fabs(double{b.lo[k]}), std::fabs(double{b.hi[k]})});
    }
    return std::fabs(distance) <= reach + perDistance_ * far + perPosition_ * (size + p0Size_);
  }

 private:
  static double maxAbs(const Vec3& v) {
    return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
  }

  Vec3 p0_, n_;
  bool all_ = true;
  double perDistance_ = 0, perPosition_ = 0, p0Size_ = 0;
};

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
  // Where a triangle is larger than the ones of the other operand its box holds, the walk
  // follows its plane (a cutter of a few large faces over a dense mesh).
  auto reach = [&](int side, std::uint32_t t) {
    const std::array<Vec3, 3> c = corners(*ops[side], t);
    return PlaneReach(c[0], c[1], c[2]);
  };
  auto meet = [&](std::uint32_t i, std::uint32_t j) {
    if (near.of[0][i] && near.of[1][j]) return;
    if (planesA.apart(i, planesB, j) || !trianglesMayMeet(corners(a, i), corners(b, j))) return;
    near.of[0][i] = 1;
    near.of[1][j] = 1;
  };
  trianglesTree(a).pairs(trianglesTree(b), meet, reach);
  for (int m = 0; m < 2; ++m) {
    closeFans(*ops[m], near.of[m]);
    for (const std::uint8_t n : near.of[m]) near.count[m] += n;
  }
  return near;
}

}  // namespace geom::csg
