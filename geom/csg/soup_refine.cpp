// Exact constructions (CGAL's lazy exact kernel) and a constrained Delaunay triangulation per
// cut triangle; a translation unit of its own because of what those headers cost to compile.
#include "geom/csg/soup_refine.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>
#include <CGAL/intersections.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <new>
#include <string>
#include <utility>

#include "geom/box_tree.h"
#include "geom/csg/self_intersection.h"
#include "geom/error.h"
#include "geom/predicates.h"

namespace geom::csg {

namespace {

using E = CGAL::Exact_predicates_exact_constructions_kernel;
using EPoint = E::Point_3;
// Per vertex of a triangulation: which of the inserted 3D points it is (none where the
// triangulation made it, where two cuts cross).
struct Slot {
  int at = -1;
};
using Vb = CGAL::Triangulation_vertex_base_with_info_2<Slot, E>;
using Fb = CGAL::Constrained_triangulation_face_base_2<E>;
using Tds = CGAL::Triangulation_data_structure_2<Vb, Fb>;
using Cdt = CGAL::Constrained_Delaunay_triangulation_2<E, Tds, CGAL::Exact_intersections_tag>;

EPoint exactPoint(const Vec3& v) {
  return EPoint(v.x, v.y, v.z);
}

// What other triangles cut out of one: points and segments, all lying in it.
struct Cuts {
  std::vector<EPoint> points;
  std::vector<std::pair<EPoint, EPoint>> segments;
};

void addIntersection(const E::Triangle_3& a, const E::Triangle_3& b, Cuts& ca, Cuts& cb) {
  const auto hit = CGAL::intersection(a, b);
  if (!hit) return;
  auto both = [&](const EPoint& p, const EPoint& q) {
    ca.segments.emplace_back(p, q);
    cb.segments.emplace_back(p, q);
  };
  if (const EPoint* p = boost::get<EPoint>(&*hit)) {
    ca.points.push_back(*p);
    cb.points.push_back(*p);
  } else if (const E::Segment_3* s = boost::get<E::Segment_3>(&*hit)) {
    both(s->source(), s->target());
  } else if (const E::Triangle_3* t = boost::get<E::Triangle_3>(&*hit)) {
    for (int k = 0; k < 3; ++k) both(t->vertex(k), t->vertex(k + 1));
  } else if (const auto* poly = boost::get<std::vector<EPoint>>(&*hit)) {
    for (std::size_t k = 0; k < poly->size(); ++k) {
      both((*poly)[k], (*poly)[(k + 1) % poly->size()]);
    }
  }
}

// Rounds exact points to double the same way wherever they were constructed (from the exact
// value, not from whichever interval a construction carried), and numbers the positions.
class Positions {
 public:
  explicit Positions(const std::vector<Vec3>& input) : points_(input) {
    for (std::size_t v = 0; v < input.size(); ++v) {
      at_.emplace(key(input[v]), static_cast<int>(v));
    }
  }
  int of(const Vec3& p) {
    const auto [it, fresh] = at_.emplace(key(p), static_cast<int>(points_.size()));
    if (fresh) points_.push_back(p);
    return it->second;
  }
  int of(const EPoint& p) {
    return of(Vec3{CGAL::to_double(CGAL::exact(p.x())), CGAL::to_double(CGAL::exact(p.y())),
                   CGAL::to_double(CGAL::exact(p.z()))});
  }
  std::vector<Vec3> release() { return std::move(points_); }

 private:
  static std::array<double, 3> key(const Vec3& p) { return {p.x, p.y, p.z}; }
  std::vector<Vec3> points_;
  std::map<std::array<double, 3>, int> at_;
};

// The triangle (a, b, c) cut along cuts: a constrained triangulation in its projection along the
// axis its normal is longest on, lifted back onto its plane. Appends the pieces, wound as the
// triangle, over positions.
void cutTriangle(const std::array<Vec3, 3>& corner, const Cuts& cuts, Positions& positions,
                 std::vector<std::array<int, 3>>& out) {
  const Vec3 n = cross(corner[1] - corner[0], corner[2] - corner[0]);
  const double an[3] = {std::fabs(n.x), std::fabs(n.y), std::fabs(n.z)};
  const int k = an[0] >= an[1] && an[0] >= an[2] ? 0 : (an[1] >= an[2] ? 1 : 2);
  const int i = (k + 1) % 3, j = (k + 2) % 3;
  const EPoint a = exactPoint(corner[0]), b = exactPoint(corner[1]), c = exactPoint(corner[2]);
  const E::Vector_3 normal = CGAL::cross_product(b - a, c - a);
  if (normal[k] == 0) throw Error::failure("a cut triangle has no area in its projection");
  std::vector<EPoint> lifted;  // per vertex info: the 3D point
  Cdt cdt;
  auto insert = [&](const EPoint& p) {
    const Cdt::Vertex_handle h = cdt.insert(E::Point_2(p[i], p[j]));
    if (h->info().at < 0) {
      h->info().at = static_cast<int>(lifted.size());
      lifted.push_back(p);
    }
    return h;
  };
  const Cdt::Vertex_handle va = insert(a), vb = insert(b), vc = insert(c);
  for (const EPoint& p : cuts.points) insert(p);
  std::vector<std::pair<Cdt::Vertex_handle, Cdt::Vertex_handle>> constraints{
      {va, vb}, {vb, vc}, {vc, va}};
  for (const auto& [p, q] : cuts.segments) constraints.emplace_back(insert(p), insert(q));
  for (const auto& [p, q] : constraints) {
    if (p != q) cdt.insert_constraint(p, q);
  }
  const bool reversed = CGAL::orientation(E::Point_2(a[i], a[j]), E::Point_2(b[i], b[j]),
                                          E::Point_2(c[i], c[j])) == CGAL::CLOCKWISE;
  std::map<Cdt::Vertex_handle, int> index;
  auto indexOf = [&](Cdt::Vertex_handle h) {
    const auto found = index.find(h);
    if (found != index.end()) return found->second;
    EPoint p;
    if (h->info().at >= 0) {
      p = lifted[h->info().at];
    } else {
      // Where two cuts cross: the point of the plane over the crossing.
      const E::FT u = h->point().x(), v = h->point().y();
      const E::FT w = a[k] - (normal[i] * (u - a[i]) + normal[j] * (v - a[j])) / normal[k];
      E::FT xyz[3];
      xyz[i] = u;
      xyz[j] = v;
      xyz[k] = w;
      p = EPoint(xyz[0], xyz[1], xyz[2]);
    }
    const int v = positions.of(p);
    index.emplace(h, v);
    return v;
  };
  for (auto f = cdt.finite_faces_begin(); f != cdt.finite_faces_end(); ++f) {
    std::array<int, 3> t{indexOf(f->vertex(0)), indexOf(f->vertex(1)), indexOf(f->vertex(2))};
    if (reversed) std::swap(t[1], t[2]);
    out.push_back(t);
  }
}

// Where input triangles overlapped, their pieces over the overlap lie on each other, over the
// same vertices. Pieces wound against each other cancel (their winding numbers sum to nothing):
// as many go as can be paired. Of the rest, one stays: the surface there is one sheet.
void dropCoveredTwice(RefinedSoup& r) {
  std::map<std::array<int, 3>, std::vector<std::size_t>> over;  // sorted corners -> pieces
  for (std::size_t t = 0; t < r.tris.size(); ++t) {
    std::array<int, 3> key = r.tris[t];
    std::sort(key.begin(), key.end());
    over[key].push_back(t);
  }
  std::vector<std::uint8_t> drop(r.tris.size(), 0);
  bool any = false;
  for (const auto& [key, pieces] : over) {
    if (pieces.size() < 2) continue;
    any = true;
    // A piece is wound as key when its corners are an even rotation of key's.
    std::vector<std::size_t> with, against;
    for (const std::size_t t : pieces) {
      const auto& c = r.tris[t];
      const bool even = (c[0] == key[0] && c[1] == key[1]) || (c[1] == key[0] && c[2] == key[1]) ||
                        (c[2] == key[0] && c[0] == key[1]);
      (even ? with : against).push_back(t);
    }
    const std::size_t pairs = std::min(with.size(), against.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) drop[pieces[k]] = 1;
    const std::vector<std::size_t>& rest = with.size() > against.size() ? with : against;
    if (rest.size() > pairs) drop[rest[pairs]] = 0;
  }
  if (!any) return;
  std::size_t kept = 0;
  for (std::size_t t = 0; t < r.tris.size(); ++t) {
    if (drop[t]) continue;
    r.tris[kept] = r.tris[t];
    r.sourceTri[kept++] = r.sourceTri[t];
  }
  r.tris.resize(kept);
  r.sourceTri.resize(kept);
}

}  // namespace

RefinedSoup refineSoup(const std::vector<Vec3>& points,
                       const std::vector<std::array<int, 3>>& tris) {
  try {
    std::vector<Cuts> cuts(tris.size());
    auto triangle = [&](std::size_t t) {
      return E::Triangle_3(exactPoint(points[tris[t][0]]), exactPoint(points[tris[t][1]]),
                           exactPoint(points[tris[t][2]]));
    };
    BoxTree(points, tris).selfPairs([&](std::uint32_t t1, std::uint32_t t2) {
      if (!meetApart(points, tris[t1], tris[t2])) return;
      addIntersection(triangle(t1), triangle(t2), cuts[t1], cuts[t2]);
    });
    RefinedSoup r;
    Positions positions(points);
    std::vector<std::array<int, 3>> pieces;
    for (std::size_t t = 0; t < tris.size(); ++t) {
      const std::array<Vec3, 3> corner{points[tris[t][0]], points[tris[t][1]], points[tris[t][2]]};
      pieces.clear();
      if (cuts[t].points.empty() && cuts[t].segments.empty()) {
        pieces.push_back(
            {positions.of(corner[0]), positions.of(corner[1]), positions.of(corner[2])});
      } else {
        cutTriangle(corner, cuts[t], positions, pieces);
      }
      for (const auto& p : pieces) {
        r.tris.push_back(p);
        r.sourceTri.push_back(static_cast<std::uint32_t>(t));
      }
    }
    r.points = positions.release();
    // Rounded, a thin piece may have lost its area.
    std::size_t kept = 0;
    for (std::size_t t = 0; t < r.tris.size(); ++t) {
      const auto& c = r.tris[t];
      if (collinear(r.points[c[0]], r.points[c[1]], r.points[c[2]])) continue;
      r.tris[kept] = c;
      r.sourceTri[kept++] = r.sourceTri[t];
    }
    r.tris.resize(kept);
    r.sourceTri.resize(kept);
    dropCoveredTwice(r);
    return r;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const Error&) {
    throw;
  } catch (const std::exception& e) {
    throw Error::failure(std::string("cutting triangles along their crossings failed: ") +
                         e.what());
  }
}

}  // namespace geom::csg
