// The Boolean plug-in on a real mesh pair: every operation gives closed solids whose volumes
// agree with each other.
#include <gtest/gtest.h>

#include <map>

#include "support/demo_meshes.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;

TEST(BooleanRealMeshes, BearAndMovedHomerSatisfyTheVolumeIdentities) {
  host::Host h(pluginPath("TSL_ICE_Boolean"));
  const HostMesh a = demoMesh("bear.off");
  const HostMesh b = demoMesh("homer.off", {0.3f, 0.2f, 0.1f});
  connectMesh(h, 0, 1, a);
  connectMesh(h, 3, 4, b);
  const double va = volumeOf(a.points, a.description);
  const double vb = volumeOf(b.points, b.description);
  std::map<int, double> vol;
  for (int op = 0; op < 5; ++op) {
    SCOPED_TRACE(op);
    h.connectLong(6, op);
    h.clearLog();
    h.beginEvaluate();
    h.evaluate(201);
    expectCleanCalls(h);
    ASSERT_EQ(h.log().size(), 3u) << h.log()[0].text;  // the counts, no fallback warning
    const RecordCopy r = readRecord(h.customOutput(201));
    const geom::Polyhedron p = polyhedronOf(r.points, r.polygons);
    for (std::size_t i = 0; i < p.manifoldCount(); ++i) {
      EXPECT_TRUE(p.manifold_is_closed()[i]) << "island " << i;
    }
    vol[op] = volumeOf(r.points, r.polygons);
  }
  // Coordinates come back as floats, so the identities hold to float precision.
  const double tol = 2e-6 * (va + vb);
  EXPECT_NEAR(vol[0] + vol[1], va + vb, tol);
  EXPECT_NEAR(vol[2] + vol[1], va, tol);
  EXPECT_NEAR(vol[3] + vol[1], vb, tol);
  EXPECT_NEAR(vol[4], vol[0] - vol[1], tol);
  EXPECT_GT(vol[1], 0.01 * vb);  // the pair really overlaps
}

}  // namespace
