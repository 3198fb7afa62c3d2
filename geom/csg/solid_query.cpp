// Point-in-solid queries by ray casting over a box tree, with exact predicates.
#include "geom/csg/solid_query.h"

#include <CGAL/intersections.h>

#include <algorithm>
#include <cmath>

#include "geom/box_tree.h"
#include "geom/cgal_kernel.h"
#include "geom/error.h"

namespace geom::csg {

using cgal::K;
using cgal::Point;
using cgal::pt;

namespace {

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

// Boxes that a segment may meet: the slab test in double, on each box widened by pad, a
// 1e-10 of the largest coordinate involved, far above the rounding of the test (units in the
// last place of those coordinates), so that no box the exact segment meets is passed over.
struct SegmentReach {
  double a[3], d[3];
  double pad;

  SegmentReach(const Vec3& from, const Vec3& to, double magnitude)
      : a{from.x, from.y, from.z},
        d{to.x - from.x, to.y - from.y, to.z - from.z},
        pad(1e-10 * magnitude) {}

  bool operator()(const BoxTree::Box& b) const {
    double t0 = 0, t1 = 1;
    for (int k = 0; k < 3; ++k) {
      const double lo = b.lo[k] - pad, hi = b.hi[k] + pad;
      if (d[k] == 0) {
        if (a[k] < lo || a[k] > hi) return false;
        continue;
      }
      double u = (lo - a[k]) / d[k], v = (hi - a[k]) / d[k];
      if (u > v) std::swap(u, v);
      t0 = std::max(t0, u);
      t1 = std::min(t1, v);
      if (t0 > t1) return false;
    }
    return true;
  }
};

}  // namespace

// A few queries scan the triangles directly; a tree pays off only after that.
struct SolidQuery::Impl {
  static constexpr int kScans = 8;

  const std::vector<Vec3>* points = nullptr;
  const std::vector<std::array<int, 3>>* tris = nullptr;
  const std::vector<int>* island = nullptr;
  std::string name;
  Vec3 centre;
  double reach = 0;      // longer than any segment inside the surface's box
  double magnitude = 0;  // the largest coordinate of the surface's points
  mutable int queries = 0;
  mutable std::unique_ptr<BoxTree> tree;

  Point corner(std::size_t t, int k) const { return pt((*points)[(*tris)[t][k]]); }

  bool useTree() const {
    if (queries < kScans) {
      ++queries;
      return false;
    }
    if (!tree) tree = std::make_unique<BoxTree>(*points, *tris);
    return true;
  }

  // Calls fn(t) for the triangles whose boxes may meet the segment a -> b (and some more).
  template <class Fn>
  void alongSegment(const Vec3& a, const Vec3& b, Fn&& fn) const {
    if (useTree()) {
      const double m = std::max({magnitude, std::fabs(a.x), std::fabs(a.y), std::fabs(a.z),
                                 std::fabs(b.x), std::fabs(b.y), std::fabs(b.z)});
      tree->query(SegmentReach(a, b, m), fn);
      return;
    }
    scan({std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)},
         {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)}, fn);
  }

  // Calls fn(t) for the triangles whose boxes meet the box lo, hi (and some more).
  template <class Fn>
  void inBox(const Vec3& lo, const Vec3& hi, Fn&& fn) const {
    if (useTree()) {
      // Widened by a unit in the last place of float, as the tree's boxes are float.
      const BoxTree::Box box{
          {std::nextafter(float(lo.x), -INFINITY), std::nextafter(float(lo.y), -INFINITY),
           std::nextafter(float(lo.z), -INFINITY)},
          {std::nextafter(float(hi.x), INFINITY), std::nextafter(float(hi.y), INFINITY),
           std::nextafter(float(hi.z), INFINITY)}};
      tree->query([&](const BoxTree::Box& b) { return b.overlaps(box); }, fn);
      return;
    }
    scan(lo, hi, fn);
  }

  template <class Fn>
  void scan(const Vec3& lo, const Vec3& hi, Fn&& fn) const {
    for (std::size_t t = 0; t < tris->size(); ++t) {
      const Vec3& p = (*points)[(*tris)[t][0]];
      const Vec3& q = (*points)[(*tris)[t][1]];
      const Vec3& r = (*points)[(*tris)[t][2]];
      if (std::max({p.x, q.x, r.x}) < lo.x || std::min({p.x, q.x, r.x}) > hi.x ||
          std::max({p.y, q.y, r.y}) < lo.y || std::min({p.y, q.y, r.y}) > hi.y ||
          std::max({p.z, q.z, r.z}) < lo.z || std::min({p.z, q.z, r.z}) > hi.z) {
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
  impl_->magnitude = std::max({std::fabs(lo.x), std::fabs(lo.y), std::fabs(lo.z), std::fabs(hi.x),
                               std::fabs(hi.y), std::fabs(hi.z)});
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
    int wind = 0;
    bool grazed = false, onSurface = false;
    const Vec3 end{p.x + dir[0] * len, p.y + dir[1] * len, p.z + dir[2] * len};
    const Point b = pt(end);
    im.alongSegment(p, end, [&](std::size_t t) {
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
  im.inBox({p.x - distance, p.y - distance, p.z - distance},
           {p.x + distance, p.y + distance, p.z + distance}, [&](std::size_t t) {
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

}  // namespace geom::csg
