#include "cli/knife.h"

#include <set>
#include <utility>

#include "geom/error.h"
#include "geom/polyhedron.h"
#include "geom/triangulator.h"

namespace cli {
namespace {

// Directed edges without their reverse: the border of an open surface.
std::size_t boundaryEdges(const std::vector<std::int32_t>& descriptor) {
  std::multiset<std::pair<int, int>> edges;
  for (std::size_t t = 0; t + 4 <= descriptor.size(); t += 4) {
    for (int c = 0; c < 3; ++c) edges.insert({descriptor[t + c], descriptor[t + (c + 1) % 3]});
  }
  std::size_t open = 0;
  for (const auto& [a, b] : edges) open += edges.count({b, a}) == 0;
  return open;
}

}  // namespace

Knife prepareKnife(const geom::MeshFile& file, const std::string& path) {
  auto fail = [&path](const std::string& what) { throw geom::Error(path + ": " + what); };
  Knife k;
  k.points = file.points;
  k.fileHasUvs = !file.uvw.empty();
  std::size_t corner = 0;
  std::vector<geom::Vec3> corners;
  std::vector<geom::Triangulator::Triangle> tris;
  for (std::size_t f = 0; f < file.polygons.size(); ++f) {
    const auto& poly = file.polygons[f];
    if (poly.size() < 3) fail("face " + std::to_string(f) + " has fewer than three corners");
    corners.clear();
    for (int v : poly) corners.push_back(file.points[static_cast<std::size_t>(v)]);
    tris.clear();
    if (poly.size() == 3) {
      tris.push_back({0, 1, 2});
    } else {
      geom::Triangulator::triangulateAlways(corners, tris);
    }
    for (const auto& t : tris) {
      for (std::uint32_t slot : t) {
        k.descriptor.push_back(poly[slot]);
        k.uvw.push_back(k.fileHasUvs ? file.uvw[corner + slot] : host::Vec3f{0, 0, 0});
      }
      k.descriptor.push_back(-2);
    }
    corner += poly.size();
  }

  std::vector<bool> used(k.points.size(), false);
  for (std::int32_t v : k.descriptor) {
    if (v >= 0) used[static_cast<std::size_t>(v)] = true;
  }
  std::size_t unused = 0;
  for (bool u : used) unused += !u;
  if (k.triangles() == 0) fail("the knife has no faces");
  if (unused != 0) {
    fail(std::to_string(unused) + " of the knife's points are used by no face; the node takes " +
         "every point as a corner of the solid");
  }
  if (const std::size_t open = boundaryEdges(k.descriptor); open != 0) {
    fail("the knife is open (" + std::to_string(open) +
         " boundary edges); it must be a closed solid");
  }
  std::vector<int> faces;
  for (std::size_t t = 0; t < k.triangles(); ++t) {
    faces.insert(faces.end(),
                 {3, k.descriptor[4 * t], k.descriptor[4 * t + 1], k.descriptor[4 * t + 2]});
  }
  const geom::Polyhedron solid(k.points, k.triangles(), faces);
  if (solid.manifoldCount() != 1) {
    fail("the knife is " + std::to_string(solid.manifoldCount()) +
         " separate pieces; it must be one closed solid");
  }
  if (!solid.manifold_is_closed()[0]) {
    fail(
        "the knife is not a closed solid (an edge is shared by more than two faces or used "
        "twice in one direction)");
  }
  if (solid.manifold_is_negative()[0]) {
    fail("the knife is wound inwards (its faces point into the solid); reverse its faces");
  }
  // A closed triangle surface of genus g has T/2 + 2 - 2g points; the node takes T/2 + 2.
  const std::size_t expected = k.triangles() / 2 + 2;
  if (k.points.size() > expected) fail("the knife is not a closed manifold solid");
  if (k.points.size() != expected) {
    const long genus = (static_cast<long>(expected) - static_cast<long>(k.points.size())) / 2;
    fail("the knife has " + std::to_string(genus) +
         " hole(s) through it; the node takes a solid with the topology of a sphere (" +
         std::to_string(k.triangles()) + " triangles need " + std::to_string(expected) +
         " points, it has " + std::to_string(k.points.size()) + ")");
  }
  return k;
}

}  // namespace cli
