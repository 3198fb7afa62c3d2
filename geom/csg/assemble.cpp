#include "geom/csg/assemble.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "geom/csg/crossing.h"
#include "geom/csg/merge.h"
#include "geom/csg/on_grid.h"
#include "geom/csg/operand_check.h"
#include "geom/csg/pending.h"
#include "geom/csg/snap.h"
#include "geom/mean_value.h"

namespace geom::csg {

namespace {

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
    // Copies of a vertex where the operand touches itself are that vertex again in the result:
    // it touches itself there as the operand did.
    const std::vector<int>& same = ops[m]->sameVertex;
    for (std::size_t v = 0; v < mesh.points.size(); ++v) {
      int original = mesh.original[v];
      if (original >= 0 && !same.empty()) original = same[original];
      const int key = mesh.node[v] >= 0 ? mesh.node[v] : static_cast<int>(k.base[m]) + original;
      k.ofVertex[m][v] = key;
      k.position[key] = mesh.points[v];
      if (mesh.original[v] >= 0) {
        k.ofOriginal[m][mesh.original[v]] = key;
        k.original[m][key] = original;
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
    // Nodes other than operand vertices are new vertices inside cut triangles, used only by
    // the pieces of those.
    for (std::size_t h = 0; h < mesh.opposite.size(); ++h) {
      if (!mesh.split[h / 3]) {
        h += 2;
        continue;
      }
      if (mesh.opposite[h] < 0) continue;
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
      cs = blendedCorner(polygon, keys.position[key], out.weights, w);
    }
  }
}

bool before(const Vec3& p, const Vec3& q) {
  if (p.x != q.x) return p.x < q.x;
  if (p.y != q.y) return p.y < q.y;
  return p.z < q.z;
}

// The kept faces as polygons over keys: whole source faces as they were, the kept pieces of
// cut faces merged (or one per triangle of the cut, for the source faces marked in
// `asTriangles` and for source faces that are not planar: merged, such pieces would make
// polygons that are not planar either, which a reader fans differently from how the cut
// triangulated them, so their volumes would no longer add up to the source face's).
void collectFaces(const Corefinement& cf, const TriangulatedOperand* ops[2],
                  const Classification& cls, const Keys& keys,
                  const std::vector<std::uint8_t> asTriangles[2], Pending& pending) {
  std::vector<int> loopKeys;
  std::vector<int> loops;
  std::vector<std::uint32_t> ends;
  std::vector<int> groups[2];
  struct Piece {
    std::size_t slot;  // the source corner it starts at; the face's size if none
    std::vector<int> keys;
  };
  std::vector<Piece> pieces;
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
          const int o = mesh.opposite[3 * t + k];
          const std::uint32_t g = static_cast<std::uint32_t>(o / 3);
          whole = !(o >= 0 && g >= t0 && g < t1 && mesh.constrained[3 * t + k]);
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
      const bool merge =
          (asTriangles[m].empty() || !asTriangles[m][f]) && (face.size() == 3 || planar(src, f));
      for (int rev = 0; rev < 2; ++rev) {
        if (groups[rev].empty()) continue;
        loops.clear();
        ends.clear();
        if (merge) {
          merger.merge(groups[rev], loops, ends);
        } else {
          for (const int g : groups[rev]) {
            for (const int v : mesh.faces[g]) loops.push_back(v);
            ends.push_back(static_cast<std::uint32_t>(loops.size()));
          }
        }
        // CGAL's order of the pieces (and of the triangles they are merged from) follows its
        // own memory layout where a face's points are cocircular, so the pieces of one source
        // face are put in an order of their own: by the source corner each starts at, then by
        // position.
        pieces.clear();
        std::uint32_t begin = 0;
        for (const std::uint32_t end : ends) {
          Piece piece;
          for (std::uint32_t i = begin; i < end; ++i)
            piece.keys.push_back(keys.ofVertex[m][loops[i]]);
          begin = end;
          if (rev) std::reverse(piece.keys.begin(), piece.keys.end());
          // Start at the source corner of lowest index the piece contains, or at its lowest
          // position when it contains none.
          std::size_t start = 0;
          piece.slot = face.size();
          for (std::size_t i = 0; i < piece.keys.size(); ++i) {
            const int orig = keys.original[m][piece.keys[i]];
            if (orig < 0) {
              if (piece.slot == face.size() &&
                  before(keys.position[piece.keys[i]], keys.position[piece.keys[start]])) {
                start = i;
              }
              continue;
            }
            const auto it = std::find(face.begin(), face.end(), orig);
            const std::size_t slot = static_cast<std::size_t>(it - face.begin());
            if (slot < piece.slot) {
              piece.slot = slot;
              start = i;
            }
          }
          std::rotate(piece.keys.begin(), piece.keys.begin() + static_cast<std::ptrdiff_t>(start),
                      piece.keys.end());
          pieces.push_back(std::move(piece));
        }
        std::sort(pieces.begin(), pieces.end(), [&](const Piece& x, const Piece& y) {
          if (x.slot != y.slot) return x.slot < y.slot;
          const std::size_t n = std::min(x.keys.size(), y.keys.size());
          for (std::size_t i = 0; i < n; ++i) {
            const Vec3& p = keys.position[x.keys[i]];
            const Vec3& q = keys.position[y.keys[i]];
            if (before(p, q)) return true;
            if (before(q, p)) return false;
          }
          return x.keys.size() < y.keys.size();
        });
        for (const Piece& piece : pieces) {
          pending.add(piece.keys,
                      {static_cast<std::uint8_t>(m), rev != 0, static_cast<std::uint32_t>(f)});
        }
      }
    }
  }
}

// Makes the faces around the cut valid operand faces (see Snap, weldCoincident, zipSlivers,
// judge) and drops the triangulation-only nodes that are left straight. Returns the sources of the
// faces that are still not valid; it stops snapping early when one of them lies on a source face
// that is not planar: merged into a polygon, its pieces are triangulated anew as an operand, off
// the triangles of the cut by as much as the face bends, which no snapping mends.
std::vector<FaceOrigin> snapAndCheck(const Corefinement& cf, const TriangulatedOperand* ops[2],
                                     const Grid& grid, Keys& keys, Pending& pending) {
  std::vector<std::uint8_t> only = triangulationOnlyNodes(cf, ops);
  Snap snap;
  snap.level.assign(keys.count, 0);
  if (grid.active) snap.grid = &grid;
  // The faces and points the verdict was made on: a round whose higher tolerance joined
  // nothing gets the same verdict without judging every face around the cut again.
  Verdict verdict;
  std::vector<int> judgedCorners;
  std::vector<std::uint32_t> judgedOffsets;
  std::vector<Vec3> judgedPoints;
  auto unchanged = [&]() {
    return judgedCorners == pending.corners && judgedOffsets == pending.offsets &&
           judgedPoints == keys.position;
  };
  for (std::uint8_t round = 0;; ++round) {
    weldCoincident(keys, snap, only, pending);
    for (int zip = 0; zip < 4 && zipSlivers(keys, snap, pending); ++zip) {
    }
    dropStraightNodes(keys, snap, only, pending);
    if (round == 0 || !unchanged()) {
      verdict = judge(keys, pending);
      judgedCorners = pending.corners;
      judgedOffsets = pending.offsets;
      judgedPoints = keys.position;
    }
    if (verdict.bad.empty() && verdict.twinFaces.empty()) return {};
    bool bent = false;
    for (const std::uint32_t f : verdict.bad) {
      const FaceOrigin& o = pending.origins[f];
      bent = bent || !planar(*ops[o.operand]->mesh, o.face);
    }
    const bool last = round == Snap::kMaxLevel || bent;
    std::vector<FaceOrigin> bad;
    for (const std::uint32_t f : verdict.bad) {
      if (last) bad.push_back(pending.origins[f]);
      for (std::uint32_t i = pending.offsets[f]; i < pending.offsets[f + 1]; ++i) {
        std::uint8_t& l = snap.level[pending.corners[i]];
        l = std::max<std::uint8_t>(l, round + 1);
      }
    }
    // Twin sheets go even when other faces stay bad: cancelling them keeps the surface closed.
    if (!verdict.twinFaces.empty()) cancelTwinTriangles(verdict, pending);
    if (last) return bad;
  }
}

}  // namespace

CornerSource blendedCorner(std::span<const Vec3> polygon, const Vec3& p,
                           std::vector<CornerWeight>& weights, std::vector<double>& w) {
  meanValueWeights(polygon, p, w);
  CornerSource cs{static_cast<std::uint32_t>(weights.size()), 0};
  for (std::size_t k = 0; k < w.size(); ++k) {
    if (w[k] != 0.0) weights.push_back({static_cast<std::uint32_t>(k), w[k]});
  }
  cs.count = static_cast<std::uint32_t>(weights.size()) - cs.begin;
  if (cs.count == 0) cs = {0, 0};  // cannot happen for weights summing to one
  return cs;
}

void assemble(const Corefinement& cf, const TriangulatedOperand& a, const TriangulatedOperand& b,
              const Classification& cls, bool wantCorners, const Grid& grid, ResultBuild& out) {
  const TriangulatedOperand* ops[2] = {&a, &b};
  std::vector<std::uint8_t> asTriangles[2];
  Keys keys;
  Pending pending;
  out.unsettled = false;
  // Where faces around the cut still would not make valid operand faces, the pieces of their
  // source faces are given again as the triangles of the cut (what CGAL made of them is what
  // the classification saw), and all is done once more.
  for (int attempt = 0;; ++attempt) {
    keys = makeKeys(cf, ops);
    placeOnGrid(grid, keys);
    pending = Pending();
    collectFaces(cf, ops, cls, keys, asTriangles, pending);
    if (cf.nodeCount == 0) break;
    const std::vector<FaceOrigin> bad = snapAndCheck(cf, ops, grid, keys, pending);
    out.unsettled = !bad.empty();
    if (bad.empty() || attempt == 1) break;
    bool more = false;
    for (const FaceOrigin& o : bad) {
      // Merged pieces of a source triangle are flat in double; on the float grid they bend, and
      // a diagonal across them can then run along the cut's curve on the wrong side of it.
      if (!grid.active && ops[o.operand]->mesh->face(o.face).size() == 3) continue;
      std::vector<std::uint8_t>& marks = asTriangles[o.operand];
      if (marks.empty()) marks.assign(ops[o.operand]->mesh->faceCount(), 0);
      more = more || !marks[o.face];
      marks[o.face] = 1;
    }
    if (!more) break;
  }

  if (grid.active) {
    setApartWhereSheetsCross(grid, keys, pending);
    splitBentFaces(keys, pending);
  }
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
