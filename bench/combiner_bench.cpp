// The Combiner's evaluate (ports read, description decoded, mesh built, islands found, record
// published) on a grid of one million quads, against CGAL building a Surface_mesh from the
// same arrays and labelling its connected components.
#include <CGAL/Polygon_mesh_processing/connected_components.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "harness.h"
#include "host/host.h"
#include "support/mesh_builders.h"

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using Mesh = CGAL::Surface_mesh<Kernel::Point_3>;

int gridSize(int argc, char** argv) {
  return argc > 1 ? std::atoi(argv[1]) : 1000;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = gridSize(argc, argv);
  std::optional<tsl::test::HostMesh> grid;
  std::vector<host::Vec3f> points;
  auto setup = [&] {
    grid = tsl::test::quadGrid(n);
    points.reserve(grid->points.size());
    for (const auto& p : grid->points) points.push_back({p.x, p.y, p.z});
  };

  std::unique_ptr<host::Host> h;
  auto oursSetup = [&] {
    setup();
    h = std::make_unique<host::Host>(std::string(TSL_PLUGIN_DIR) + "/TSL_Combiner.so");
    h->connectVector3Array(0, points);
    h->connectLongArray(1, grid->description);
  };
  auto ours = [&] {
    h->beginEvaluate();
    h->evaluate(202);
    if (h->customOutput(202).state != host::OutputState::Data) std::abort();
  };

  auto cgal = [&] {
    Mesh m;
    m.reserve(static_cast<Mesh::size_type>(points.size()), 0,
              static_cast<Mesh::size_type>(grid->faceCount()));
    for (const auto& p : points) m.add_vertex(Kernel::Point_3(p[0], p[1], p[2]));
    std::vector<Mesh::Vertex_index> face;
    for (std::int32_t v : grid->description) {
      if (v == -2) {
        m.add_face(face);
        face.clear();
      } else {
        face.push_back(Mesh::Vertex_index(static_cast<Mesh::size_type>(v)));
      }
    }
    auto ids = m.add_property_map<Mesh::Face_index, std::size_t>("f:cc", 0).first;
    const std::size_t count = CGAL::Polygon_mesh_processing::connected_components(m, ids);
    if (count != 1) std::abort();
  };

  std::printf("grid of %d x %d quads (%d faces)\n", n, n, n * n);
  const bench::Measurement o = bench::measure(oursSetup, ours, 5);
  const bench::Measurement b = bench::measure(setup, cgal, 5);
  bench::printRow("combiner evaluate vs Surface_mesh + cc", o, b);
  return 0;
}
