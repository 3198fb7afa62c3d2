// The self-intersection test of an operand and the pairs of a result's triangles that meet: box
// pairs from the box tree, decided with CGAL's exact predicates.
#include "geom/csg/self_intersection.h"

#include <CGAL/intersections.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "geom/box_tree.h"
#include "geom/cgal_kernel.h"
#include "geom/csg/patch_certificate.h"
#include "geom/csg/plane_sides.h"
#include "geom/error.h"

namespace geom::csg {

using cgal::K;
using cgal::Point;
using cgal::pt;

namespace {

struct Intersecting {
  std::uint32_t t1, t2;
};

// A vector across n (not zero where n is not).
Vec3 anyPerpendicular(const Vec3& n) {
  const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  if (ax <= ay && ax <= az) return {0, -n.z, n.y};
  if (ay <= az) return {-n.z, 0, n.x};
  return {-n.y, n.x, 0};
}

double cross2(const std::array<double, 2>& a, const std::array<double, 2>& b) {
  return a[0] * b[1] - a[1] * b[0];
}

// Whether the closed ring of directions turns counter-clockwise at every step, clearly (by
// more than a relative 1e-9 of the sine), and once round in all. Each step then turns by less
// than half a turn, so the number of times the ring passes its first direction is its number
// of turns; the side of the first direction each one is on is decided by the same computed
// sign on both steps next to it, so no pass is counted twice or missed.
bool turnsOnce(const std::vector<std::array<double, 2>>& ring) {
  const std::size_t m = ring.size();
  if (m < 3) return false;
  const std::array<double, 2>& u = ring[0];
  int passes = 0;
  for (std::size_t i = 0; i < m; ++i) {
    const std::array<double, 2>& a = ring[i];
    const std::array<double, 2>& b = ring[(i + 1) % m];
    const double s = cross2(a, b);
    const double la = a[0] * a[0] + a[1] * a[1], lb = b[0] * b[0] + b[1] * b[1];
    if (!(s > 0 && s * s > 1e-18 * la * lb)) return false;
    // From the right of u to u or its left: past u, not past -u, as the step is below half a
    // turn.
    const double ub = cross2(u, b);
    if (cross2(a, u) > 0 && (ub > 0 || (ub == 0 && u[0] * b[0] + u[1] * b[1] > 0))) ++passes;
  }
  return passes == 1;
}

// Whether the fan of triangles around a vertex projects one-to-one onto a plane: seen along the
// sum of its face normals every triangle turns the same way and the angles at the vertex add up
// to one full turn. Two triangles of such a fan meet only in what they share, which lets the
// test skip almost every pair of neighbouring triangles. The margins only ever send a doubtful
// fan to the exact tests. Decided for a vertex when first asked, from a half-edge leaving it.
class FlatFans {
 public:
  explicit FlatFans(const TriangulatedOperand& op)
      : op_(op), state_(op.mesh->vertices().size(), kUnknown) {}

  bool flat(int v, std::size_t h) {
    if (state_[v] == kUnknown) state_[v] = decide(v, h) ? kFlat : kNotFlat;
    return state_[v] == kFlat;
  }

 private:
  enum : std::uint8_t { kUnknown, kFlat, kNotFlat };

  bool decide(int v, std::size_t h) {
    const std::vector<Vec3>& p = op_.mesh->vertices();
    const std::size_t nh = op_.tris.size() * 3;
    fan_.clear();
    std::size_t cur = h;
    do {
      fan_.push_back(cur);
      const int next = op_.opposite[cur - cur % 3 + (cur % 3 + 2) % 3];
      if (next < 0) return false;  // a border vertex: its faces go to the exact tests
      cur = static_cast<std::size_t>(next);
    } while (cur != h && fan_.size() <= nh);
    Vec3 n;
    for (std::size_t e : fan_) {
      const auto& t = op_.tris[e / 3];
      n = n + cross(p[t[(e % 3 + 1) % 3]] - p[v], p[t[(e % 3 + 2) % 3]] - p[v]);
    }
    const double ln = length(n);
    if (!(ln > 0)) return false;
    // The edges around v in an orthonormal frame of the plane across n, turning as the faces
    // do seen along n; consecutive corners share an edge.
    const Vec3 u = anyPerpendicular(n);
    const Vec3 e1 = u * (1.0 / length(u)), e2 = cross(n * (1.0 / ln), e1);
    dirs_.clear();
    for (std::size_t e : fan_) {
      const Vec3 d = p[op_.tris[e / 3][(e % 3 + 1) % 3]] - p[v];
      dirs_.push_back({dot(d, e1), dot(d, e2)});
    }
    return turnsOnce(dirs_);
  }

  const TriangulatedOperand& op_;
  std::vector<std::uint8_t> state_;  // per vertex
  std::vector<std::size_t> fan_;
  std::vector<std::array<double, 2>> dirs_;
};

}  // namespace

bool walksOwnTree(std::size_t flagged, std::size_t total) {
  return 4 * flagged >= 3 * total;
}

void checkSelfIntersections(const TriangulatedOperand& op, const std::vector<std::uint8_t>* only) {
  const std::vector<Vec3>& verts = op.mesh->vertices();
  FlatFans fans(op);
  PatchCertificate patches(op);
  PlaneSides planes(verts, op.tris);
  const std::vector<int>& same = op.sameVertex;
  // Over op's own tree, pairs with a triangle not flagged are passed over here.
  const bool filtered =
      only != nullptr && op.tree &&
      walksOwnTree(static_cast<std::size_t>(std::count(only->begin(), only->end(), 1)),
                   only->size());
  auto test = [&](std::uint32_t t1, std::uint32_t t2) {
    if (filtered && !((*only)[t1] && (*only)[t2])) return;
    const auto& a = op.tris[t1];
    const auto& b = op.tris[t2];
    bool touching = false;  // at a vertex split where the surface touches itself
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (a[i] == b[j] && fans.flat(a[i], 3 * std::size_t{t1} + i)) return;
        touching = touching || (!same.empty() && same[a[i]] == same[b[j]]);
      }
    }
    if (touching) {
      // Sheets of a solid that touches itself meet where their vertices were one, and must
      // not meet elsewhere.
      const std::array<int, 3> ca{same[a[0]], same[a[1]], same[a[2]]};
      const std::array<int, 3> cb{same[b[0]], same[b[1]], same[b[2]]};
      if (meetApart(verts, ca, cb)) throw Intersecting{t1, t2};
      return;
    }
    // Triangles of a checked operand share two vertices only where they share an edge.
    if (!planes.apart(t1, t2) && meetApart(verts, a, b)) throw Intersecting{t1, t2};
  };
  // Most of a smooth surface comes in patches that cannot meet themselves: their pairs go
  // untested.
  auto embedded = [&](std::span<const std::uint32_t> patch, std::vector<std::uint32_t>& rest) {
    return patches.embedded(patch, rest);
  };
  try {
    if (only == nullptr || filtered) {
      trianglesTree(op).selfPairs(test, embedded);
    } else {
      BoxTree(verts, op.tris, only).selfPairs(test, embedded);
    }
  } catch (const Intersecting& hit) {
    std::uint32_t f1 = op.triFace[hit.t1], f2 = op.triFace[hit.t2];
    if (f1 > f2) std::swap(f1, f2);
    if (f1 == f2) {
      throw Error::invalidOperand(
          op.name, "self-intersects: face " + std::to_string(f1) + " overlaps itself");
    }
    throw Error::invalidOperand(op.name, "self-intersects: faces " + std::to_string(f1) + " and " +
                                             std::to_string(f2) + " intersect");
  }
}

// Whether triangles a and b (vertex indices into points) meet other than in the vertices and
// the edge they share.
bool meetApart(const std::vector<Vec3>& points, const std::array<int, 3>& a,
               const std::array<int, 3>& b) {
  auto P = [&](int i) { return pt(points[i]); };
  int shared = 0, ia = -1, ib = -1;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (a[i] != b[j]) continue;
      ++shared;
      if (ia < 0) {
        ia = i;
        ib = j;
      } else if ((ia + 1) % 3 != i) {
        // Keep ia as the start of the shared edge in a's winding.
        ia = i;
      }
    }
  }
  if (shared == 3) return true;
  if (shared == 2) {
    // Shared edge a[ia] -> a[ia+1]: they meet only if they fold onto each other.
    int s = -1;
    for (int j = 0; j < 3; ++j) {
      if (b[j] != a[0] && b[j] != a[1] && b[j] != a[2]) s = b[j];
    }
    const Point q0 = P(a[ia]), q1 = P(a[(ia + 1) % 3]), r = P(a[(ia + 2) % 3]), sp = P(s);
    return CGAL::coplanar(q0, q1, r, sp) &&
           CGAL::coplanar_orientation(q0, q1, r, sp) == CGAL::POSITIVE;
  }
  if (shared == 1) {
    // Apart from the shared corner, one lies on one side of the other's plane: they do not
    // meet. (Around a vertex where the surface is convex or saddle-free, nearly every pair.)
    const Point v = P(a[ia]), a1 = P(a[(ia + 1) % 3]), a2 = P(a[(ia + 2) % 3]);
    const Point b1 = P(b[(ib + 1) % 3]), b2 = P(b[(ib + 2) % 3]);
    const CGAL::Orientation o1 = CGAL::orientation(v, a1, a2, b1);
    if (o1 != CGAL::COPLANAR && o1 == CGAL::orientation(v, a1, a2, b2)) return false;
    const CGAL::Orientation o2 = CGAL::orientation(v, b1, b2, a1);
    if (o2 != CGAL::COPLANAR && o2 == CGAL::orientation(v, b1, b2, a2)) return false;
    const K::Triangle_3 ta(P(a[0]), P(a[1]), P(a[2]));
    const K::Triangle_3 tb(P(b[0]), P(b[1]), P(b[2]));
    const K::Segment_3 sa(P(a[(ia + 1) % 3]), P(a[(ia + 2) % 3]));
    const K::Segment_3 sb(P(b[(ib + 1) % 3]), P(b[(ib + 2) % 3]));
    return CGAL::do_intersect(ta, sb) || CGAL::do_intersect(tb, sa);
  }
  return CGAL::do_intersect(K::Triangle_3(P(a[0]), P(a[1]), P(a[2])),
                            K::Triangle_3(P(b[0]), P(b[1]), P(b[2])));
}

bool trianglesMayMeet(const std::array<Vec3, 3>& a, const std::array<Vec3, 3>& b) {
  const K::Triangle_3 ta(pt(a[0]), pt(a[1]), pt(a[2])), tb(pt(b[0]), pt(b[1]), pt(b[2]));
  // CGAL's test requires triangles with area.
  if (ta.is_degenerate() || tb.is_degenerate()) return true;
  return CGAL::do_intersect(ta, tb);
}

void meetingTriangles(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                      const std::vector<std::uint8_t>& fresh,
                      const std::vector<std::uint32_t>& group,
                      const std::function<void(std::size_t, std::size_t)>& hit) {
  PlaneSides planes(points, tris);
  auto test = [&](std::uint32_t t1, std::uint32_t t2) {
    if ((!fresh[t1] && !fresh[t2]) || group[t1] == group[t2]) return;
    if (!planes.apart(t1, t2) && meetApart(points, tris[t1], tris[t2])) hit(t1, t2);
  };
  // Only pairs with a fresh triangle count. Where few are fresh, each fresh triangle is looked
  // up in the tree and the pairs of the others are never walked; where most are, walking every
  // pair of the tree at once is cheaper than a look-up from the top for each.
  if (2 * static_cast<std::size_t>(std::count(fresh.begin(), fresh.end(), 1)) > tris.size()) {
    BoxTree(points, tris).selfPairs(test);
    return;
  }
  auto onlyFresh = [&](std::span<const std::uint32_t> all, std::vector<std::uint32_t>& rest) {
    for (std::size_t p = 0; p < all.size(); ++p) {
      if (fresh[all[p]]) rest.push_back(static_cast<std::uint32_t>(p));
    }
    return true;
  };
  BoxTree(points, tris).selfPairs(test, onlyFresh);
}

}  // namespace geom::csg
