#include "geom/csg/snap.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace geom::csg {

double Snap::tolerance(const Keys& keys, std::initializer_list<int> points) const {
  double magnitude = 0, step = 0;
  int l = 0;
  for (int v : points) {
    const Vec3& p = keys.position[v];
    magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    if (grid != nullptr) step = std::max(step, grid->spacing(p));
    l = std::max<int>(l, level[v]);
  }
  const double grid = l > 0 ? std::ldexp(step, 2 * (l - 1)) : 0.0;
  return std::max(std::ldexp(magnitude, -40 + 2 * l), grid);
}

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

namespace {

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
          piece_.insert(piece_.end(), stack_.begin() + static_cast<std::ptrdiff_t>(from),
                        stack_.end());
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
  std::sort(order.begin(), order.end(),
            [&](std::size_t x, std::size_t y) { return sets[x] < sets[y]; });
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
    out.add(
        std::span<const int>(p.corners.data() + p.offsets[f], p.corners.data() + p.offsets[f + 1]),
        p.origins[f]);
  }
  p = std::move(out);
}

}  // namespace

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
      for (std::size_t g = first; g < out.origins.size(); ++g)
        changed.push_back(static_cast<std::uint32_t>(g));
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
    if (n < 3 || !isCutFace(keys, p, f)) continue;
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
    return x.edge != y.edge ? x.edge < y.edge
                            : (x.along != y.along ? x.along < y.along : x.vertex < y.vertex);
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
void dropStraightNodes(const Keys& keys, const Snap& snap, const std::vector<std::uint8_t>& only,
                       Pending& p) {
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
    // Straight: off the line by no more than rounding of the corefined coordinates, or than
    // the grid's step.
    const double step = snap.grid != nullptr ? snap.grid->spacing(x) : 0.0;
    const double off2 = dot(cross(ac, ax), cross(ac, ax));
    if (along > 0 && along < l2 && (off2 <= 1e-20 * l2 * l2 || off2 <= step * step * l2))
      drop[v] = 1;
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

}  // namespace geom::csg
