// The Voronoi fracture plug-in loaded and driven as the host drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "support/mesh_measures.h"
#include "support/plugin_session.h"
#include "voronoi/ports.h"

namespace {

using namespace tsl::test;

namespace port = tsl::voronoi::port;

class VoronoiE2E : public PluginSession {
 protected:
  VoronoiE2E() : PluginSession("TSL_Voronoi", port::kOutput) {}

  void connectIds() {
    h.connectLongArray(port::kFaceId, std::vector<std::int32_t>{1, 2, 3, 4, 5, 6});
  }
  void connectUvw(float value) {
    h.connectVector3Array(port::kUvw,
                          std::vector<host::Vec3f>(24, host::Vec3f{value, value, value}));
  }
  // A fracture of the current A by centres.
  void run(const std::vector<Float3>& centres) {
    connectMesh(h, port::kPoints, port::kDescription, a);
    h.connectVector3Array(port::kCentres, toVec3f(centres));
    evaluate();
  }
};

TEST_F(VoronoiE2E, RegistersSevenInputsWithTheirLimits) {
  EXPECT_EQ(h.plugin().name, "TSL Voronoi Plugin");
  const auto& n = h.node();
  EXPECT_EQ(n.name, "TSL_Voronoi");
  EXPECT_EQ(n.displayName, "TSL Voronoi");
  const std::uint32_t ids[] = {0, 1, 2, 6, 3, 4, 7};
  const char* names[] = {"Points",  "Descriptor",      "UVW",     "Face ID",
                         "Centers", "Knife Thickness", "UV Scale"};
  const char* scripts[] = {"A_Points", "A_Descriptor", "A_UVW", "Face_ID",
                           "Centers",  "Thickness",    "UVSCL"};
  ASSERT_EQ(n.inputs.size(), 7u);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(n.inputs[i].id, ids[i]);
    EXPECT_EQ(n.inputs[i].name, names[i]);
    EXPECT_EQ(n.inputs[i].scriptName, scripts[i]);
  }
  const auto& thickness = n.inputs[5];
  EXPECT_EQ(thickness.dataType, 4u);
  EXPECT_EQ(thickness.defaultValue.GetType(), XSI::CValue::siDouble);
  EXPECT_DOUBLE_EQ(thickness.defaultValue.GetDouble(), 0.001);
  EXPECT_DOUBLE_EQ(thickness.minValue.GetDouble(), 0.00005);
  EXPECT_DOUBLE_EQ(thickness.maxValue.GetDouble(), 0.9999);
  const auto& scale = n.inputs[6];
  EXPECT_TRUE(scale.defaultValue.IsEmpty());
  EXPECT_EQ(scale.minValue.GetType(), XSI::CValue::siInt4);
  EXPECT_EQ(scale.minValue.GetInt(), 1);
  EXPECT_TRUE(scale.maxValue.IsEmpty());
  ASSERT_EQ(n.outputs.size(), 1u);
  EXPECT_EQ(n.outputs[0].id, out);
  h.evaluate(201);
  EXPECT_EQ(h.customOutput(201).state, OutputState::Unwritten);
}

TEST_F(VoronoiE2E, OneCentreGivesTheWholeCube) {
  connectIds();
  connectUvw(0.5f);
  run({{0, 0, 0}});
  EXPECT_TRUE(nonInfo().empty());
  const RecordCopy r = readRecord(h.customOutput(out));
  EXPECT_EQ(r.points.size(), 8u);
  ASSERT_EQ(r.faceInfo.size(), 6u);
  EXPECT_EQ(islandsOf(r.faceInfo).size(), 1u);
  for (const FaceInfo& fi : r.faceInfo) EXPECT_NE(fi.faceId, -2);
  for (const Float3& t : r.uvw) EXPECT_EQ(t, (Float3{0.5f, 0.5f, 0.5f}));  // none planar
  EXPECT_NEAR(volumeOf(r.points, r.polygons), 8.0, 1e-5);
}

TEST_F(VoronoiE2E, TwoCentresLeaveAGapWithPlanarInnerFaces) {
  connectIds();
  connectUvw(0.25f);
  h.connectFloat(4, 0.1f);
  h.connectFloat(7, 1.0f);
  run({{-0.5f, 0, 0}, {0.5f, 0, 0}});
  EXPECT_TRUE(nonInfo().empty());
  const RecordCopy r = readRecord(h.customOutput(out));
  ASSERT_EQ(islandsOf(r.faceInfo).size(), 2u);
  // Extent in x of each piece: [-1, ~-0.05] and [~0.05, 1], within the jitter.
  std::map<std::int32_t, std::pair<float, float>> span;
  const auto faces = facesOf(r.polygons);
  for (std::size_t f = 0; f < faces.size(); ++f) {
    auto& s = span.try_emplace(r.faceInfo[f].island, 1e9f, -1e9f).first->second;
    for (int v : faces[f]) {
      s.first = std::min(s.first, r.points[static_cast<std::size_t>(v)].x);
      s.second = std::max(s.second, r.points[static_cast<std::size_t>(v)].x);
    }
  }
  std::vector<std::pair<float, float>> spans;
  for (const auto& [id, s] : span) spans.push_back(s);
  std::sort(spans.begin(), spans.end());
  EXPECT_FLOAT_EQ(spans[0].first, -1.0f);
  EXPECT_NEAR(spans[0].second, -0.05f, 2e-3f);
  EXPECT_NEAR(spans[1].first, 0.05f, 2e-3f);
  EXPECT_FLOAT_EQ(spans[1].second, 1.0f);
  EXPECT_NEAR(volumeOf(r.points, r.polygons), 8.0 - 0.1 * 4.0, 2e-2);

  // Inner faces: no identifier, planar UVW that preserves distances within the face.
  std::size_t corner = 0, inner = 0;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    if (r.faceInfo[f].faceId == -2) {
      ++inner;
      const Float3 &p0 = r.points[static_cast<std::size_t>(faces[f][0])],
                   &p1 = r.points[static_cast<std::size_t>(faces[f][1])];
      const Float3 &t0 = r.uvw[corner], &t1 = r.uvw[corner + 1];
      const double dp = std::hypot(p1.x - p0.x, p1.y - p0.y, p1.z - p0.z);
      const double dt = std::hypot(t1.x - t0.x, t1.y - t0.y, t1.z - t0.z);
      EXPECT_NEAR(dt, dp, 1e-4);
    } else {
      for (std::size_t k = 0; k < faces[f].size(); ++k) {
        EXPECT_EQ(r.uvw[corner + k], (Float3{0.25f, 0.25f, 0.25f}));
      }
    }
    corner += faces[f].size();
  }
  EXPECT_EQ(inner, 4u);  // each gap wall is a cell face written as two triangles

  // UV Scale 2 doubles the planar values only.
  h.connectFloat(7, 2.0f);
  std::srand(7);
  run({{-0.5f, 0, 0}, {0.5f, 0, 0}});
  const RecordCopy twice = readRecord(h.customOutput(out));
  std::srand(7);
  h.connectFloat(7, 1.0f);
  run({{-0.5f, 0, 0}, {0.5f, 0, 0}});
  const RecordCopy once = readRecord(h.customOutput(out));
  ASSERT_EQ(twice.uvw.size(), once.uvw.size());
  corner = 0;
  for (std::size_t f = 0; f < once.faceInfo.size(); ++f) {
    const auto n = facesOf(once.polygons)[f].size();
    for (std::size_t k = 0; k < n; ++k, ++corner) {
      const float factor = once.faceInfo[f].faceId == -2 ? 2.0f : 1.0f;
      EXPECT_NEAR(twice.uvw[corner].x, factor * once.uvw[corner].x, 1e-5f);
      EXPECT_NEAR(twice.uvw[corner].z, factor * once.uvw[corner].z, 1e-5f);
    }
  }
}

TEST_F(VoronoiE2E, OneCellOverTwoCubesGivesTwoIslands) {
  a = cube({-2, 0, 0}, 0.5f);
  a.append(cube({2, 0, 0}, 0.5f));
  connectIds();
  h.connectLongArray(6, std::vector<std::int32_t>(12, 3));
  run({{0, 0, 0}});
  const RecordCopy r = readRecord(h.customOutput(out));
  EXPECT_EQ(islandsOf(r.faceInfo).size(), 2u);
  EXPECT_NEAR(volumeOf(r.points, r.polygons), 2.0, 1e-5);
}

TEST_F(VoronoiE2E, AttributePolicies) {
  h.connectLong(6, 4);                                            // a single identifier is ignored
  h.connectVector3Array(2, std::vector<host::Vec3f>{{1, 1, 1}});  // one UVW entry: ignored
  run({{0, 0, 0}});
  EXPECT_TRUE(nonInfo().empty());
  RecordCopy r = readRecord(h.customOutput(out));
  EXPECT_TRUE(r.faceInfo.empty());
  EXPECT_TRUE(r.uvw.empty());
  EXPECT_EQ(r.polygons.size(), 30u);

  h.connectLongArray(6, std::vector<std::int32_t>{1, 2, 3});
  h.connectVector3Array(2, std::vector<host::Vec3f>(5, host::Vec3f{1, 1, 1}));
  run({{0, 0, 0}});
  EXPECT_EQ(nonInfo(),
            (std::vector<LogLine>{{4, "Faces ID Array size doesn't much faces count , bypassed"},
                                  {4, "UV samples count doesn't much faces count, UV bypassed"}}));
  r = readRecord(h.customOutput(out));
  EXPECT_TRUE(r.faceInfo.empty());
  EXPECT_TRUE(r.uvw.empty());
}

TEST_F(VoronoiE2E, GatesGiveTheEmptyOutput) {
  run({});
  EXPECT_EQ(h.log(),
            (std::vector<LogLine>{{4, "TSL VORONOI: No voro-points for calculation , skipped"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);

  a = withoutFace(cube(), 1);
  run({{0, 0, 0}});
  EXPECT_EQ(
      h.log(),
      (std::vector<LogLine>{
          {4, "TSL VORONOI: Input Geo has one or more negativeopen Polyislands , bypassed"}}));
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);

  // Accepted by the order test but outside the container: no cell at all.
  a = cube();
  run({{5, 0, 0}});
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
  EXPECT_EQ(h.log().size(), 1u);

  h.connectVector3(3, {0, 0, 0});  // centres as a single value
  evaluate();
  EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
  EXPECT_TRUE(h.log().empty());
}

TEST_F(VoronoiE2E, BadCentresNeverEndTheProcess) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  run({{nan, 0, 0},
       {0, inf, 0},
       {1e30f, 1e30f, 0.2f},
       {0.1f, 0.1f, 0.1f},
       {0.1f, 0.1f, 0.1f},
       {-0.4f, 0.2f, 0.3f}});
  ASSERT_EQ(h.customOutput(out).state, OutputState::Data);
  const RecordCopy r = readRecord(h.customOutput(out));
  const geom::Polyhedron p = polyhedronOf(r.points, r.polygons);
  EXPECT_EQ(p.manifoldCount(), 2u);  // the duplicate merged, the rest skipped
  for (bool closed : p.manifold_is_closed()) EXPECT_TRUE(closed);
}

}  // namespace

namespace {

TEST_F(VoronoiE2E, ReportsCellsCutAndAssemblyAndStopsWhenCancelled) {
  std::vector<host::ProgressReport> reports;
  h.onProgress([&reports](const host::ProgressReport& r) { reports.push_back(r); });
  const std::vector<Float3> centres{{-0.5f, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}};
  run(centres);
  ASSERT_EQ(h.customOutput(out).state, OutputState::Data);
  // Every stage once, in order, each run to its end: a unit per cell, one cut, a unit per face.
  const auto stages = progressStages(reports);
  const RecordCopy r = readRecord(h.customOutput(out));
  const auto faces =
      static_cast<std::int32_t>(std::count(r.polygons.begin(), r.polygons.end(), -2));
  ASSERT_EQ(stages.size(), 3u);
  EXPECT_EQ(stages[0], (ProgressStage{"Voronoi cells", 3, 3}));
  EXPECT_EQ(stages[1], (ProgressStage{"Cutting the mesh", 1, 1}));
  EXPECT_EQ(stages[2], (ProgressStage{"Assembling the pieces", faces, faces}));
  EXPECT_EQ(h.progress().value, h.progress().maximum);

  // Cancel pressed during the cells (the second query) or only after the cut: each time one
  // warning and the empty output.
  for (int pressedAt : {2, 5}) {
    int asked = 0;
    h.onCancelQuery([&asked, pressedAt] { return ++asked >= pressedAt; });
    run(centres);
    EXPECT_EQ(nonInfo(),
              (std::vector<LogLine>{{4, "TSL VORONOI: Cancelled by the user , stopped"}}));
    EXPECT_EQ(h.log().size(), 1u) << "count lines with a cancelled run";
    EXPECT_EQ(h.customOutput(out).state, OutputState::Empty);
    EXPECT_EQ(asked, pressedAt);
  }
}

TEST_F(VoronoiE2E, AThrowingProgressListenerIsTheHostsProblemOnly) {
  h.onProgress([](const host::ProgressReport&) { throw std::runtime_error("display broke"); });
  connectMesh(h, 0, 1, a);
  h.connectVector3Array(3, toVec3f(std::vector<Float3>{{-0.5f, 0, 0}, {0.5f, 0, 0}}));
  h.beginEvaluate();
  h.evaluate(out);
  EXPECT_EQ(h.customOutput(out).state, OutputState::Data);
  EXPECT_TRUE(h.escapedExceptions().empty());
  ASSERT_FALSE(h.sdkErrors().empty());
  EXPECT_EQ(h.sdkErrors().front(), "the host's progress listener threw");
}

}  // namespace
