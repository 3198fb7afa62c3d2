// The Continuous knife plug-in loaded and driven as the host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "continuous/continuous.h"
#include "continuous/ports.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;

namespace port = tsl::continuous::port;

// Every instance of k, on the knife ports of h.
void connectKnife(host::Host& h, const Knife& k) {
  h.connectVector3Array(port::kKnifePoints, toVec3f(k.points));
  h.connectLongArray(port::kKnifeDescriptor, k.descriptor);
}

class ContinuousE2E : public PluginSession {
 protected:
  ContinuousE2E() : PluginSession("TSL_Continuous", port::kOutput) {}
};

TEST_F(ContinuousE2E, RegistersSevenInputsAndOneOutput) {
  EXPECT_EQ(h.plugin().name, "TSL Continuous Plugin");
  const auto& n = h.node();
  EXPECT_EQ(n.name, "TSL_Continuous");
  EXPECT_EQ(n.displayName, "TSL Continuous");
  EXPECT_EQ(n.categories, std::vector<std::string>{"Tessellon"});
  ASSERT_EQ(n.inputs.size(), 7u);
  const char* scripts[] = {"A_Points",     "A_Descriptor",      "A_UVW",    "Face_ID",
                           "Knife_Points", "Knife_Description", "Knife_UVW"};
  for (std::uint32_t i = 0; i < 7; ++i) {
    EXPECT_EQ(n.inputs[i].id, i);
    EXPECT_EQ(n.inputs[i].scriptName, scripts[i]);
  }
  EXPECT_EQ(n.inputs[5].name, "Knife Descriptor");
  EXPECT_EQ(n.inputs[6].dataType, 16u);
  EXPECT_EQ(n.inputs[6].defaultValue.GetType(), XSI::CValue::siInt4);
  ASSERT_EQ(n.outputs.size(), 1u);
  EXPECT_EQ(n.outputs[0].id, out);
  const auto cb = h.callbacks();
  EXPECT_FALSE(cb.init || cb.term);
  h.evaluate(7);
  EXPECT_EQ(h.customOutput(7).state, OutputState::Unwritten);
}

TEST_F(ContinuousE2E, MalformedDescriptorsLeaveTheOutputUnwritten) {
  connectMesh(h, 0, 1, a);
  h.connectVector3Array(4, std::vector<host::Vec3f>(4, host::Vec3f{0, 0, 0}));
  h.connectLongArray(5, std::vector<std::int32_t>{0, 1, 2, -2, 0, 2});
  evaluate();
  EXPECT_EQ(h.log(), (std::vector<LogLine>{{4, "Invalid Knife Geometry , TRACE POINT 0"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Unwritten);

  h.connectLongArray(5, std::vector<std::int32_t>{0, 1, 2, -2, 0, 2, 3, 5});
  evaluate();
  EXPECT_EQ(h.log(), (std::vector<LogLine>{{4, "Invalid Knife Geometry , TRACE POINT 1"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Unwritten);

  // A corner index outside the instance is refused before any instance is built.
  h.connectLongArray(5,
                     std::vector<std::int32_t>{0, 1, 2, -2, 0, 3, 1, -2, 0, 2, 3, -2, 1, 3, 9, -2});
  evaluate();
  EXPECT_EQ(h.log(), (std::vector<LogLine>{{4, "Invalid Knife Geometry , TRACE POINT 0"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
}

TEST_F(ContinuousE2E, InstanceCountFollowsThePointCount) {
  EXPECT_EQ(tsl::continuous::knifeShape(16).pointsPerInstance, 4u);
  EXPECT_EQ(tsl::continuous::knifeShape(32).pointsPerInstance, 6u);
  // Three tetrahedra far from A, then 0, 1 or 2 extra points: nothing is cut, nothing skipped.
  const Knife t = tetrahedron(0.2f);
  for (std::size_t extra = 0; extra < 3; ++extra) {
    Knife k;
    k.descriptor = t.descriptor;
    for (int i = 0; i < 3; ++i) k.addInstance(t.points, {10.0f + i, 0, 0});
    for (std::size_t e = 0; e < extra; ++e) k.points.push_back({50, 50, 50});
    connectMesh(h, 0, 1, a);
    connectKnife(h, k);
    evaluate();
    EXPECT_TRUE(nonInfo().empty());
    const RecordCopy r = readRecord(h.customOutput(out));
    EXPECT_NEAR(volumeOf(r.points, r.polygons), 8.0, 1e-5);
  }
}

TEST_F(ContinuousE2E, OctahedraCarveInPointOrderAndSplitA) {
  const Knife o = octahedron(0.6f);
  Knife k;
  k.descriptor = o.descriptor;
  k.addInstance(o.points, {1, 1, 1});  // takes a corner
  k.addInstance({{3, 0, 0}, {-3, 0, 0}, {0, 0.3f, 0}, {0, -0.3f, 0}, {0, 0, 3}, {0, 0, -3}},
                {0, 0, 0});               // a thin wall right through A along y = 0
  k.addInstance(o.points, {10, 10, 10});  // misses A
  connectMesh(h, 0, 1, a);
  h.connectLongArray(3, std::vector<std::int32_t>{1, 2, 3, 4, 5, 6});
  connectKnife(h, k);
  evaluate();
  EXPECT_TRUE(nonInfo().empty());
  const RecordCopy r = readRecord(h.customOutput(out));
  EXPECT_EQ(islandsOf(r.faceInfo).size(), 2u);
  const geom::Polyhedron p = polyhedronOf(r.points, r.polygons);
  for (bool closed : p.manifold_is_closed()) EXPECT_TRUE(closed);
  // Faces from A keep their identifiers; cut walls have none.
  std::size_t walls = 0;
  for (const FaceInfo& fi : r.faceInfo) {
    EXPECT_TRUE(fi.faceId == -2 || (fi.faceId >= 1 && fi.faceId <= 6));
    walls += fi.faceId == -2;
  }
  EXPECT_GT(walls, 0u);
  // The corner octahedron removes 1/8 of its volume... inside A only the part with all
  // coordinates below 1: a corner of (0.6^3 * 4/3) / 8.
  const double corner = 0.6 * 0.6 * 0.6 * 4.0 / 3.0 / 8.0;
  EXPECT_LT(volumeOf(r.points, r.polygons), 8.0 - corner + 1e-6);
}

// Instances whose boxes are apart are subtracted as one operand: each must still take exactly
// its own volume and carry the knife's UVW on its walls, and an instance over one already
// taken (boxes overlap: a later subtraction) takes nothing more.
TEST_F(ContinuousE2E, InstancesApartTakeTheirOwnVolumeWithTheirUvw) {
  const float r = 0.3f;
  const Knife o = octahedron(r);
  Knife k;
  k.descriptor = o.descriptor;
  std::vector<Float3> corners;
  for (float x : {-1.0f, 1.0f}) {
    for (float y : {-1.0f, 1.0f}) {
      for (float z : {-1.0f, 1.0f}) corners.push_back({x, y, z});
    }
  }
  for (const Float3& c : corners) k.addInstance(o.points, c);
  k.addInstance(o.points, corners[0]);
  connectMesh(h, 0, 1, a);
  h.connectVector3Array(2, std::vector<host::Vec3f>(24, host::Vec3f{1, 2, 3}));
  connectKnife(h, k);
  h.connectVector3Array(6, std::vector<host::Vec3f>(24, host::Vec3f{7, 8, 9}));
  evaluate();
  EXPECT_TRUE(nonInfo().empty());
  const RecordCopy rec = record();
  const geom::Polyhedron p = polyhedronOf(rec.points, rec.polygons);
  for (bool closed : p.manifold_is_closed()) EXPECT_TRUE(closed);
  // Each corner octahedron takes an eighth of its volume.
  EXPECT_NEAR(volumeOf(rec.points, rec.polygons), 8.0 - 8 * (r * r * r / 6.0), 1e-5);
  // Every instance left walls with the knife's UVW, and every corner has A's or the knife's.
  const std::vector<std::vector<int>> faces = facesOf(rec.polygons);
  ASSERT_EQ(rec.uvw.size(), rec.polygons.size() - faces.size());
  std::vector<int> walls(corners.size(), 0);
  std::size_t corner = 0;
  for (const std::vector<int>& f : faces) {
    bool knife = true;
    for (std::size_t c = 0; c < f.size(); ++c) {
      const Float3& t = rec.uvw[corner + c];
      EXPECT_TRUE(t == (Float3{1, 2, 3}) || t == (Float3{7, 8, 9}));
      knife = knife && t == (Float3{7, 8, 9});
    }
    corner += f.size();
    if (!knife) continue;
    const Float3& q = rec.points[f[0]];
    for (std::size_t i = 0; i < corners.size(); ++i) {
      const Float3& c = corners[i];
      if (std::abs(q.x - c.x) + std::abs(q.y - c.y) + std::abs(q.z - c.z) <= r + 1e-5f) ++walls[i];
    }
  }
  for (std::size_t i = 0; i < corners.size(); ++i) EXPECT_GT(walls[i], 0) << "corner " << i;
}

TEST_F(ContinuousE2E, NoInstancesGiveAsOwnSurfaceWithAttributes) {
  connectMesh(h, 0, 1, a);
  h.connectLongArray(3, std::vector<std::int32_t>{1, 2, 3, 4, 5, 6});
  std::vector<host::Vec3f> uvw(24, host::Vec3f{0.5f, 0.25f, 0});
  h.connectVector3Array(2, uvw);
  h.connectVector3Array(4, std::vector<host::Vec3f>{{0, 0, 0}});
  h.connectLongArray(5, std::vector<std::int32_t>{});
  h.connectVector3Array(6, std::vector<host::Vec3f>{});
  evaluate();
  EXPECT_TRUE(nonInfo().empty());
  const RecordCopy r = readRecord(h.customOutput(out));
  EXPECT_EQ(r.faceInfo.size(), 6u);
  EXPECT_NEAR(volumeOf(r.points, r.polygons), 8.0, 1e-5);
  ASSERT_EQ(r.uvw.size(), 24u);
  for (const Float3& t : r.uvw) EXPECT_EQ(t, (Float3{0.5f, 0.25f, 0}));
  for (const FaceInfo& fi : r.faceInfo) EXPECT_GE(fi.faceId, 1);
}

TEST_F(ContinuousE2E, GatesOnInstancesEndTheEvaluation) {
  const Knife t = tetrahedron(0.5f);
  Knife k;
  k.descriptor = t.descriptor;
  k.addInstance(t.points, {1, 1, 1});
  // Second instance wound inwards: the same points with two swapped.
  k.addInstance({t.points[1], t.points[0], t.points[2], t.points[3]}, {-1, -1, -1});
  connectMesh(h, 0, 1, a);
  connectKnife(h, k);
  evaluate();
  EXPECT_EQ(h.log(),
            (std::vector<LogLine>{{4, "TSL Continuous: Invalid Knife TRACE POINT 1, bypassed"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);

  // A flat closed pillow plus two faces on one point: three islands, counted in the message.
  Knife three;
  three.descriptor = {0, 1, 2, -2, 0, 2, 1, -2, 3, 3, 3, -2, 3, 3, 3, -2};
  three.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}};
  connectKnife(h, three);
  evaluate();
  EXPECT_EQ(h.log(),
            (std::vector<LogLine>{{4, "TSL Continuous: Invalid knife TRACE POINT 0, bypassed3"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
}

TEST_F(ContinuousE2E, FailedSubtractionsAreSkippedAndCounted) {
  const Knife o = octahedron(0.5f);
  Knife k;
  k.descriptor = o.descriptor;
  k.addInstance(o.points, {1, 1, 1});
  // The apex pulled through a side: closed, one island, positive volume, faces that share no
  // vertex cross each other; the engine cuts with the solid it winds around.
  auto folded = o.points;
  folded[4] = {-0.52f, 0.09f, -0.26f};
  k.addInstance(folded, {-1, -1, -1});
  // Points that are not finite.
  auto nan = o.points;
  nan[0].x = std::numeric_limits<float>::quiet_NaN();
  k.addInstance(nan, {0, 0, 0});
  connectMesh(h, 0, 1, a);
  connectKnife(h, k);
  evaluate();
  EXPECT_EQ(nonInfo(), (std::vector<LogLine>{{2, "TSL CONT: Invalid interations: 1 , skipped"}}));
  ASSERT_EQ(h.customOutput(out).state, OutputState::Data);
  const RecordCopy r = readRecord(h.customOutput(out));
  EXPECT_LT(volumeOf(r.points, r.polygons), 8.0 - 1e-3);
}

TEST_F(ContinuousE2E, KnifeUvwRules) {
  const Knife o = octahedron(0.5f);
  Knife k;
  k.descriptor = o.descriptor;
  k.addInstance(o.points, {1, 1, 1});
  connectMesh(h, 0, 1, a);
  h.connectVector3Array(2, std::vector<host::Vec3f>(24, host::Vec3f{1, 2, 3}));
  connectKnife(h, k);
  h.connectVector3Array(6, std::vector<host::Vec3f>(24, host::Vec3f{7, 8, 9}));
  evaluate();
  RecordCopy r = readRecord(h.customOutput(out));
  ASSERT_EQ(r.uvw.size(), r.polygons.size() - facesOf(r.polygons).size());
  std::size_t knifeCorners = 0;
  for (const Float3& t : r.uvw) {
    EXPECT_TRUE(t == (Float3{1, 2, 3}) || t == (Float3{7, 8, 9}));
    knifeCorners += t == (Float3{7, 8, 9});
  }
  EXPECT_GT(knifeCorners, 0u);

  h.connectVector3Array(6, std::vector<host::Vec3f>(23, host::Vec3f{7, 8, 9}));
  evaluate();
  EXPECT_EQ(
      nonInfo(),
      (std::vector<LogLine>{{4, "Knife UV samples count doesn't much faces count, UV bypassed"}}));
  EXPECT_TRUE(readRecord(h.customOutput(out)).uvw.empty());

  h.connectVector3(6, {0, 0, 0});  // single value: no UVW at all, silently
  evaluate();
  EXPECT_TRUE(nonInfo().empty());
  EXPECT_TRUE(readRecord(h.customOutput(out)).uvw.empty());
}

TEST_F(ContinuousE2E, OpenInputIsRejectedBeforeAnyKnife) {
  connectMesh(h, 0, 1, withoutFace(a, 0));
  Knife bad = tetrahedron(1);
  bad.points.resize(4);
  bad.points[1] = bad.points[0];  // would fail the solid gate, if it were reached
  connectKnife(h, bad);
  evaluate();
  EXPECT_EQ(h.log(),
            (std::vector<LogLine>{
                {4, "TSL Continuous: Input Geo has one or more open Polyislands , bypassed"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
}

}  // namespace

namespace {

TEST_F(ContinuousE2E, KnifeLoopReportsProgressAndStopsWhenCancelled) {
  const Knife o = octahedron(0.3f);
  Knife k;
  k.descriptor = o.descriptor;
  for (float x : {-0.5f, 0.0f, 0.5f}) k.addInstance(o.points, {x, 1, 1});
  connectMesh(h, 0, 1, a);
  connectKnife(h, k);
  std::vector<host::ProgressReport> reports;
  h.onProgress([&reports](const host::ProgressReport& r) { reports.push_back(r); });
  evaluate();
  ASSERT_EQ(h.customOutput(out).state, OutputState::Data);
  EXPECT_EQ(progressStages(reports),
            (std::vector<ProgressStage>{{"Knives", 3, 3}, {"Final cut", 1, 1}}));

  // Cancel pressed while the second knife is due: one line, the empty output, nothing kept.
  int asked = 0;
  h.onCancelQuery([&asked] { return ++asked >= 2; });
  reports.clear();
  evaluate();
  EXPECT_EQ(h.log(), (std::vector<LogLine>{{4, "TSL CONT: Cancelled by the user , stopped"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(progressStages(reports), (std::vector<ProgressStage>{{"Knives", 3, 1}}));
}

}  // namespace
