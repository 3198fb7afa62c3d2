#include "geom/solid_check.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>

#include <exception>
#include <iterator>
#include <utility>

namespace geom {

namespace {
using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<K::Point_3>;
namespace PMP = CGAL::Polygon_mesh_processing;
// Whether triangles a and b, which CGAL finds to meet, meet only in corners they share by
// position: a surface that passes twice through a vertex or an edge (solids touching there)
// has its corners split apart there to make a halfedge mesh, and CGAL then takes the copies'
// triangles for meeting ones.
bool onlyTouch(const std::array<K::Point_3, 3>& a, const std::array<K::Point_3, 3>& b) {
  int shared = 0, ia = -1, ib = -1;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (a[i] != b[j]) continue;
      ++shared;
      if (ia < 0 || (ia + 1) % 3 != i) {
        ia = i;
        ib = j;
      }
    }
  }
  if (shared == 2) {
    // Along a shared edge they meet elsewhere only when folded onto each other in one plane.
    const K::Point_3& q0 = a[ia];
    const K::Point_3& q1 = a[(ia + 1) % 3];
    const K::Point_3& r = a[(ia + 2) % 3];
    for (const K::Point_3& s : b) {
      if (s == q0 || s == q1) continue;
      return !(CGAL::coplanar(q0, q1, r, s) &&
               CGAL::coplanar_orientation(q0, q1, r, s) == CGAL::POSITIVE);
    }
  }
  if (shared != 1) return false;
  // At a shared corner: they meet elsewhere when an opposite edge of one meets the other.
  const K::Triangle_3 ta(a[0], a[1], a[2]), tb(b[0], b[1], b[2]);
  const K::Segment_3 sa(a[(ia + 1) % 3], a[(ia + 2) % 3]), sb(b[(ib + 1) % 3], b[(ib + 2) % 3]);
  return !CGAL::do_intersect(ta, sb) && !CGAL::do_intersect(tb, sa);
}

}  // namespace

SolidVerdict checkPublishedSolid(std::span<const std::array<float, 3>> points,
                                 const std::vector<std::vector<int>>& polygons) {
  SolidVerdict v;
  v.faces = polygons.size();
  std::vector<K::Point_3> pts;
  pts.reserve(points.size());
  for (const auto& p : points) pts.emplace_back(p[0], p[1], p[2]);
  std::vector<std::vector<std::size_t>> polys;
  polys.reserve(polygons.size());
  for (const auto& poly : polygons) {
    std::vector<std::size_t> idx;
    for (int i : poly) {
      if (i < 0 || static_cast<std::size_t>(i) >= pts.size()) {
        v.problem = "index out of range";
        return v;
      }
      idx.push_back(static_cast<std::size_t>(i));
    }
    polys.push_back(std::move(idx));
  }
  if (!PMP::is_polygon_soup_a_polygon_mesh(polys)) {
    // Where the surface touches itself, CGAL gives the vertices there one copy per sheet; a
    // polygon it has to turn round means the mesh was not consistently oriented.
    const std::vector<std::vector<std::size_t>> given = polys;
    PMP::orient_polygon_soup(pts, polys);
    bool turned = polys.size() != given.size();
    for (std::size_t f = 0; f < polys.size() && !turned; ++f) {
      const std::vector<std::size_t>& g = given[f];
      const std::vector<std::size_t>& o = polys[f];
      const std::size_t n = g.size();
      if (o.size() != n) {
        turned = true;
        break;
      }
      // Same corners in the same cyclic order, by position (copies stand at their vertex).
      std::size_t start = 0;
      while (start < n && pts[o[start]] != pts[g[0]]) ++start;
      for (std::size_t k = 0; k < n && !turned; ++k) turned = pts[o[(start + k) % n]] != pts[g[k]];
    }
    if (turned || !PMP::is_polygon_soup_a_polygon_mesh(polys)) {
      v.problem = "not a polygon mesh (non-manifold or inconsistently oriented)";
      return v;
    }
    v.touchesItself = true;
  }
  Mesh mesh;
  try {
    PMP::polygon_soup_to_polygon_mesh(pts, polys, mesh);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    v.problem = std::string("CGAL could not build the mesh: ") + e.what();
    return v;
  }
  v.polygonMesh = true;
  v.closed = CGAL::is_closed(mesh);
  // An open surface is still checked for crossings: the engine takes open operands.
  if (!v.closed) v.problem = "open";
  try {
    if (!PMP::triangulate_faces(mesh)) {
      v.problem = "CGAL could not triangulate a face";
      return v;
    }
    std::vector<std::pair<Mesh::Face_index, Mesh::Face_index>> pairs;
    PMP::self_intersections(mesh, std::back_inserter(pairs));
    if (v.touchesItself) {
      auto corners = [&](Mesh::Face_index f) {
        std::array<K::Point_3, 3> t;
        int k = 0;
        for (const auto u : CGAL::vertices_around_face(mesh.halfedge(f), mesh)) {
          if (k < 3) t[k] = mesh.point(u);
          ++k;
        }
        return t;
      };
      std::erase_if(pairs, [&](const auto& p) {
        return p.first != p.second && onlyTouch(corners(p.first), corners(p.second));
      });
    }
    v.selfIntersects = !pairs.empty();
    std::size_t degenerate = 0;
    for (const auto& p : pairs) degenerate += p.first == p.second;
    if (v.selfIntersects) {
      v.problem = std::string(v.closed ? "" : "open, ") +
                  "self-intersects: " + std::to_string(pairs.size() - degenerate) +
                  " pairs of triangles cross, " + std::to_string(degenerate) +
                  " triangles have no area";
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    v.problem = std::string("CGAL failed: ") + e.what();
    return v;
  }
  return v;
}

}  // namespace geom
