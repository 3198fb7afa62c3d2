#include "geom/csg_assemble.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <unordered_map>

#include "geom/csg_merge.h"
#include "geom/mean_value.h"
#include "geom/triangulator.h"

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
    // Nodes other than operand vertices are new vertices inside cut triangles, used only by
    // the pieces of those.
    for (std::size_t h = 0; h < mesh.opposite.size(); ++h) {
      if (!mesh.split[h / 3]) {
        h += 2;
        continue;
      }
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

// How close points may come (vertex to vertex, vertex to edge) before they count as one:
// some thousands of units in the last place of their largest coordinate, well above what the
// rounding of an intersection point to double moves it, far below any feature of a mesh, and
// below what the triangulation of an operand face takes for flat. Where a first snap left a
// face that would not make a valid operand, its corners get four times the tolerance, then
// sixteen times, and so on (`level`).
struct Snap {
  std::vector<std::uint8_t> level;  // per key
  static constexpr std::uint8_t kMaxLevel = 5;

  double tolerance(const Keys& keys, std::initializer_list<int> points) const {
    double magnitude = 0;
    int l = 0;
    for (int v : points) {
      const Vec3& p = keys.position[v];
      magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
      l = std::max<int>(l, level[v]);
    }
    return std::ldexp(magnitude, -40 + 2 * l);
  }
};

// Whether face f's corners all lie on one plane, up to well above the rounding that a result
// face fed back as an operand carries (see Snap).
bool planar(const Polyhedron& mesh, std::size_t f) {
  const std::span<const int> face = mesh.face(f);
  const std::vector<Vec3>& pts = mesh.vertices();
  Vec3 n, c;
  double magnitude = 0;
  for (std::size_t i = 0; i < face.size(); ++i) {
    const Vec3& p = pts[face[i]];
    const Vec3& q = pts[face[(i + 1) % face.size()]];
    n = n + cross(p, q);
    c = c + p;
    magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  }
  const double ln = length(n);
  if (!(ln > 0)) return true;
  n = n * (1.0 / ln);
  c = c * (1.0 / static_cast<double>(face.size()));
  const double tolerance = std::ldexp(magnitude, -36);
  for (const int v : face) {
    if (std::fabs(dot(pts[v] - c, n)) > tolerance) return false;
  }
  return true;
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

// Turns closed walks over vertices into simple loops: repeated corners in a row become one,
// and where the walk comes back to a vertex the loop since then is cut off. Loops of fewer than
// three corners (an edge there and back) are dropped.
class LoopSplitter {
 public:
  explicit LoopSplitter(std::size_t keyCount) : at_(keyCount, -1) {}

  void add(std::vector<int>& walk, const FaceOrigin& origin, Pending& out) {
    std::size_t n = 0;
    for (int v : walk) {
      if (n == 0 || walk[n - 1] != v) walk[n++] = v;
    }
    while (n > 1 && walk[n - 1] == walk[0]) --n;
    stack_.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const int v = walk[i];
      if (at_[v] >= 0) {
        const std::size_t from = static_cast<std::size_t>(at_[v]) + 1;
        if (stack_.size() - from + 1 >= 3) {
          piece_.assign(1, v);
          piece_.insert(piece_.end(), stack_.begin() + static_cast<std::ptrdiff_t>(from), stack_.end());
          out.add(piece_, origin);
        }
        for (std::size_t k = from; k < stack_.size(); ++k) at_[stack_[k]] = -1;
        stack_.resize(from);
        continue;
      }
      at_[v] = static_cast<int>(stack_.size());
      stack_.push_back(v);
    }
    if (stack_.size() >= 3) out.add(stack_, origin);
    for (int v : stack_) at_[v] = -1;
  }

 private:
  std::vector<int> at_;  // per key: its position on the stack, or -1
  std::vector<int> stack_, piece_;
};

// Pairs of faces over the same corners in opposite windings, among the given faces, are
// removed together: two sheets of surface that welding has laid onto each other (a solid or a
// gap thinner than the snap tolerance), which bound nothing.
void cancelTwins(const std::vector<std::uint32_t>& faces, Pending& p) {
  if (faces.size() < 2) return;
  auto size = [&](std::uint32_t f) { return p.offsets[f + 1] - p.offsets[f]; };
  // Each face's corners rotated to start at the lowest, for ordering and comparing.
  std::vector<int> canon;
  std::vector<std::uint32_t> start(faces.size() + 1, 0);
  for (std::size_t i = 0; i < faces.size(); ++i) {
    const std::uint32_t f = faces[i], b = p.offsets[f], n = size(f);
    const std::uint32_t low = static_cast<std::uint32_t>(
        std::min_element(p.corners.begin() + b, p.corners.begin() + b + n) - p.corners.begin() - b);
    for (std::uint32_t k = 0; k < n; ++k) canon.push_back(p.corners[b + (low + k) % n]);
    start[i + 1] = static_cast<std::uint32_t>(canon.size());
  }
  auto seq = [&](std::size_t i) {
    return std::span<const int>(canon.data() + start[i], canon.data() + start[i + 1]);
  };
  // Sorted by corner set: a face and its twin have the same first corner and size.
  std::vector<std::size_t> order(faces.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  auto setOf = [&](std::size_t i) {
    std::vector<int> v(seq(i).begin(), seq(i).end());
    std::sort(v.begin(), v.end());
    return v;
  };
  std::vector<std::vector<int>> sets(faces.size());
  for (std::size_t i = 0; i < faces.size(); ++i) sets[i] = setOf(i);
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return sets[x] < sets[y]; });
  std::vector<std::uint8_t> gone(p.origins.size(), 0);
  bool any = false;
  for (std::size_t i = 0; i < order.size();) {
    std::size_t j = i + 1;
    while (j < order.size() && sets[order[j]] == sets[order[i]]) ++j;
    for (std::size_t x = i; x < j; ++x) {
      for (std::size_t y = x + 1; y < j; ++y) {
        const std::size_t fx = order[x], fy = order[y];
        if (gone[faces[fx]] || gone[faces[fy]]) continue;
        const auto a = seq(fx), b = seq(fy);
        bool reverse = a.size() == b.size();
        for (std::size_t k = 1; k < a.size() && reverse; ++k) reverse = a[k] == b[a.size() - k];
        if (!reverse) continue;
        gone[faces[fx]] = gone[faces[fy]] = 1;
        any = true;
      }
    }
    i = j;
  }
  if (!any) return;
  Pending out;
  out.corners.reserve(p.corners.size());
  for (std::size_t f = 0; f < p.origins.size(); ++f) {
    if (gone[f]) continue;
    out.add(std::span<const int>(p.corners.data() + p.offsets[f], p.corners.data() + p.offsets[f + 1]),
            p.origins[f]);
  }
  p = std::move(out);
}

// Intersection points closer together than the rounding to double (near a vertex that a cut
// passes at less than a few units in the last place, or where an edge crosses a diagonal just
// beside an earlier intersection point) become one vertex: an operand vertex where there is
// one, else the first of the points. Exactly they are distinct and the pieces between them
// slivers; in double they are coincident or a few units in the last place apart, which no
// operand may be (a zero-length edge, or a sliver whose rounded corners fold it or cross a
// neighbour). Joined are points at one position, and two corners of a cut face closer than
// the snap tolerance of which one is an intersection point; two operand vertices never.
// Faces lose the repeated corner; a face that comes to visit a vertex twice is split there,
// and what has fewer than three corners left is dropped. Both faces along a collapsed edge
// lose it, so the surface stays closed.
void weldCoincident(Keys& keys, const Snap& snap, std::vector<std::uint8_t>& only, Pending& p) {
  const std::size_t faces = p.origins.size();
  auto isNode = [&](int v) { return static_cast<std::size_t>(v) < keys.nodes; };
  auto cut = [&](std::size_t f) {
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
      if (isNode(p.corners[i])) return true;
    }
    return false;
  };
  // Candidates: the corners of faces that have an intersection point.
  std::vector<int> cand;
  std::vector<int> parent(keys.count, -1);  // union-find over the candidates
  for (std::size_t f = 0; f < faces; ++f) {
    if (!cut(f)) continue;
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
      const int v = p.corners[i];
      if (parent[v] < 0) {
        parent[v] = v;
        cand.push_back(v);
      }
    }
  }
  auto find = [&](int v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  };
  // The root of a set is its operand vertex, if it has one.
  bool any = false;
  auto join = [&](int a, int b) {
    a = find(a);
    b = find(b);
    if (a == b || (!isNode(a) && !isNode(b))) return;
    if (!isNode(b) || (isNode(a) && b < a)) std::swap(a, b);
    parent[b] = a;
    any = true;
  };
  std::sort(cand.begin(), cand.end(), [&](int a, int b) {
    const Vec3& x = keys.position[a];
    const Vec3& y = keys.position[b];
    if (x.x != y.x) return x.x < y.x;
    if (x.y != y.y) return x.y < y.y;
    if (x.z != y.z) return x.z < y.z;
    return a < b;
  });
  for (std::size_t i = 1; i < cand.size(); ++i) {
    if (keys.position[cand[i]] == keys.position[cand[i - 1]]) join(cand[i - 1], cand[i]);
  }
  for (std::size_t f = 0; f < faces; ++f) {
    if (!cut(f)) continue;
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    for (std::uint32_t i = 0; i < n; ++i) {
      const int u = p.corners[b + i];
      for (std::uint32_t j = i + 1; j < n; ++j) {
        const int v = p.corners[b + j];
        if (!isNode(u) && !isNode(v)) continue;
        const Vec3 d = keys.position[u] - keys.position[v];
        const double tol = snap.tolerance(keys, {u, v});
        if (dot(d, d) <= tol * tol) join(u, v);
      }
    }
  }
  if (!any) return;
  for (int v : cand) {
    const int r = find(v);
    if (r == v) continue;
    keys.position[v] = keys.position[r];
    // The joined vertex is a real corner if any of its points was.
    if (isNode(r)) only[r] = only[r] && only[v];
  }

  Pending out;
  out.corners.reserve(p.corners.size());
  LoopSplitter split(keys.count);
  std::vector<int> loop;
  std::vector<std::uint32_t> changed;  // faces of out that lost or changed corners
  for (std::size_t f = 0; f < faces; ++f) {
    loop.clear();
    bool moved = false;
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) {
      const int v = p.corners[i];
      loop.push_back(parent[v] >= 0 ? find(v) : v);
      moved = moved || loop.back() != v;
    }
    const std::size_t first = out.origins.size();
    split.add(loop, p.origins[f], out);
    if (moved) {
      for (std::size_t g = first; g < out.origins.size(); ++g) changed.push_back(static_cast<std::uint32_t>(g));
    }
  }
  cancelTwins(changed, out);
  p = std::move(out);
}

// A corner of a cut face that lies within the snap tolerance of another edge of the same face, away
// from its ends, marks a sliver: exactly, the face is thinner there than the rounding of its
// corners, and in double it may cross itself or have no area. The corner is put into that edge,
// in this face and in the face across it; the face then visits the corner twice and splits
// there, and the sliver between corner and edge, now without area, drops out. The face across
// gets a corner within that tolerance of its edge. Returns whether anything changed.
bool zipSlivers(const Keys& keys, const Snap& snap, Pending& p) {
  const std::size_t faces = p.origins.size();
  struct Insert {
    std::uint64_t edge;  // lower vertex in the high half
    double along;        // from the lower vertex to the higher
    int vertex;
  };
  std::vector<Insert> inserts;
  for (std::size_t f = 0; f < faces; ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    bool cut = false;
    for (std::uint32_t i = 0; i < n && !cut; ++i) cut = static_cast<std::size_t>(p.corners[b + i]) < keys.nodes;
    if (!cut || n < 3) continue;
    for (std::uint32_t j = 0; j < n; ++j) {
      int a = p.corners[b + j], c = p.corners[b + (j + 1) % n];
      if (a > c) std::swap(a, c);
      const Vec3& pa = keys.position[a];
      const Vec3 d = keys.position[c] - pa;
      const double l2 = dot(d, d);
      for (std::uint32_t i = 0; i < n; ++i) {
        const int v = p.corners[b + i];
        if (v == a || v == c) continue;
        const Vec3& pv = keys.position[v];
        const Vec3 w = pv - pa;
        const double t = dot(w, d);
        if (!(t > 0 && t < l2)) continue;
        const Vec3 off = w - d * (t / l2);
        const double tol = snap.tolerance(keys, {a, c, v});
        const double t2 = tol * tol;
        if (dot(off, off) > t2) continue;
        const Vec3 toEnd = pv - keys.position[c];
        if (dot(w, w) <= t2 || dot(toEnd, toEnd) <= t2) continue;  // a weld, not a sliver
        inserts.push_back({(static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) |
                               static_cast<std::uint32_t>(c),
                           t / l2, v});
      }
    }
  }
  if (inserts.empty()) return false;
  std::sort(inserts.begin(), inserts.end(), [](const Insert& x, const Insert& y) {
    return x.edge != y.edge ? x.edge < y.edge : (x.along != y.along ? x.along < y.along : x.vertex < y.vertex);
  });
  inserts.erase(std::unique(inserts.begin(), inserts.end(),
                            [](const Insert& x, const Insert& y) {
                              return x.edge == y.edge && x.vertex == y.vertex;
                            }),
                inserts.end());
  Pending out;
  out.corners.reserve(p.corners.size() + 2 * inserts.size());
  LoopSplitter split(keys.count);
  std::vector<int> loop;
  for (std::size_t f = 0; f < faces; ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    loop.clear();
    for (std::uint32_t i = 0; i < n; ++i) {
      const int u = p.corners[b + i], w = p.corners[b + (i + 1) % n];
      loop.push_back(u);
      const std::uint64_t key =
          (static_cast<std::uint64_t>(static_cast<std::uint32_t>(std::min(u, w))) << 32) |
          static_cast<std::uint32_t>(std::max(u, w));
      auto first = std::lower_bound(inserts.begin(), inserts.end(), key,
                                    [](const Insert& x, std::uint64_t k) { return x.edge < k; });
      auto last = first;
      while (last != inserts.end() && last->edge == key) ++last;
      if (first == last) continue;
      if (u < w) {
        for (auto it = first; it != last; ++it) loop.push_back(it->vertex);
      } else {
        for (auto it = last; it != first;) loop.push_back((--it)->vertex);
      }
    }
    split.add(loop, p.origins[f], out);
  }
  p = std::move(out);
  return true;
}

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

// What a result would be as an operand, around the cut.
struct Verdict {
  std::vector<std::uint32_t> bad;  // faces to snap harder
  // Faces whose triangles lie on a triangle of another face wound the other way (two sheets
  // of surface laid onto each other by the snapping, partly): per such face, its triangles
  // and which of them that cancels.
  std::vector<std::uint32_t> twinFaces;
  std::vector<std::array<int, 3>> tris;
  std::vector<std::uint32_t> triFace;
  std::vector<std::uint8_t> diagonals;  // per triangle: bit k when edge k is inside its face
  std::vector<std::uint8_t> cancelled;
};

bool reversedTwins(const std::array<int, 3>& a, const std::array<int, 3>& b) {
  for (int k = 0; k < 3; ++k) {
    if (a[0] == b[k] && a[1] == b[(k + 2) % 3] && a[2] == b[(k + 1) % 3]) return true;
  }
  return false;
}

// Faces that would not make valid operand faces, or whose triangles would meet others or share
// an edge with two others: what prepareOperand does with a face (geom::Triangulator over its
// corners in order) is done here for every face with an intersection point and for the faces
// around those, and their triangles are tested as prepareOperand and checkSelfIntersections
// would. Faces elsewhere are operand faces as
// they were. (Surfaces that come within rounding of each other without sharing a vertex are
// not looked for.)
Verdict judge(const Keys& keys, const Pending& p) {
  const std::size_t faces = p.origins.size();
  std::vector<std::uint8_t> cut(faces, 0), around(keys.count, 0);
  for (std::size_t f = 0; f < faces; ++f) {
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1] && !cut[f]; ++i) {
      cut[f] = static_cast<std::size_t>(p.corners[i]) < keys.nodes;
    }
    if (!cut[f]) continue;
    for (std::uint32_t i = p.offsets[f]; i < p.offsets[f + 1]; ++i) around[p.corners[i]] = 1;
  }
  Verdict v;
  std::vector<std::uint8_t> fresh;
  std::vector<Vec3> polygon;
  std::vector<Triangulator::Triangle> local;
  for (std::size_t f = 0; f < faces; ++f) {
    const std::uint32_t b = p.offsets[f], n = p.offsets[f + 1] - b;
    if (!cut[f]) {
      bool near = false;
      for (std::uint32_t i = 0; i < n && !near; ++i) near = around[p.corners[b + i]] != 0;
      if (!near) continue;
    }
    polygon.clear();
    for (std::uint32_t i = 0; i < n; ++i) polygon.push_back(keys.position[p.corners[b + i]]);
    local.clear();
    if (!Triangulator::triangulate(polygon, local)) {
      if (cut[f]) v.bad.push_back(static_cast<std::uint32_t>(f));
      continue;
    }
    for (const auto& t : local) {
      v.tris.push_back({p.corners[b + t[0]], p.corners[b + t[1]], p.corners[b + t[2]]});
      v.triFace.push_back(static_cast<std::uint32_t>(f));
      std::uint8_t diagonals = 0;
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t d = (t[(k + 1) % 3] + n - t[k]) % n;
        if (d != 1 && d != n - 1) diagonals |= static_cast<std::uint8_t>(1u << k);
      }
      v.diagonals.push_back(diagonals);
      fresh.push_back(cut[f]);
    }
  }
  // A diagonal that is an edge of another face too, or another face's diagonal: the edge
  // has more than two triangles (two faces along a shared run of corners both cut across it,
  // for one). Edges of several faces that are edges of them all are the result's own, where
  // it touches itself.
  {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> uses;  // (edge, 2 * triangle + diagonal)
    uses.reserve(3 * v.tris.size());
    for (std::size_t t = 0; t < v.tris.size(); ++t) {
      for (int k = 0; k < 3; ++k) {
        const int x = v.tris[t][k], y = v.tris[t][(k + 1) % 3];
        const bool diagonal = (v.diagonals[t] >> k) & 1u;
        uses.emplace_back(directedKey(std::min(x, y), std::max(x, y)),
                          static_cast<std::uint32_t>(2 * t + (diagonal ? 1 : 0)));
      }
    }
    std::sort(uses.begin(), uses.end());
    for (std::size_t i = 0; i < uses.size();) {
      std::size_t j = i + 1;
      bool diagonal = (uses[i].second & 1u) != 0;
      for (; j < uses.size() && uses[j].first == uses[i].first; ++j) {
        if (uses[j].second & 1u) diagonal = true;
      }
      if (j - i > 2 && diagonal) {
        for (std::size_t k = i; k < j; ++k) {
          const std::uint32_t t = uses[k].second / 2;
          if (fresh[t]) v.bad.push_back(v.triFace[t]);
        }
      }
      i = j;
    }
  }
  v.cancelled.assign(v.tris.size(), 0);
  meetingTriangles(keys.position, v.tris, fresh, v.triFace, [&](std::size_t t1, std::size_t t2) {
    if (reversedTwins(v.tris[t1], v.tris[t2]) && !v.cancelled[t1] && !v.cancelled[t2]) {
      v.cancelled[t1] = v.cancelled[t2] = 1;
      v.twinFaces.push_back(v.triFace[t1]);
      v.twinFaces.push_back(v.triFace[t2]);
      return;
    }
    for (const std::size_t t : {t1, t2}) {
      if (fresh[t]) v.bad.push_back(v.triFace[t]);
    }
  });
  for (std::vector<std::uint32_t>* list : {&v.bad, &v.twinFaces}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  return v;
}

// Replaces each face with cancelled triangles by its other triangles. Removing two triangles
// over the same corners wound opposite ways keeps the surface closed: along each of their
// edges, the faces beyond now meet each other.
void cancelTwinTriangles(const Verdict& v, Pending& p) {
  std::vector<std::uint8_t> twin(p.origins.size(), 0);
  for (const std::uint32_t f : v.twinFaces) twin[f] = 1;
  Pending out;
  out.corners.reserve(p.corners.size());
  std::size_t t = 0;
  for (std::size_t f = 0; f < p.origins.size(); ++f) {
    while (t < v.triFace.size() && v.triFace[t] < f) ++t;
    if (!twin[f]) {
      out.add(std::span<const int>(p.corners.data() + p.offsets[f], p.corners.data() + p.offsets[f + 1]),
              p.origins[f]);
      continue;
    }
    for (; t < v.triFace.size() && v.triFace[t] == f; ++t) {
      if (!v.cancelled[t]) out.add(v.tris[t], p.origins[f]);
    }
  }
  p = std::move(out);
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

// The kept faces as polygons over keys: whole source faces as they were, the kept pieces of
// cut faces merged (or, for the source faces marked in `asTriangles`, one per triangle of the
// cut).
void collectFaces(const Corefinement& cf, const TriangulatedOperand* ops[2],
                  const Classification& cls, const Keys& keys,
                  const std::vector<std::uint8_t> asTriangles[2], Pending& pending) {
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
      const bool merge = asTriangles[m].empty() || !asTriangles[m][f];
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
}

// Makes the faces around the cut valid operand faces (see Snap, weldCoincident, zipSlivers,
// judge) and drops the triangulation-only nodes that are left straight. Returns the faces that
// are still not valid; it stops snapping early when one of them lies on a source face that is
// not planar: merged into a polygon, its pieces are triangulated anew as an operand, off the
// triangles of the cut by as much as the face bends, which no snapping mends.
std::vector<std::uint32_t> snapAndCheck(const Corefinement& cf, const TriangulatedOperand* ops[2],
                                        Keys& keys, Pending& pending) {
  std::vector<std::uint8_t> only = triangulationOnlyNodes(cf, ops);
  Snap snap;
  snap.level.assign(keys.count, 0);
  for (std::uint8_t round = 0;; ++round) {
    weldCoincident(keys, snap, only, pending);
    for (int zip = 0; zip < 4 && zipSlivers(keys, snap, pending); ++zip) {
    }
    dropStraightNodes(keys, only, pending);
    Verdict verdict = judge(keys, pending);
    if (verdict.bad.empty() && verdict.twinFaces.empty()) return {};
    bool bent = false;
    for (const std::uint32_t f : verdict.bad) {
      const FaceOrigin& o = pending.origins[f];
      bent = bent || !planar(*ops[o.operand]->mesh, o.face);
    }
    if (round == Snap::kMaxLevel || bent) return std::move(verdict.bad);
    for (const std::uint32_t f : verdict.bad) {
      for (std::uint32_t i = pending.offsets[f]; i < pending.offsets[f + 1]; ++i) {
        std::uint8_t& l = snap.level[pending.corners[i]];
        l = std::max<std::uint8_t>(l, round + 1);
      }
    }
    if (!verdict.twinFaces.empty()) cancelTwinTriangles(verdict, pending);
  }
}

}  // namespace

void assemble(const Corefinement& cf, const TriangulatedOperand& a, const TriangulatedOperand& b,
              const Classification& cls, bool wantCorners, ResultBuild& out) {
  const TriangulatedOperand* ops[2] = {&a, &b};
  std::vector<std::uint8_t> asTriangles[2];
  Keys keys;
  Pending pending;
  // Where faces around the cut still would not make valid operand faces, the pieces of their
  // source faces are given again as the triangles of the cut (what CGAL made of them is what
  // the classification saw), and all is done once more.
  for (int attempt = 0;; ++attempt) {
    keys = makeKeys(cf, ops);
    pending = Pending();
    collectFaces(cf, ops, cls, keys, asTriangles, pending);
    if (cf.nodeCount == 0) break;
    const std::vector<std::uint32_t> bad = snapAndCheck(cf, ops, keys, pending);
    if (bad.empty() || attempt == 1) break;
    bool more = false;
    for (const std::uint32_t f : bad) {
      const FaceOrigin& o = pending.origins[f];
      if (ops[o.operand]->mesh->face(o.face).size() == 3) continue;
      std::vector<std::uint8_t>& marks = asTriangles[o.operand];
      if (marks.empty()) marks.assign(ops[o.operand]->mesh->faceCount(), 0);
      more = more || !marks[o.face];
      marks[o.face] = 1;
    }
    if (!more) break;
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
