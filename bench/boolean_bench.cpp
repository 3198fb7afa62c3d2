// The Boolean node's evaluate end to end (ports read, both meshes built, identifiers and UVW
// attached, normalisation, engine, result written and published) against the engine alone on
// the same two meshes, for two overlapping spheres.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "core/mesh_arrays.h"
#include "geom/csg.h"
#include "harness.h"
#include "host/host.h"
#include "support/csg_meshes.h"

namespace {

// One operand as the node's ports take it: points and UVW per polygon node, the polygonal
// description and one identifier per face.
struct HostArrays {
  std::vector<host::Vec3f> points, uvw;
  std::vector<std::int32_t> description, ids;
};

HostArrays toArrays(const geom::Polyhedron& p) {
  HostArrays a;
  for (const auto& v : p.vertices()) {
    a.points.push_back({static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)});
  }
  for (std::size_t f = 0; f < p.faceCount(); ++f) {
    for (int v : p.face(f)) {
      a.description.push_back(v);
      a.uvw.push_back(a.points[static_cast<std::size_t>(v)]);
    }
    a.description.push_back(-2);
    a.ids.push_back(static_cast<std::int32_t>(f));
  }
  return a;
}

// The engine's input as the node builds it: from the float arrays, by the node's own builder.
geom::Polyhedron fromArrays(const HostArrays& a) {
  std::vector<tsl::Float3> points;
  for (const auto& p : a.points) points.push_back({p[0], p[1], p[2]});
  return std::move(*tsl::buildWorkingMesh(points, a.description));
}

}  // namespace

int main(int argc, char** argv) {
  const int slices = argc > 1 ? std::atoi(argv[1]) : 317;  // 2 * 317 * 316 = 200,344 triangles
  std::optional<HostArrays> a, b;
  auto setup = [&] {
    a = toArrays(tsl::csgtest::uvSphere(slices, slices, {0, 0, 0}, 1.0));
    b = toArrays(tsl::csgtest::uvSphere(slices, slices, {0.4, 0.3, 0.2}, 1.0));
  };
  std::unique_ptr<host::Host> h;
  auto nodeSetup = [&] {
    setup();
    h = std::make_unique<host::Host>(std::string(TSL_PLUGIN_DIR) + "/TSL_ICE_Boolean.so");
    h->connectVector3Array(0, a->points);
    h->connectLongArray(1, a->description);
    h->connectVector3Array(2, a->uvw);
    h->connectLongArray(9, a->ids);
    h->connectVector3Array(3, b->points);
    h->connectLongArray(4, b->description);
    h->connectVector3Array(5, b->uvw);
    h->connectLongArray(10, b->ids);
  };
  std::optional<geom::Polyhedron> pa, pb;
  auto engineSetup = [&] {
    setup();
    pa = fromArrays(*a);
    pb = fromArrays(*b);
  };

  std::printf("two overlapping spheres of %zu triangles each\n",
              a ? a->ids.size() : std::size_t(2 * slices * (slices - 1)));
  const char* names[] = {"union", "intersection", "a-minus-b"};
  const geom::Csg::OP ops[] = {geom::Csg::UNION, geom::Csg::INTERSECTION, geom::Csg::A_MINUS_B};
  for (int op = 0; op < 3; ++op) {
    const bench::Measurement node = bench::measure(
        nodeSetup,
        [&] {
          h->connectLong(6, op);
          h->beginEvaluate();
          h->evaluate(201);
          if (h->customOutput(201).state != host::OutputState::Data || h->log().size() % 3 != 0)
            std::abort();
        },
        3);
    const bench::Measurement engine = bench::measure(
        engineSetup,
        [&] {
          geom::Csg csg;
          auto r = csg.compute(*pa, *pb, ops[op], geom::Csg::CLASSIFY_EDGE);
          if (r->faceCount() == 0) std::abort();
        },
        3);
    bench::printRow(std::string("node ") + names[op] + " vs engine alone", node, engine);
  }
  return 0;
}
