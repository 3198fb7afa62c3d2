// Point-in-solid queries by ray casting over CGAL's AABB tree, with exact predicates.
#include "geom/csg/solid_query.h"

#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/AABB_triangle_primitive.h>
#include <CGAL/intersections.h>

#include <algorithm>

#include "geom/cgal_kernel.h"
#include "geom/error.h"

namespace geom::csg {

using cgal::K;
using cgal::Point;
using cgal::pt;

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

}  // namespace geom::csg
