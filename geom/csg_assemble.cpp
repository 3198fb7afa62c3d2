#include "geom/csg_assemble.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "geom/csg_merge.h"
#include "geom/mean_value.h"

namespace geom::csg {

namespace {

std::uint64_t directedKey(int u, int v) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(u)) << 32) |
         static_cast<std::uint32_t>(v);
}

// Result vertices before numbering: intersection nodes first, then each operand's own
// vertices that are not nodes.
struct Keys {
  std::size_t nodes = 0;
  std::size_t base[2] = {0, 0};
  std::size_t count = 0;
  std::vector<int> ofVertex[2];  // per corefined vertex
  std::vector<int> ofOriginal[2];  // per operand vertex (-1 when unused)
  std::vector<int> original[2];  // per key: the operand vertex it is, or -1
  std::vector<Vec3> position;    // per key
};

Keys makeKeys(const Corefinement& cf, const TriangulatedOperand* ops[2]) {
  Keys k;
  k.nodes = cf.nodeCount;
  k.base[0] = k.nodes;
  k.base[1] = k.nodes + ops[0]->mesh->vertexCount();
  k.count = k.base[1] + ops[1]->mesh->vertexCount();
  k.position.resize(k.count);
  for (int m = 0; m < 2; ++m) {
    const CorefinedMesh& mesh = cf.mesh[m];
    k.ofVertex[m].resize(mesh.points.size());
    k.ofOriginal[m].assign(ops[m]->mesh->vertexCount(), -1);
    k.original[m].assign(k.count, -1);
    for (std::size_t v = 0; v < mesh.points.size(); ++v) {
      const int key = mesh.node[v] >= 0 ? mesh.node[v]
                                        : static_cast<int>(k.base[m]) + mesh.original[v];
      k.ofVertex[m][v] = key;
      k.position[key] = mesh.points[v];
      if (mesh.original[v] >= 0) {
        k.ofOriginal[m][mesh.original[v]] = key;
        k.original[m][key] = mesh.original[v];
      }
    }
  }
  return k;
}

// Half-edges where both of this mesh's faces may be kept but the other operand's kept faces
// attach too: merging across them would leave those faces hanging.
std::vector<std::uint8_t> blockedEdges(const Corefinement& cf, const Classification& cls, int m) {
  const CorefinedMesh& self = cf.mesh[m];
  const CorefinedMesh& other = cf.mesh[1 - m];
  std::vector<std::uint8_t> blocked(self.constrained.size(), 0);
  std::unordered_map<std::uint64_t, int> otherEdges;
  for (std::size_t h = 0; h < other.constrained.size(); ++h) {
    if (!other.constrained[h]) continue;
    const auto& f = other.faces[h / 3];
    const int u = other.node[f[h % 3]], v = other.node[f[(h % 3 + 1) % 3]];
    if (u >= 0 && v >= 0) otherEdges.emplace(directedKey(u, v), static_cast<int>(h / 3));
  }
  if (otherEdges.empty()) return blocked;
  for (std::size_t h = 0; h < self.constrained.size(); ++h) {
    if (!self.constrained[h]) continue;
    const auto& f = self.faces[h / 3];
    const int u = self.node[f[h % 3]], v = self.node[f[(h % 3 + 1) % 3]];
    if (u < 0 || v < 0) continue;
    for (const std::uint64_t key : {directedKey(u, v), directedKey(v, u)}) {
      auto it = otherEdges.find(key);
      if (it != otherEdges.end() && cls.keep[1 - m][it->second]) blocked[h] = 1;
    }
  }
  return blocked;
}

// Nodes on an edge of some source face of either operand are real corners of the result; the
// others only exist because the intersection crossed an internal triangulation edge.
std::vector<std::uint8_t> triangulationOnlyNodes(const Corefinement& cf,
                                                 const TriangulatedOperand* ops[2]) {
  std::vector<std::uint8_t> only(cf.nodeCount, 1);
  for (int m = 0; m < 2; ++m) {
    const CorefinedMesh& mesh = cf.mesh[m];
    for (std::size_t v = 0; v < mesh.points.size(); ++v) {
      if (mesh.node[v] >= 0 && mesh.original[v] >= 0) only[mesh.node[v]] = 0;
    }
    for (std::size_t h = 0; h < mesh.opposite.size(); ++h) {
      const std::size_t g = static_cast<std::size_t>(mesh.opposite[h]) / 3;
      if (ops[m]->triFace[mesh.faceTri[h / 3]] == ops[m]->triFace[mesh.faceTri[g]]) continue;
      const auto& f = mesh.faces[h / 3];
      for (int v : {f[h % 3], f[(h % 3 + 1) % 3]}) {
        if (mesh.node[v] >= 0) only[mesh.node[v]] = 0;
      }
    }
  }
  return only;
}

struct Pending {
  std::vector<int> corners;  // keys
  std::vector<std::uint32_t> offsets{0};
  std::vector<FaceOrigin> origins;

  void add(std::span<const int> keys, FaceOrigin o) {
    corners.insert(corners.end(), keys.begin(), keys.end());
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
    origins.push_back(o);
  }
};

// Drops triangulation-only nodes that lie straight between their only two neighbours.
void dropStraightNodes(const Keys& keys, const std::vector<std::uint8_t>& only, Pending& p) {
  constexpr int kNone = -1, kMany = -2;
  std::vector<int> nb1(keys.nodes, kNone), nb2(keys.nodes, kNone);
  auto note = [&](int v, int n) {
    if (nb1[v] == kMany || nb1[v] == n || nb2[v] == n) return;
    if (nb1[v] == kNone) {
      nb1[v] = n;
    } else if (nb2[v] == kNone) {
      nb2[v] = n;
    } else {
      nb1[v] = kMany;
    }
  };
  const std::size_t faces = p.origins.size();
  bool any = false;
  for (std::size_t f = 0; f < faces; ++f) {
    const std::uint32_t b = p.offsets[f], e = p.offsets[f + 1], n = e - b;
    for (std::uint32_t i = 0; i < n; ++i) {
      const int v = p.corners[b + i];
      if (static_cast<std::size_t>(v) >= keys.nodes || !only[v]) continue;
      note(v, p.corners[b + (i + n - 1) % n]);
      note(v, p.corners[b + (i + 1) % n]);
      any = true;
    }
  }
  if (!any) return;
  std::vector<std::uint8_t> drop(keys.nodes, 0);
  for (std::size_t v = 0; v < keys.nodes; ++v) {
    if (!only[v] || nb1[v] < 0 || nb2[v] < 0) continue;
    const Vec3& a = keys.position[nb1[v]];
    const Vec3& c = keys.position[nb2[v]];
    const Vec3& x = keys.position[v];
    const Vec3 ac = c - a, ax = x - a;
    const double l2 = dot(ac, ac);
    const double along = dot(ax, ac);
    // Straight: off the line by no more than rounding of the corefined coordinates.
    if (along > 0 && along < l2 && dot(cross(ac, ax), cross(ac, ax)) <= 1e-20 * l2 * l2) drop[v] = 1;
  }
  // A face must keep at least three corners.
  for (std::size_t f = 0; f < faces; ++f) {
    const std::uint32_t b = p.offsets[f], e = p.offsets[f + 1];
    std::uint32_t kept = 0;
    for (std::uint32_t i = b; i < e; ++i) {
      const int v = p.corners[i];
      kept += !(static_cast<std::size_t>(v) < keys.nodes && drop[v]);
    }
    if (kept >= 3) continue;
    for (std::uint32_t i = b; i < e; ++i) {
      const int v = p.corners[i];
      if (static_cast<std::size_t>(v) < keys.nodes) drop[v] = 0;
    }
  }
  std::vector<int> corners;
  std::vector<std::uint32_t> offsets{0};
  corners.reserve(p.corners.size());
  for (std::size_t f = 0; f < faces; ++f) {
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
      const int v = p.corners[i];
      if (!(static_cast<std::size_t>(v) < keys.nodes && drop[v])) corners.push_back(v);
    }
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  p.corners = std::move(corners);
  p.offsets = std::move(offsets);
}

void deriveCorners(const Keys& keys, const Pending& p, const TriangulatedOperand* ops[2],
                   ResultBuild& out) {
  out.cornerSources.resize(p.corners.size());
  out.weights.clear();
  std::vector<Vec3> polygon;
  std::vector<double> w;
  for (std::size_t f = 0; f < p.origins.size(); ++f) {
    const FaceOrigin& o = p.origins[f];
    const Polyhedron& src = *ops[o.operand]->mesh;
    const std::span<const int> face = src.face(o.face);
    const std::vector<int>& original = keys.original[o.operand];
    bool loaded = false;
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
      const int key = p.corners[i];
      const int orig = original[key];
      CornerSource& cs = out.cornerSources[i];
      if (orig >= 0) {
        const auto it = std::find(face.begin(), face.end(), orig);
        if (it != face.end()) {
          cs = {static_cast<std::uint32_t>(it - face.begin()), 0};
          continue;
        }
      }
      if (!loaded) {
        polygon.clear();
        for (int v : face) polygon.push_back(src.vertices()[v]);
        loaded = true;
      }
      meanValueWeights(polygon, keys.position[key], w);
      cs.begin = static_cast<std::uint32_t>(out.weights.size());
      for (std::size_t k = 0; k < w.size(); ++k) {
        if (w[k] != 0.0) out.weights.push_back({static_cast<std::uint32_t>(k), w[k]});
      }
      cs.count = static_cast<std::uint32_t>(out.weights.size()) - cs.begin;
      if (cs.count == 0) cs = {0, 0};  // cannot happen for weights summing to one
    }
  }
}

}  // namespace

void assemble(const Corefinement& cf, const TriangulatedOperand& a, const TriangulatedOperand& b,
              const Classification& cls, bool wantCorners, ResultBuild& out) {
  const TriangulatedOperand* ops[2] = {&a, &b};
  const Keys keys = makeKeys(cf, ops);
  Pending pending;
  std::vector<int> loopKeys;
  std::vector<int> loops;
  std::vector<std::uint32_t> ends;
  std::vector<int> groups[2];
  for (int m = 0; m < 2; ++m) {
    const TriangulatedOperand& op = *ops[m];
    const CorefinedMesh& mesh = cf.mesh[m];
    const Polyhedron& src = *op.mesh;
    const std::size_t nf = src.faceCount();
    if (op.empty()) continue;
    // Corefined faces by source face, in index order.
    std::vector<std::uint32_t> first(nf + 1, 0);
    for (std::size_t f = 0; f < mesh.faceCount(); ++f) ++first[op.triFace[mesh.faceTri[f]] + 1];
    for (std::size_t f = 0; f < nf; ++f) first[f + 1] += first[f];
    std::vector<int> bySource(mesh.faceCount());
    {
      std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
      for (std::size_t f = 0; f < mesh.faceCount(); ++f) {
        bySource[fill[op.triFace[mesh.faceTri[f]]]++] = static_cast<int>(f);
      }
    }
    const std::vector<std::uint8_t> blocked = blockedEdges(cf, cls, m);
    FaceMerger merger(mesh, blocked);
    for (std::size_t f = 0; f < nf; ++f) {
      const std::uint32_t t0 = op.faceFirstTri[f], t1 = op.faceFirstTri[f + 1];
      bool whole = first[f + 1] - first[f] == t1 - t0;
      for (std::uint32_t t = t0; t < t1 && whole; ++t) {
        whole = !mesh.split[t];
        for (int k = 0; k < 3 && whole; ++k) {
          const std::uint32_t g = static_cast<std::uint32_t>(mesh.opposite[3 * t + k] / 3);
          whole = !(g >= t0 && g < t1 && mesh.constrained[3 * t + k]);
        }
      }
      if (whole) {
        if (!cls.keep[m][t0]) continue;
        const bool rev = cls.reversed[m][t0];
        const std::span<const int> face = src.face(f);
        loopKeys.clear();
        for (std::size_t i = 0; i < face.size(); ++i) {
          const std::size_t j = rev ? (face.size() - i) % face.size() : i;
          loopKeys.push_back(keys.ofOriginal[m][face[j]]);
        }
        pending.add(loopKeys, {static_cast<std::uint8_t>(m), rev, static_cast<std::uint32_t>(f)});
        continue;
      }
      groups[0].clear();
      groups[1].clear();
      for (std::uint32_t i = first[f]; i < first[f + 1]; ++i) {
        const int g = bySource[i];
        if (cls.keep[m][g]) groups[cls.reversed[m][g]].push_back(g);
      }
      const std::span<const int> face = src.face(f);
      for (int rev = 0; rev < 2; ++rev) {
        if (groups[rev].empty()) continue;
        loops.clear();
        ends.clear();
        merger.merge(groups[rev], loops, ends);
        std::uint32_t begin = 0;
        for (const std::uint32_t end : ends) {
          loopKeys.clear();
          for (std::uint32_t i = begin; i < end; ++i) loopKeys.push_back(keys.ofVertex[m][loops[i]]);
          begin = end;
          if (rev) std::reverse(loopKeys.begin(), loopKeys.end());
          // Start at the source corner of lowest index the piece contains.
          std::size_t start = 0, bestSlot = face.size();
          for (std::size_t i = 0; i < loopKeys.size(); ++i) {
            const int orig = keys.original[m][loopKeys[i]];
            if (orig < 0) continue;
            const auto it = std::find(face.begin(), face.end(), orig);
            const std::size_t slot = static_cast<std::size_t>(it - face.begin());
            if (slot < bestSlot) {
              bestSlot = slot;
              start = i;
            }
          }
          std::rotate(loopKeys.begin(), loopKeys.begin() + static_cast<std::ptrdiff_t>(start),
                      loopKeys.end());
          pending.add(loopKeys, {static_cast<std::uint8_t>(m), rev != 0, static_cast<std::uint32_t>(f)});
        }
      }
    }
  }
  if (cf.nodeCount > 0) dropStraightNodes(keys, triangulationOnlyNodes(cf, ops), pending);

  // Number the vertices in order of first use.
  std::vector<int> index(keys.count, -1);
  out.points.clear();
  out.corners.resize(pending.corners.size());
  for (std::size_t i = 0; i < pending.corners.size(); ++i) {
    int& r = index[pending.corners[i]];
    if (r < 0) {
      r = static_cast<int>(out.points.size());
      out.points.push_back(keys.position[pending.corners[i]]);
    }
    out.corners[i] = r;
  }
  out.offsets = pending.offsets;
  out.origins = pending.origins;
  if (wantCorners) deriveCorners(keys, pending, ops, out);
}

}  // namespace geom::csg
