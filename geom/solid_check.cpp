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
    v.problem = "not a polygon mesh (non-manifold or inconsistently oriented)";
    return v;
  }
  Mesh mesh;
  try {
    PMP::polygon_soup_to_polygon_mesh(pts, polys, mesh);
  } catch (const std::exception& e) {
    v.problem = std::string("CGAL could not build the mesh: ") + e.what();
    return v;
  }
  v.polygonMesh = true;
  v.closed = CGAL::is_closed(mesh);
  if (!v.closed) {
    v.problem = "open";
    return v;
  }
  try {
    if (!PMP::triangulate_faces(mesh)) {
      v.problem = "CGAL could not triangulate a face";
      return v;
    }
    std::vector<std::pair<Mesh::Face_index, Mesh::Face_index>> pairs;
    PMP::self_intersections(mesh, std::back_inserter(pairs));
    v.selfIntersects = !pairs.empty();
    std::size_t degenerate = 0;
    for (const auto& p : pairs) degenerate += p.first == p.second;
    if (v.selfIntersects) {
      v.problem = "self-intersects: " + std::to_string(pairs.size() - degenerate) +
                  " pairs of triangles cross, " + std::to_string(degenerate) +
                  " triangles have no area";
    }
  } catch (const std::exception& e) {
    v.problem = std::string("CGAL failed: ") + e.what();
    return v;
  }
  return v;
}

}  // namespace geom
