#include "geom/csg/classify.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

namespace geom::csg {

namespace {

struct MeshPatches {
  std::vector<int> patchOf;  // per face
  std::size_t count = 0;
};

MeshPatches findPatches(const CorefinedMesh& m) {
  MeshPatches p;
  const std::size_t nf = m.faceCount();
  p.patchOf.assign(nf, -1);
  std::vector<int> stack;
  for (std::size_t seed = 0; seed < nf; ++seed) {
    if (p.patchOf[seed] >= 0) continue;
    const int id = static_cast<int>(p.count++);
    p.patchOf[seed] = id;
    stack.push_back(static_cast<int>(seed));
    while (!stack.empty()) {
      const int f = stack.back();
      stack.pop_back();
      for (int k = 0; k < 3; ++k) {
        const int h = 3 * f + k;
        if (m.constrained[h] || m.opposite[h] < 0) continue;
        const int g = m.opposite[h] / 3;
        if (p.patchOf[g] < 0) {
          p.patchOf[g] = id;
          stack.push_back(g);
        }
      }
    }
  }
  return p;
}

// Per face: on an island with a border. Such an island bounds no solid near the intersection,
// so the faces around it do not tell a side; its winding number does.
std::vector<std::uint8_t> onOpenIslands(const CorefinedMesh& m) {
  const std::size_t nf = m.faceCount();
  std::vector<int> island(nf, -1);
  std::vector<std::uint8_t> open;
  std::vector<int> stack;
  for (std::size_t seed = 0; seed < nf; ++seed) {
    if (island[seed] >= 0) continue;
    const int id = static_cast<int>(open.size());
    open.push_back(0);
    island[seed] = id;
    stack.push_back(static_cast<int>(seed));
    while (!stack.empty()) {
      const int f = stack.back();
      stack.pop_back();
      for (int k = 0; k < 3; ++k) {
        const int o = m.opposite[3 * f + k];
        if (o < 0) {
          open[id] = 1;
        } else if (island[o / 3] < 0) {
          island[o / 3] = id;
          stack.push_back(o / 3);
        }
      }
    }
  }
  std::vector<std::uint8_t> out(nf);
  for (std::size_t f = 0; f < nf; ++f) out[f] = open[island[f]];
  return out;
}

std::uint64_t directedKey(int u, int v) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(u)) << 32) |
         static_cast<std::uint32_t>(v);
}

// Half-edges on the intersection, keyed by their (node, node) pair.
std::unordered_map<std::uint64_t, int> intersectionEdges(const CorefinedMesh& m) {
  std::unordered_map<std::uint64_t, int> map;
  for (std::size_t h = 0; h < m.constrained.size(); ++h) {
    if (!m.constrained[h]) continue;
    const auto& f = m.faces[h / 3];
    const int u = m.node[f[h % 3]], v = m.node[f[(h % 3 + 1) % 3]];
    if (u >= 0 && v >= 0) map.emplace(directedKey(u, v), static_cast<int>(h));
  }
  return map;
}

// Marks the faces of both meshes that coincide with a face of the other (same three nodes).
void findCoplanar(const Corefinement& cf, std::vector<Side> side[2]) {
  using Key = std::array<int, 3>;
  std::vector<std::pair<Key, int>> inB;
  const CorefinedMesh& a = cf.mesh[0];
  const CorefinedMesh& b = cf.mesh[1];
  auto nodes = [](const CorefinedMesh& m, std::size_t f, Key& k) {
    for (int i = 0; i < 3; ++i) {
      k[i] = m.node[m.faces[f][i]];
      if (k[i] < 0) return false;
    }
    return true;
  };
  Key k;
  for (std::size_t f = 0; f < b.faceCount(); ++f) {
    if (!nodes(b, f, k)) continue;
    std::sort(k.begin(), k.end());
    inB.emplace_back(k, static_cast<int>(f));
  }
  if (inB.empty()) return;
  std::sort(inB.begin(), inB.end());
  for (std::size_t f = 0; f < a.faceCount(); ++f) {
    Key ka;
    if (!nodes(a, f, ka)) continue;
    k = ka;
    std::sort(k.begin(), k.end());
    auto it = std::lower_bound(inB.begin(), inB.end(), std::pair<Key, int>(k, -1));
    if (it == inB.end() || it->first != k) continue;
    const int g = it->second;
    // Same cyclic order of the nodes means the same winding.
    Key kb;
    nodes(b, static_cast<std::size_t>(g), kb);
    int shift = 0;
    while (kb[shift] != ka[0]) ++shift;
    const bool same = kb[(shift + 1) % 3] == ka[1];
    side[0][f] = side[1][g] = same ? Side::ON_SAME : Side::ON_OPPOSITE;
  }
}

// Whether the corner of face f opposite half-edge h lies inside the other mesh's solid near
// the intersection edge h, from the two faces of `other` around that edge. UNKNOWN when the
// exact orientations do not decide it.
Side sideAtEdge(int m, const CorefinedMesh& self, int h, const CorefinedMesh& other, int g1,
                const ExactPoints& exact) {
  using Ref = ExactPoints::Ref;
  const int f = h / 3, k = h % 3;
  const int o = 1 - m;
  const Ref p{m, self.faces[f][(k + 2) % 3]};
  const int g2 = other.opposite[g1];
  if (g2 < 0) return Side::UNKNOWN;  // the intersection runs along the other's border
  const auto& f2 = other.faces[g2 / 3];
  const Ref q2{o, f2[(g2 % 3 + 2) % 3]};
  // Face 1 is (u, v, q1) (the face of g1), face 2 is (v, u, q2); the solid is on their
  // negative sides. Each lies in the plane of its source triangle and is wound as it.
  const int s1 = exact.side(o, other.faceTri[g1 / 3], p);
  const int s2 = exact.side(o, other.faceTri[g2 / 3], p);
  const int convex = exact.side(o, other.faceTri[g1 / 3], q2);
  if (convex < 0) {
    if (s1 == 0 && s2 == 0) return Side::UNKNOWN;
    return s1 < 0 && s2 < 0 ? Side::IN : Side::OUT;
  }
  if (convex > 0) {
    if (s1 == 0 && s2 == 0) return Side::UNKNOWN;
    return s1 < 0 || s2 < 0 ? Side::IN : Side::OUT;
  }
  // The two faces are coplanar, so the surface is flat at the edge.
  if (s1 == 0) return Side::UNKNOWN;
  return s1 < 0 ? Side::IN : Side::OUT;
}

double area2(const CorefinedMesh& m, std::size_t f) {
  const auto& t = m.faces[f];
  return length(cross(m.points[t[1]] - m.points[t[0]], m.points[t[2]] - m.points[t[0]]));
}

bool inBox(const TriangulatedOperand& op, const Vec3& p, double margin) {
  return !op.empty() && p.x >= op.lo.x - margin && p.y >= op.lo.y - margin &&
         p.z >= op.lo.z - margin && p.x <= op.hi.x + margin && p.y <= op.hi.y + margin &&
         p.z <= op.hi.z + margin;
}

// Decides a patch by the winding number at the centroid of one of its faces, largest first.
// A centroid closer to the other surface than `near` (the rounding of the corefined
// coordinates could put it on the wrong side) is passed over; UNKNOWN when all are, unless
// `anyway`.
Side sideByPoint(const CorefinedMesh& m, const std::vector<int>& faces,
                 const TriangulatedOperand& other, int otherIndex, const PointQueries& q,
                 double near, bool anyway) {
  std::vector<std::pair<double, int>> order;
  order.reserve(faces.size());
  for (int f : faces) order.emplace_back(-area2(m, static_cast<std::size_t>(f)), f);
  const std::size_t tries = std::min<std::size_t>(order.size(), 8);
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(tries), order.end());
  for (std::size_t i = 0; i < tries; ++i) {
    const auto& t = m.faces[order[i].second];
    const Vec3 c = (m.points[t[0]] + m.points[t[1]] + m.points[t[2]]) * (1.0 / 3.0);
    if (!inBox(other, c, near)) return Side::OUT;
    if (!anyway && q.within(otherIndex, c, near)) continue;
    const int w = q.winding(otherIndex, c);
    if (w == SolidQuery::kOnSurface) continue;
    return w > 0 ? Side::IN : Side::OUT;
  }
  return anyway ? Side::OUT : Side::UNKNOWN;
}

struct Keep {
  bool keep;
  bool reversed;
};

Keep keepRule(Csg::OP op, int operand, Side side) {
  const bool a = operand == 0;
  switch (op) {
    case Csg::UNION:
      return {side == Side::OUT || (a && side == Side::ON_SAME), false};
    case Csg::INTERSECTION:
      return {side == Side::IN || (a && side == Side::ON_SAME), false};
    case Csg::A_MINUS_B:
      if (a) return {side == Side::OUT || side == Side::ON_OPPOSITE, false};
      return {side == Side::IN, true};
    case Csg::B_MINUS_A:
      if (!a) return {side == Side::OUT || side == Side::ON_OPPOSITE, false};
      return {side == Side::IN, true};
    case Csg::SYMMETRIC_DIFFERENCE:
      return {side == Side::OUT || side == Side::IN, side == Side::IN};
  }
  return {false, false};
}

}  // namespace

Classification classify(const Corefinement& cf, const TriangulatedOperand& a,
                        const TriangulatedOperand& b, Csg::OP op, Csg::CLASSIFY_TYPE type,
                        const ExactPoints& exact, const PointQueries& queries) {
  Classification out;
  const TriangulatedOperand* ops[2] = {&a, &b};
  for (int m = 0; m < 2; ++m) out.side[m].assign(cf.mesh[m].faceCount(), Side::UNKNOWN);
  findCoplanar(cf, out.side);

  // Rounding of the corefined coordinates, in absolute terms, for the point tests.
  double magnitude = 0;
  for (const TriangulatedOperand* o : ops) {
    if (o->empty()) continue;
    for (const Vec3& c : {o->lo, o->hi}) {
      magnitude = std::max({magnitude, std::fabs(c.x), std::fabs(c.y), std::fabs(c.z)});
    }
  }
  const double near = 1e-9 * magnitude;

  std::unordered_map<std::uint64_t, int> edges[2];
  bool edgesBuilt = false;
  for (int m = 0; m < 2; ++m) {
    const CorefinedMesh& self = cf.mesh[m];
    const CorefinedMesh& other = cf.mesh[1 - m];
    const MeshPatches patches = findPatches(self);
    const std::vector<std::uint8_t> otherOpen =
        ops[1 - m]->open() ? onOpenIslands(other) : std::vector<std::uint8_t>();
    std::vector<Side> patchSide(patches.count, Side::UNKNOWN);
    for (std::size_t f = 0; f < self.faceCount(); ++f) {
      if (out.side[m][f] != Side::UNKNOWN) patchSide[patches.patchOf[f]] = out.side[m][f];
    }
    // Open patches that touch the intersection, by the face order around one of their edges.
    auto byEdges = [&] {
      if (cf.nodeCount == 0) return;
      if (!edgesBuilt) {
        edges[0] = intersectionEdges(cf.mesh[0]);
        edges[1] = intersectionEdges(cf.mesh[1]);
        edgesBuilt = true;
      }
      for (std::size_t h = 0; h < self.constrained.size(); ++h) {
        if (!self.constrained[h]) continue;
        const int p = patches.patchOf[h / 3];
        if (patchSide[p] != Side::UNKNOWN) continue;
        const auto& f = self.faces[h / 3];
        const int u = self.node[f[h % 3]], v = self.node[f[(h % 3 + 1) % 3]];
        if (u < 0 || v < 0) continue;
        auto it = edges[1 - m].find(directedKey(u, v));
        if (it != edges[1 - m].end()) {
          patchSide[p] = sideAtEdge(m, self, static_cast<int>(h), other, it->second, exact);
        }
      }
    };
    // Open patches by a point test, one per patch.
    auto byPoints = [&](bool anyway) {
      std::vector<std::vector<int>> open(patches.count);
      bool any = false;
      for (std::size_t f = 0; f < self.faceCount(); ++f) {
        const int p = patches.patchOf[f];
        if (patchSide[p] == Side::UNKNOWN) {
          open[p].push_back(static_cast<int>(f));
          any = true;
        }
      }
      if (!any) return;
      for (std::size_t p = 0; p < patches.count; ++p) {
        if (!open[p].empty()) {
          patchSide[p] = sideByPoint(self, open[p], *ops[1 - m], 1 - m, queries, near, anyway);
        }
      }
    };
    if (ops[1 - m]->open()) {
      // Where the other surface has holes, an intersection curve may run into one and stop, and
      // a patch then reaches from one side of the surface to the other: each face is decided
      // by the winding number at its centroid (a tree query each, so n log n in all). A face on
      // the curve where the other's island is closed keeps the exact order of faces there.
      if (cf.nodeCount > 0) {
        if (!edgesBuilt) {
          edges[0] = intersectionEdges(cf.mesh[0]);
          edges[1] = intersectionEdges(cf.mesh[1]);
          edgesBuilt = true;
        }
        for (std::size_t h = 0; h < self.constrained.size(); ++h) {
          if (!self.constrained[h] || out.side[m][h / 3] != Side::UNKNOWN) continue;
          const auto& f = self.faces[h / 3];
          const int u = self.node[f[h % 3]], v = self.node[f[(h % 3 + 1) % 3]];
          if (u < 0 || v < 0) continue;
          auto it = edges[1 - m].find(directedKey(u, v));
          if (it != edges[1 - m].end() && !otherOpen[it->second / 3]) {
            out.side[m][h / 3] = sideAtEdge(m, self, static_cast<int>(h), other, it->second, exact);
          }
        }
      }
      for (std::size_t f = 0; f < self.faceCount(); ++f) {
        if (out.side[m][f] == Side::UNKNOWN) {
          out.side[m][f] =
              sideByPoint(self, {static_cast<int>(f)}, *ops[1 - m], 1 - m, queries, near, true);
        }
      }
    } else {
      if (type == Csg::CLASSIFY_EDGE) byEdges();
      byPoints(false);
      byEdges();
      byPoints(true);
    }

    out.keep[m].resize(self.faceCount());
    out.reversed[m].resize(self.faceCount());
    for (std::size_t f = 0; f < self.faceCount(); ++f) {
      const Side s = ops[1 - m]->open() ? out.side[m][f] : patchSide[patches.patchOf[f]];
      out.side[m][f] = s;
      const Keep k = keepRule(op, m, s);
      out.keep[m][f] = k.keep;
      out.reversed[m][f] = k.keep && k.reversed;
    }
  }
  return out;
}

}  // namespace geom::csg
