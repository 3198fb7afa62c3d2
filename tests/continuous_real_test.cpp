// The Continuous plug-in carving a real mesh: the removed volume is exactly the part of the
// mesh inside the knives, computed independently as the mesh intersected with their union.
#include <gtest/gtest.h>

#include <random>

#include "geom/csg.h"
#include "support/csg_meshes.h"
#include "support/demo_meshes.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;
using tsl::Float3;

TEST(ContinuousRealMesh, BearMinusTwentyKnivesKeepsTheRightVolume) {
  const HostMesh bear = demoMesh("bear.off");
  // A 32-triangle knife, 18 points, placed at random over the bear's box.
  const geom::Polyhedron shape = tsl::csgtest::uvSphere(4, 5, {0, 0, 0}, 0.12);
  Knife knife;
  for (std::size_t f = 0; f < shape.faceCount(); ++f) {
    for (int v : shape.face(f)) knife.descriptor.push_back(v);
    knife.descriptor.push_back(-2);
  }
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<float> ux(-0.6f, 0.6f), uy(-0.7f, 0.9f), uz(-0.3f, 0.3f);
  std::vector<Float3> base;
  for (const auto& v : shape.vertices()) base.push_back({float(v.x), float(v.y), float(v.z)});
  std::vector<geom::Polyhedron> instances;  // for the independent check
  for (int i = 0; i < 20; ++i) {
    const Float3 d{ux(rng), uy(rng), uz(rng)};
    knife.addInstance(base, d);
    std::vector<geom::Vec3> pts;
    for (std::size_t p = knife.points.size() - base.size(); p < knife.points.size(); ++p) {
      pts.push_back({knife.points[p].x, knife.points[p].y, knife.points[p].z});
    }
    std::vector<int> fi;
    for (std::size_t t = 0; t < knife.descriptor.size(); t += 4) {
      fi.insert(fi.end(),
                {3, knife.descriptor[t], knife.descriptor[t + 1], knife.descriptor[t + 2]});
    }
    instances.emplace_back(std::move(pts), shape.faceCount(), fi);
  }

  host::Host h(pluginPath("TSL_Continuous"));
  connectMesh(h, 0, 1, bear);
  h.connectVector3Array(4, toVec3f(knife.points));
  h.connectLongArray(5, knife.descriptor);
  h.beginEvaluate();
  h.evaluate(200);
  expectCleanCalls(h);
  ASSERT_EQ(h.log().size(), 3u) << h.log().back().text;  // counts only: nothing skipped
  const RecordCopy r = readRecord(h.customOutput(200));
  const geom::Polyhedron result = polyhedronOf(r.points, r.polygons);
  for (bool closed : result.manifold_is_closed()) EXPECT_TRUE(closed);

  const geom::Polyhedron a = polyhedronOf(bear.points, bear.description);
  // Independently: the union of the knives, each step checked in full as an operand, then A
  // intersected with it.
  geom::Polyhedron knives;
  for (const geom::Polyhedron& instance : instances) {
    knives = *geom::Csg().compute(knives, instance, geom::Csg::UNION, geom::Csg::CLASSIFY_EDGE);
  }
  const auto inside =
      geom::Csg().compute(a, knives, geom::Csg::INTERSECTION, geom::Csg::CLASSIFY_EDGE);
  const double va = tsl::csgtest::volume(a), removed = tsl::csgtest::volume(*inside);
  EXPECT_GT(removed, 0.01 * va);
  EXPECT_NEAR(tsl::csgtest::volume(result), va - removed, 1e-6 * (va - removed));
}

}  // namespace
