// Exact predicates, the self-intersection test and point-in-solid queries, on CGAL's filtered
// kernel and box intersection. The second of the two translation units that include CGAL.
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/AABB_triangle_primitive.h>
#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/convex_hull_3.h>
#include <CGAL/intersections.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "geom/box_tree.h"
#include "geom/convex_hull.h"
#include "geom/csg_corefine.h"
#include "geom/error.h"
#include "geom/predicates.h"

namespace geom {

namespace {

using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = K::Point_3;

inline Point pt(const Vec3& v) {
  return Point(v.x, v.y, v.z);
}

int sign(CGAL::Orientation o) {
  return o == CGAL::POSITIVE ? 1 : (o == CGAL::NEGATIVE ? -1 : 0);
}

}  // namespace

int orient2d(double ax, double ay, double bx, double by, double cx, double cy) {
  return sign(CGAL::orientation(K::Point_2(ax, ay), K::Point_2(bx, by), K::Point_2(cx, cy)));
}

int orient3d(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d) {
  return sign(CGAL::orientation(pt(a), pt(b), pt(c), pt(d)));
}

bool collinear(const Vec3& a, const Vec3& b, const Vec3& c) {
  return CGAL::collinear(pt(a), pt(b), pt(c));
}

bool convexHull(std::span<const Vec3> points, std::vector<Vec3>& corners,
                std::vector<std::array<int, 3>>& triangles) {
  corners.clear();
  triangles.clear();
  // Exact constructions: the quickhull builds the planes of its faces, and on the nearly flat
  // point sets this is for, planes rounded to double give inconsistent answers (and crashes).
  using EK = CGAL::Exact_predicates_exact_constructions_kernel;
  std::vector<EK::Point_3> in;
  in.reserve(points.size());
  for (const Vec3& p : points) in.emplace_back(p.x, p.y, p.z);
  // The hull needs four points off one plane; CGAL would return a lower-dimensional object.
  std::size_t i1 = 1, i2 = 0, i3 = 0;
  while (i1 < in.size() && in[i1] == in[0]) ++i1;
  for (i2 = i1 + 1; i2 < in.size() && CGAL::collinear(in[0], in[i1], in[i2]); ++i2) {
  }
  for (i3 = i2 + 1; i3 < in.size() && CGAL::coplanar(in[0], in[i1], in[i2], in[i3]); ++i3) {
  }
  if (i3 >= in.size()) return false;
  std::vector<EK::Point_3> hullPoints;
  std::vector<std::array<std::size_t, 3>> hullFaces;
  CGAL::convex_hull_3(in.begin(), in.end(), hullPoints, hullFaces);
  corners.reserve(hullPoints.size());
  // Hull corners are input points, so converting them back is exact.
  for (const EK::Point_3& p : hullPoints) {
    corners.push_back({CGAL::to_double(p.x()), CGAL::to_double(p.y()), CGAL::to_double(p.z())});
  }
  triangles.reserve(hullFaces.size());
  for (const auto& f : hullFaces) {
    triangles.push_back({static_cast<int>(f[0]), static_cast<int>(f[1]), static_cast<int>(f[2])});
  }
  return true;
}

namespace csg {

namespace {

// Calls test(t1, t2) for each pair of triangles whose bounding boxes overlap (boxes in float,
// rounded outwards, so no pair that meets is missed).
template <typename Test>
void forOverlappingBoxes(const std::vector<Vec3>& points,
                         const std::vector<std::array<int, 3>>& tris, Test test) {
  BoxTree(points, tris).selfPairs(test);
}

struct Intersecting {
  std::uint32_t t1, t2;
};

// Marks the vertices whose fan of triangles projects one-to-one onto a plane: seen along the
// sum of its face normals every triangle turns the same way and the angles at the vertex add
// up to one full turn. Two triangles of such a fan meet only in what they share, which lets
// the sweep skip almost every pair of neighbouring triangles. The margins only ever send a
// doubtful fan to the exact tests.
std::vector<std::uint8_t> flatFans(const TriangulatedOperand& op) {
  const std::vector<Vec3>& p = op.mesh->vertices();
  const std::size_t nh = op.tris.size() * 3;
  std::vector<std::uint8_t> flat(p.size(), 0), seen(p.size(), 0);
  std::vector<std::size_t> fan;
  for (std::size_t h = 0; h < nh; ++h) {
    const int v = op.tris[h / 3][h % 3];
    if (seen[v]) continue;
    seen[v] = 1;
    fan.clear();
    std::size_t cur = h;
    bool ring = true;
    do {
      fan.push_back(cur);
      const int next = op.opposite[cur - cur % 3 + (cur % 3 + 2) % 3];
      if (next < 0) {
        ring = false;  // a border vertex: its faces go to the exact tests
        break;
      }
      cur = static_cast<std::size_t>(next);
    } while (cur != h && fan.size() <= nh);
    if (!ring) continue;
    Vec3 n;
    for (std::size_t e : fan) {
      const auto& t = op.tris[e / 3];
      n = n + cross(p[t[(e % 3 + 1) % 3]] - p[v], p[t[(e % 3 + 2) % 3]] - p[v]);
    }
    const double ln = length(n);
    if (!(ln > 0)) continue;
    n = n * (1.0 / ln);
    double turn = 0;
    bool ok = true;
    for (std::size_t e : fan) {
      const auto& t = op.tris[e / 3];
      Vec3 a = p[t[(e % 3 + 1) % 3]] - p[v], b = p[t[(e % 3 + 2) % 3]] - p[v];
      a = a - n * dot(a, n);
      b = b - n * dot(b, n);
      const double s = dot(cross(a, b), n), c = dot(a, b);
      if (!(s > 1e-9 * length(a) * length(b))) {
        ok = false;
        break;
      }
      turn += std::atan2(s, c);
    }
    if (ok && std::fabs(turn - 2 * M_PI) < 1e-6) flat[v] = 1;
  }
  return flat;
}

// True when triangles t1 and t2 of op meet other than in their shared edge or vertex; the same
// case analysis as CGAL's own self-intersection test.
bool meet(const TriangulatedOperand& op, const std::vector<Vec3>& v, std::uint32_t t1,
          std::uint32_t t2) {
  const auto& a = op.tris[t1];
  const auto& b = op.tris[t2];
  auto P = [&](int i) { return pt(v[i]); };
  for (int k = 0; k < 3; ++k) {
    const int o = op.opposite[3 * t1 + k];
    if (o < 0 || static_cast<std::uint32_t>(o / 3) != t2) continue;
    // Shared edge a[k] -> a[k+1]: they meet only if they fold onto each other.
    const Point s = P(b[(o % 3 + 2) % 3]);
    const Point q0 = P(a[k]), q1 = P(a[(k + 1) % 3]), r = P(a[(k + 2) % 3]);
    return CGAL::coplanar(q0, q1, r, s) &&
           CGAL::coplanar_orientation(q0, q1, r, s) == CGAL::POSITIVE;
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (a[i] != b[j]) continue;
      const K::Triangle_3 ta(P(a[0]), P(a[1]), P(a[2]));
      const K::Triangle_3 tb(P(b[0]), P(b[1]), P(b[2]));
      const K::Segment_3 sa(P(a[(i + 1) % 3]), P(a[(i + 2) % 3]));
      const K::Segment_3 sb(P(b[(j + 1) % 3]), P(b[(j + 2) % 3]));
      return CGAL::do_intersect(ta, sb) || CGAL::do_intersect(tb, sa);
    }
  }
  return CGAL::do_intersect(K::Triangle_3(P(a[0]), P(a[1]), P(a[2])),
                            K::Triangle_3(P(b[0]), P(b[1]), P(b[2])));
}

}  // namespace

void checkSelfIntersections(const TriangulatedOperand& op, const std::vector<std::uint8_t>* only) {
  const std::vector<Vec3>& verts = op.mesh->vertices();
  const std::vector<std::uint8_t> flat = flatFans(op);
  const std::vector<int>& same = op.sameVertex;
  auto test = [&](std::uint32_t t1, std::uint32_t t2) {
    const auto& a = op.tris[t1];
    const auto& b = op.tris[t2];
    bool touching = false;  // at a vertex split where the surface touches itself
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        if (a[i] == b[j] && flat[a[i]]) return;
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
    if (meet(op, verts, t1, t2)) throw Intersecting{t1, t2};
  };
  try {
    if (only == nullptr) {
      trianglesTree(op).selfPairs(test);
    } else {
      BoxTree(verts, op.tris, only).selfPairs(test);
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

void meetingTriangles(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                      const std::vector<std::uint8_t>& fresh,
                      const std::vector<std::uint32_t>& group,
                      const std::function<void(std::size_t, std::size_t)>& hit) {
  auto test = [&](std::uint32_t t1, std::uint32_t t2) {
    if ((!fresh[t1] && !fresh[t2]) || group[t1] == group[t2]) return;
    if (meetApart(points, tris[t1], tris[t2])) hit(t1, t2);
  };
  forOverlappingBoxes(points, tris, test);
}

namespace {

using Triangles = std::vector<K::Triangle_3>;
using Primitive = CGAL::AABB_triangle_primitive<K, Triangles::const_iterator>;
using Tree = CGAL::AABB_tree<CGAL::AABB_traits<K, Primitive>>;

// Ray directions with no simple relation to the axes or to each other, so that a ray that
// grazes an edge of one mesh is unlikely to graze again in the next direction.
constexpr double kDirections[][3] = {
    {0.5773502691896258, 0.6123724356957945, 0.5400617248673217},
    {-0.3826834323650898, 0.8240453183331937, 0.4178554470186725},
    {0.7071067811865475, -0.3090169943749474, 0.6360098247397296},
    {-0.6560590289905073, -0.5877852522924731, 0.4733467213636514},
    {0.2588190451025208, 0.3420201433256687, -0.9033447780969473},
    {-0.8660254037844386, 0.1736481776669303, -0.4688835677958052},
    {0.1218693434051475, -0.9702957262759965, -0.2090569265353068},
    {0.9335804264972017, 0.2079116908177593, -0.2918760006221716},
};

// What a ray segment a -> b does at one triangle.
enum class Crossing { NONE, OUT_OF, INTO, GRAZES, FROM_SURFACE };

Crossing crossing(const Point& a, const Point& b, const Point& p, const Point& q, const Point& r) {
  const CGAL::Orientation sa = CGAL::orientation(p, q, r, a);
  const CGAL::Orientation sb = CGAL::orientation(p, q, r, b);
  if (sa == CGAL::COPLANAR && sb == CGAL::COPLANAR) {
    // A triangle without area (the corefined coordinates are rounded) bounds nothing.
    return CGAL::collinear(p, q, r) ? Crossing::NONE : Crossing::GRAZES;
  }
  if (sa == CGAL::COPLANAR) {
    return !CGAL::collinear(p, q, r) && K::Triangle_3(p, q, r).has_on(a) ? Crossing::FROM_SURFACE
                                                                         : Crossing::NONE;
  }
  if (sb == CGAL::COPLANAR) return Crossing::GRAZES;
  if (sa == sb) return Crossing::NONE;
  const CGAL::Orientation o1 = CGAL::orientation(a, b, p, q);
  const CGAL::Orientation o2 = CGAL::orientation(a, b, q, r);
  const CGAL::Orientation o3 = CGAL::orientation(a, b, r, p);
  const bool pos = o1 == CGAL::POSITIVE || o2 == CGAL::POSITIVE || o3 == CGAL::POSITIVE;
  const bool neg = o1 == CGAL::NEGATIVE || o2 == CGAL::NEGATIVE || o3 == CGAL::NEGATIVE;
  if (pos && neg) return Crossing::NONE;
  if (o1 == CGAL::COPLANAR || o2 == CGAL::COPLANAR || o3 == CGAL::COPLANAR) return Crossing::GRAZES;
  return sa == CGAL::NEGATIVE ? Crossing::OUT_OF : Crossing::INTO;
}

}  // namespace

// A few queries scan the triangles directly; a tree pays off only after that.
struct SolidQuery::Impl {
  static constexpr int kScans = 8;

  const std::vector<Vec3>* points = nullptr;
  const std::vector<std::array<int, 3>>* tris = nullptr;
  const std::vector<int>* island = nullptr;
  std::string name;
  Vec3 centre;
  double reach = 0;  // longer than any segment inside the surface's box
  mutable int queries = 0;
  mutable Triangles triangles;
  mutable Tree tree;

  Point corner(std::size_t t, int k) const { return pt((*points)[(*tris)[t][k]]); }

  bool useTree() const {
    if (queries < kScans) {
      ++queries;
      return false;
    }
    if (triangles.empty()) {
      triangles.reserve(tris->size());
      for (std::size_t t = 0; t < tris->size(); ++t) {
        triangles.emplace_back(corner(t, 0), corner(t, 1), corner(t, 2));
      }
      tree.rebuild(triangles.begin(), triangles.end());
    }
    return true;
  }

  // Calls fn(t) for the triangles whose boxes meet the query box.
  template <class Query, class Fn>
  void candidates(const Query& query, Fn&& fn) const {
    if (useTree()) {
      std::vector<Tree::Primitive_id> hits;
      tree.all_intersected_primitives(query, std::back_inserter(hits));
      for (const auto& id : hits) fn(static_cast<std::size_t>(id - triangles.begin()));
      return;
    }
    const CGAL::Bbox_3 qb = query.bbox();
    for (std::size_t t = 0; t < tris->size(); ++t) {
      const Vec3& p = (*points)[(*tris)[t][0]];
      const Vec3& q = (*points)[(*tris)[t][1]];
      const Vec3& r = (*points)[(*tris)[t][2]];
      if (std::max({p.x, q.x, r.x}) < qb.xmin() || std::min({p.x, q.x, r.x}) > qb.xmax() ||
          std::max({p.y, q.y, r.y}) < qb.ymin() || std::min({p.y, q.y, r.y}) > qb.ymax() ||
          std::max({p.z, q.z, r.z}) < qb.zmin() || std::min({p.z, q.z, r.z}) > qb.zmax()) {
        continue;
      }
      fn(t);
    }
  }
};

SolidQuery::SolidQuery(const std::vector<Vec3>& points, const std::vector<std::array<int, 3>>& tris,
                       const std::vector<int>* island, const std::string& name)
    : impl_(std::make_unique<Impl>()) {
  impl_->points = &points;
  impl_->tris = &tris;
  impl_->island = island;
  impl_->name = name;
  Vec3 lo, hi;
  if (!tris.empty()) lo = hi = points[tris[0][0]];
  for (const auto& t : tris) {
    for (int v : t) {
      const Vec3& p = points[v];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  }
  impl_->centre = (lo + hi) * 0.5;
  impl_->reach = 4.0 * (length(hi - lo) + 1.0);
}

SolidQuery::~SolidQuery() = default;

// Counts the signed crossings of rays from p, in the first direction that grazes nothing, over
// the triangles skip does not exclude; only directions along which `toward` holds are tried.
template <class Skip, class Toward>
int castRays(const SolidQuery::Impl& im, const Vec3& p, Skip skip, Toward toward) {
  const Point a = pt(p);
  const double len = im.reach + length(p - im.centre);
  for (const auto& dir : kDirections) {
    if (!toward(dir)) continue;
    const Point b(p.x + dir[0] * len, p.y + dir[1] * len, p.z + dir[2] * len);
    int wind = 0;
    bool grazed = false, onSurface = false;
    im.candidates(K::Segment_3(a, b), [&](std::size_t t) {
      if (grazed || onSurface || skip(t)) return;
      switch (crossing(a, b, im.corner(t, 0), im.corner(t, 1), im.corner(t, 2))) {
        case Crossing::OUT_OF:
          ++wind;
          break;  // leaving through the outward side
        case Crossing::INTO:
          --wind;
          break;
        case Crossing::GRAZES:
          grazed = true;
          break;
        case Crossing::FROM_SURFACE:
          onSurface = true;
          break;
        case Crossing::NONE:
          break;
      }
    });
    if (onSurface) return SolidQuery::kOnSurface;
    if (!grazed) return wind;
  }
  throw Error::failure(im.name +
                       ": no ray from a test point avoids the edges and vertices of the mesh");
}

int SolidQuery::winding(const Vec3& p, int skipIsland) const {
  const Impl& im = *impl_;
  if (im.tris->empty()) return 0;
  return castRays(
      im, p,
      [&](std::size_t t) {
        return skipIsland >= 0 && im.island != nullptr && (*im.island)[t] == skipIsland;
      },
      [](const double*) { return true; });
}

int SolidQuery::windingInFront(const Vec3& p, std::size_t triangle) const {
  const Impl& im = *impl_;
  const auto& tri = (*im.tris)[triangle];
  const std::vector<Vec3>& pts = *im.points;
  const Vec3 n = cross(pts[tri[1]] - pts[tri[0]], pts[tri[2]] - pts[tri[0]]);
  const double ln = length(n);
  // Well into the front half: a ray almost in the triangle's plane would start on its far side
  // for a p rounded off it.
  return castRays(
      im, p, [&](std::size_t t) { return t == triangle; },
      [&](const double* d) { return d[0] * n.x + d[1] * n.y + d[2] * n.z > 0.2 * ln; });
}

bool SolidQuery::within(const Vec3& p, double distance) const {
  const Impl& im = *impl_;
  const Point c = pt(p);
  const double d2 = distance * distance;
  bool hit = false;
  const K::Iso_cuboid_3 around(Point(p.x - distance, p.y - distance, p.z - distance),
                               Point(p.x + distance, p.y + distance, p.z + distance));
  im.candidates(around, [&](std::size_t t) {
    if (hit) return;
    const Point q = im.corner(t, 0), r = im.corner(t, 1), s = im.corner(t, 2);
    const double sq = CGAL::collinear(q, r, s)
                          ? std::min({CGAL::squared_distance(c, K::Segment_3(q, r)),
                                      CGAL::squared_distance(c, K::Segment_3(r, s)),
                                      CGAL::squared_distance(c, K::Segment_3(s, q))})
                          : CGAL::squared_distance(c, K::Triangle_3(q, r, s));
    hit = sq <= d2;
  });
  return hit;
}

namespace {
using EK = CGAL::Exact_predicates_exact_constructions_kernel;
}

struct ExactPoints::Impl {
  const Corefinement* cf;
  const Polyhedron* meshes[2];
  mutable std::vector<std::optional<EK::Point_3>> nodes;

  EK::Point_3 input(int mesh, int v) const {
    const Vec3& p = meshes[mesh]->vertices()[v];
    return EK::Point_3(p.x, p.y, p.z);
  }

  EK::Point_3 node(int id, const Vec3& rounded) const {
    std::optional<EK::Point_3>& slot = nodes[id];
    if (slot) return *slot;
    const NodeOrigin& o = cf->nodes[id];
    const int other = 1 - o.mesh;
    if (o.kind == NodeOrigin::VERTEX) {
      slot = input(o.mesh, o.a[0]);
    } else {
      const EK::Line_3 edge(input(o.mesh, o.a[0]), input(o.mesh, o.a[1]));
      if (o.kind == NodeOrigin::EDGE_FACE) {
        const EK::Plane_3 plane(input(other, o.b[0]), input(other, o.b[1]), input(other, o.b[2]));
        if (const auto hit = CGAL::intersection(edge, plane)) {
          if (const EK::Point_3* q = boost::get<EK::Point_3>(&*hit)) slot = *q;
        }
      } else {
        const EK::Line_3 second(input(other, o.b[0]), input(other, o.b[1]));
        if (const auto hit = CGAL::intersection(edge, second)) {
          if (const EK::Point_3* q = boost::get<EK::Point_3>(&*hit)) slot = *q;
        }
      }
      // Only a primitive CGAL itself found degenerate lands here; its rounding is the best left.
      if (!slot) slot = EK::Point_3(rounded.x, rounded.y, rounded.z);
    }
    return *slot;
  }

  EK::Point_3 at(Ref r) const {
    const CorefinedMesh& m = cf->mesh[r.mesh];
    const int id = m.node[r.vertex];
    if (id >= 0) return node(id, m.points[r.vertex]);
    return input(r.mesh, m.original[r.vertex]);
  }
};

ExactPoints::ExactPoints(const Corefinement& cf, const Polyhedron& a, const Polyhedron& b)
    : impl_(std::make_unique<Impl>()) {
  impl_->cf = &cf;
  impl_->meshes[0] = &a;
  impl_->meshes[1] = &b;
  impl_->nodes.resize(cf.nodeCount);
}

ExactPoints::~ExactPoints() = default;

int ExactPoints::orient(Ref p, Ref q, Ref r, Ref s) const {
  return sign(CGAL::orientation(impl_->at(p), impl_->at(q), impl_->at(r), impl_->at(s)));
}

}  // namespace csg
}  // namespace geom
