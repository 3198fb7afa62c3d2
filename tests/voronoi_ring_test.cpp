// The Voronoi plug-in meeting a Voro++ fatal error, through the host face on the real .so.
//
// 2,100 centres on a ring around one centre on its axis put 2,100 cutting planes through one
// vertex of the axis centre's cell, beyond the library's limit on the order of a vertex. The
// node's jitter normally pulls those planes apart by far more than the library's tolerance, so
// this executable replaces rand() (the plug-in calls it through the process's symbol table)
// with a generator whose values are all multiples of 10: every jitter is then zero and the
// centres reach the library exactly where they were given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {
bool gStill = false;
unsigned gState = 1;
}  // namespace

extern "C" __attribute__((visibility("default"))) int rand() noexcept {
  gState = gState * 1103515245u + 12345u;
  const int r = static_cast<int>((gState >> 16) & 0x7fff);
  return gStill ? r / 10 * 10 : r;
}

namespace {

using host::OutputState;
using tsl::Float3;
using namespace tsl::test;

constexpr std::uint32_t kOut = 200;

std::vector<Float3> ringAroundAxisCentre(int count) {
  std::vector<Float3> centres{{0, 0, 0.5f}};
  for (int i = 0; i < count; ++i) {
    // Around the ring in a scattered order, so the axis centre's cell takes its cone early.
    const double a = 2 * M_PI * static_cast<double>((i * 1031) % count) / count;
    centres.push_back({float(0.5 * std::cos(a)), float(0.5 * std::sin(a)), 0.0f});
  }
  return centres;
}

class VoronoiRing : public ::testing::Test {
 protected:
  host::Host h{pluginPath("TSL_Voronoi")};

  void run(const std::vector<Float3>& centres, float thickness) {
    connectMesh(h, 0, 1, cube());
    h.connectVector3Array(3, toVec3f(centres));
    h.connectFloat(4, thickness);
    h.clearLog();
    h.beginEvaluate();
    h.evaluate(kOut);
    expectCleanCalls(h);
  }
};

TEST_F(VoronoiRing, VoroFatalErrorGivesOneErrorLineAndTheEmptyOutput) {
  gStill = true;
  run(ringAroundAxisCentre(2100), 0.9999f);
  gStill = false;
  EXPECT_EQ(h.customOutput(kOut).state, OutputState::Empty);
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].severity, 2);
  EXPECT_EQ(h.log()[0].text,
            "TSL VORONOI: Voronoi cells failed, voro++: Vertex order memory allocation exceeded "
            "absolute maximum");

  // The plug-in is still in working order: the next evaluation, with the jitter back, cuts the
  // cube by the same ring (its cells so thin that many lose their shape in float: the cut must
  // not be refused for them).
  run(ringAroundAxisCentre(2100), 0.9999f);
  ASSERT_EQ(h.customOutput(kOut).state, OutputState::Data);
  const RecordCopy r = readRecord(h.customOutput(kOut));
  const geom::Polyhedron p = polyhedronOf(r.points, r.polygons);
  EXPECT_GT(p.manifoldCount(), 1u);
  for (bool closed : p.manifold_is_closed()) EXPECT_TRUE(closed);
}

}  // namespace
