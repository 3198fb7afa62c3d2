// The Continuous node (knives subtracted from a box around A, then one intersection with A)
// against subtracting the same knives from A itself one after another with the same engine,
// for A a sphere of about 200,000 triangles and 10, 50 and 200 knives of 32 triangles. Each row
// is followed by the node's stages (from the stage reports of its logic). The node and the
// baseline take turns three times, each in a child of its own (the node evaluated three times
// there, its median kept); each column is the median of its three.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "continuous/continuous.h"
#include "geom/csg.h"
#include "harness.h"
#include "host/host.h"
#include "stage_times.h"
#include "support/csg_meshes.h"

namespace {

struct Input {
  std::vector<host::Vec3f> points;
  std::vector<std::int32_t> description;
  std::vector<host::Vec3f> knifePoints;
  std::vector<std::int32_t> knifeDescriptor;
  geom::Polyhedron a;
  std::vector<geom::Polyhedron> knives;
};

Input makeInput(int slices, int instances) {
  Input in;
  const geom::Polyhedron sphere = tsl::csgtest::uvSphere(slices, slices, {0, 0, 0}, 1.0);
  std::vector<geom::Vec3> pts;
  for (const auto& v : sphere.vertices()) {
    in.points.push_back({float(v.x), float(v.y), float(v.z)});
    pts.push_back({float(v.x), float(v.y), float(v.z)});
  }
  std::vector<int> fi;
  for (std::size_t f = 0; f < sphere.faceCount(); ++f) {
    fi.push_back(static_cast<int>(sphere.face(f).size()));
    for (int v : sphere.face(f)) {
      in.description.push_back(v);
      fi.push_back(v);
    }
    in.description.push_back(-2);
  }
  in.a = geom::Polyhedron(std::move(pts), sphere.faceCount(), fi);
  const geom::Polyhedron knife = tsl::csgtest::uvSphere(4, 5, {0, 0, 0}, 0.15);
  std::vector<int> kf;
  for (std::size_t f = 0; f < knife.faceCount(); ++f) {
    kf.push_back(3);
    for (int v : knife.face(f)) {
      in.knifeDescriptor.push_back(v);
      kf.push_back(v);
    }
    in.knifeDescriptor.push_back(-2);
  }
  // Knives over the surface, where they cut A.
  std::mt19937 rng(7);
  std::normal_distribution<double> n(0.0, 1.0);
  for (int i = 0; i < instances; ++i) {
    geom::Vec3 d{n(rng), n(rng), n(rng)};
    d = d * (1.0 / geom::length(d));
    std::vector<geom::Vec3> kp;
    for (const auto& v : knife.vertices()) {
      const host::Vec3f p{float(v.x + d.x), float(v.y + d.y), float(v.z + d.z)};
      in.knifePoints.push_back(p);
      kp.push_back({p[0], p[1], p[2]});
    }
    in.knives.emplace_back(std::move(kp), knife.faceCount(), kf);
  }
  return in;
}

// One run of the node's logic, timed stage by stage through its stage reports.
void printStages(const Input& in) {
  bench::StageTimes times;
  std::vector<tsl::Float3> points, knifePoints;
  for (const auto& p : in.points) points.push_back({p[0], p[1], p[2]});
  for (const auto& p : in.knifePoints) knifePoints.push_back({p[0], p[1], p[2]});
  tsl::continuous::ContinuousInput c;
  c.points = points;
  c.description = in.description;
  c.knifePoints = knifePoints;
  c.knifeDescriptor = in.knifeDescriptor;
  tsl::TopoStore store;
  std::vector<tsl::LogLine> lines;
  tsl::continuous::carve(c, store, tsl::collectInto(lines), times.progress());
  times.print();
}

}  // namespace

int main(int argc, char** argv) {
  const int slices = argc > 1 ? std::atoi(argv[1]) : 317;
  std::printf("A: sphere of %d triangles; knives of 32 triangles\n", 2 * slices * (slices - 1));
  for (int count : {10, 50, 200}) {
    std::optional<Input> in;
    std::unique_ptr<host::Host> h;
    auto node = [&] {
      return bench::measure(
          [&] {
            in = makeInput(slices, count);
            h = std::make_unique<host::Host>(std::string(TSL_PLUGIN_DIR) + "/TSL_Continuous.so");
            h->connectVector3Array(0, in->points);
            h->connectLongArray(1, in->description);
            h->connectVector3Array(4, in->knifePoints);
            h->connectLongArray(5, in->knifeDescriptor);
          },
          [&] {
            h->beginEvaluate();
            h->evaluate(200);
            if (h->customOutput(200).state != host::OutputState::Data) std::abort();
            if (h->log().size() != 3) std::abort();  // nothing skipped
            h->clearLog();
          },
          3);
    };
    auto direct = [&] {
      return bench::measure([&] { in = makeInput(slices, count); },
                            [&] {
                              geom::Polyhedron work = in->a;
                              for (const auto& k : in->knives) {
                                geom::Csg csg;
                                csg.skipSelfIntersectionCheck(geom::Csg::OPERAND_A);
                                work = *csg.compute(work, k, geom::Csg::A_MINUS_B,
                                                    geom::Csg::CLASSIFY_EDGE);
                              }
                            },
                            1);
    };
    // The two take turns, so that a slower spell of the machine falls on both.
    std::vector<bench::Measurement> nodeRuns, directRuns;
    for (int r = 0; r < 3; ++r) {
      nodeRuns.push_back(node());
      directRuns.push_back(direct());
    }
    char name[64];
    std::snprintf(name, sizeof name, "%d knives: node vs from A directly", count);
    const bench::Measurement n = bench::median(nodeRuns), d = bench::median(directRuns);
    bench::printRow(name, n, d);
    std::printf("%40s node %.1f knives/s, direct %.1f knives/s\n", "", count / n.seconds,
                count / d.seconds);
    printStages(makeInput(slices, count));
  }
  return 0;
}
