// The Combiner plug-in loaded and driven as the host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <tuple>

#include "combiner/ports.h"
#include "geom/mesh_files.h"
#include "geom/polyhedron.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;

constexpr std::uint32_t kOut = tsl::combiner::port::kOutput;

class CombinerE2E : public PluginSession {
 protected:
  CombinerE2E() : PluginSession("TSL_Combiner", kOut, /*init=*/true) {}
};

TEST_F(CombinerE2E, RegistersTheNodeDefinition) {
  EXPECT_EQ(h.plugin().name, "TSL Combiner Plugin");
  const auto& n = h.node();
  EXPECT_EQ(n.name, "TSL_Combiner");
  EXPECT_EQ(n.displayName, "TSL Combiner");

  struct Expected {
    std::uint32_t id, type;
    const char *name, *script;
  };
  const Expected in[] = {{0, 16, "Point Position", "Point_Position"},
                         {1, 2, "Polygonal Description", "Polygonal_Description"},
                         {2, 16, "UVW", "UVW"},
                         {3, 2, "Face ID", "Face_ID"},
                         {5, 2, "Filter By ID", "Filter_By_ID"}};
  ASSERT_EQ(n.inputs.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const auto& port = n.inputs[i];
    EXPECT_EQ(port.id, in[i].id);
    EXPECT_EQ(port.dataType, in[i].type);
    EXPECT_EQ(port.name, in[i].name);
    EXPECT_EQ(port.scriptName, in[i].script);
    EXPECT_TRUE(port.minValue.IsEmpty());
    EXPECT_TRUE(port.maxValue.IsEmpty());
  }
  EXPECT_EQ(n.inputs[0].defaultValue.GetType(), XSI::CValue::siVector3f);
  EXPECT_EQ(n.inputs[0].defaultValue.GetVector3f().GetY(), 1.0f);
  EXPECT_EQ(n.inputs[1].defaultValue.GetType(), XSI::CValue::siInt4);
  EXPECT_EQ(n.inputs[4].defaultValue.GetInt(), -1);
  ASSERT_EQ(n.outputs.size(), 1u);
  EXPECT_EQ(n.outputs[0].id, kOut);

  const auto cb = h.callbacks();
  EXPECT_TRUE(cb.init && cb.beginEvaluate && cb.evaluate);
  EXPECT_FALSE(cb.term);
}

TEST_F(CombinerE2E, UnloadLogsThePluginNameAtVerboseSeverity) {
  h.clearLog();
  h.unload();
  EXPECT_EQ(h.log(), (std::vector<LogLine>{{16, "TSL Combiner Plugin has been unloaded."}}));
}

TEST_F(CombinerE2E, TwoTrianglesWholeMeshThroughTheRecordBytes) {
  const HostMesh m = twoTriangles();
  connectMesh(h, 0, 1, m);
  h.connectLong(3, 9);
  evaluate();
  EXPECT_EQ(h.log(), countLines(6, 2, 2));
  const RecordCopy r = readRecord(h.customOutput(kOut));
  EXPECT_EQ(r.points, m.points);
  EXPECT_EQ(r.polygons, (std::vector<std::int32_t>{0, 1, 2, -2, 3, 4, 5, -2}));
  ASSERT_EQ(r.faceInfo.size(), 2u);
  EXPECT_NE(r.faceInfo[0].island, r.faceInfo[1].island);
  EXPECT_EQ(r.faceInfo[0].faceId, 9);
  EXPECT_EQ(r.faceInfo[1].faceId, 9);
  EXPECT_TRUE(r.uvw.empty());  // the reference is there, the array is empty
  EXPECT_EQ(r.bounds, (std::vector<Float3>{{0, 0, 0}, {3, 0.5f, 0}, {6, 1, 0}}));

  // A UVW array of two entries is not used.
  h.connectVector3Array(2, std::vector<host::Vec3f>{{1, 1, 1}, {2, 2, 2}});
  evaluate();
  EXPECT_TRUE(readRecord(h.customOutput(kOut)).uvw.empty());
}

TEST_F(CombinerE2E, TwoTrianglesFilteredWithUvw) {
  const HostMesh m = twoTriangles();
  connectMesh(h, 0, 1, m);
  h.connectLongArray(3, std::vector<std::int32_t>{1, 2});
  h.connectLong(5, 2);
  std::vector<host::Vec3f> uvw;
  for (int i = 0; i < 6; ++i) uvw.push_back({float(i), 0.5f, 0});
  h.connectVector3Array(2, uvw);
  evaluate();
  EXPECT_EQ(h.log(), countLines(6, 2, 2));
  const RecordCopy r = readRecord(h.customOutput(kOut));
  ASSERT_EQ(r.points.size(), 3u);
  ASSERT_EQ(r.polygons.size(), 4u);
  std::set<Float3, bool (*)(const Float3&, const Float3&)> used(
      [](const Float3& a, const Float3& b) {
        return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
      });
  for (int i = 0; i < 3; ++i) {
    ASSERT_GE(r.polygons[i], 0);
    ASSERT_LT(r.polygons[i], 3);
    used.insert(r.points[static_cast<std::size_t>(r.polygons[i])]);
  }
  EXPECT_EQ(used.size(), 3u);
  EXPECT_TRUE(used.count(Float3{5, 0, 0}) && used.count(Float3{6, 0, 0}) &&
              used.count(Float3{5, 1, 0}));
  EXPECT_EQ(r.faceInfo, (std::vector<FaceInfo>{{0, 2}}));
  EXPECT_EQ(r.uvw, (std::vector<Float3>{{3, 0.5f, 0}, {4, 0.5f, 0}, {5, 0.5f, 0}}));
  EXPECT_EQ(r.bounds.front(), (Float3{5, 0, 0}));
  EXPECT_EQ(r.bounds.back(), (Float3{6, 1, 0}));
}

TEST_F(CombinerE2E, FilterRulesThroughPorts) {
  const HostMesh m = twoTriangles();
  connectMesh(h, 0, 1, m);
  // A one-entry identifier list equal to the filter selects every face, all in island 0.
  h.connectLongArray(3, std::vector<std::int32_t>{4});
  h.connectLongArray(5, std::vector<std::int32_t>{4});
  evaluate();
  RecordCopy r = readRecord(h.customOutput(kOut));
  EXPECT_EQ(r.faceInfo, (std::vector<FaceInfo>{{0, 4}, {0, 4}}));

  // An empty filter array is no filter.
  h.connectLongArray(5, std::vector<std::int32_t>{});
  evaluate();
  r = readRecord(h.customOutput(kOut));
  EXPECT_NE(r.faceInfo[0].island, r.faceInfo[1].island);

  // A constant identifier sub-array stands for its element 0 on every face.
  h.connect(3, {2, true, {host::SubArrayData::constantOf<std::int32_t>(3, 2)}});
  h.connectLong(5, 3);
  evaluate();
  r = readRecord(h.customOutput(kOut));
  EXPECT_EQ(r.polygons.size(), 8u);

  // No face matches: a record of an empty mesh with zero bounds.
  h.connectLong(5, 77);
  evaluate();
  r = readRecord(h.customOutput(kOut));
  EXPECT_TRUE(r.points.empty());
  EXPECT_TRUE(r.polygons.empty());
  EXPECT_EQ(r.bounds, (std::vector<Float3>(3, Float3{0, 0, 0})));
}

TEST_F(CombinerE2E, OtherPortIdAndBeginEvaluateAroundAPublishedRecord) {
  connectMesh(h, 0, 1, cube());
  evaluate();
  const tsl::VastaTopoRecord refs = recordRefs(h.customOutput(kOut));
  ASSERT_NE(refs.points, nullptr);
  EXPECT_EQ(refs.points->size(), 8u);

  h.clearLog();
  EXPECT_EQ(h.evaluate(200), XSI::CStatus::OK);  // not the node's port: nothing happens
  EXPECT_EQ(h.customOutput(200).state, OutputState::Unwritten);
  EXPECT_TRUE(h.log().empty());
  EXPECT_EQ(refs.points->size(), 8u);
  EXPECT_EQ(refs.polygons->size(), 30u);
  EXPECT_EQ(refs.faceInfo->size(), 6u);

  h.beginEvaluate();  // the old record now refers to emptied arrays
  EXPECT_TRUE(refs.points->empty());
  EXPECT_TRUE(refs.polygons->empty());
  EXPECT_TRUE(refs.faceInfo->empty());
  EXPECT_TRUE(refs.bounds->empty());
  expectCleanCalls(h);
}

TEST_F(CombinerE2E, SingleValuedMeshPortsGiveTheEmptyOutputSilently) {
  h.connectVector3(0, {0, 0, 0});
  h.connectLongArray(1, twoTriangles().description);
  evaluate();
  EXPECT_EQ(h.customOutput(kOut).state, OutputState::Empty);
  EXPECT_TRUE(h.log().empty());
  h.disconnectAll();  // both at their single-valued defaults
  evaluate();
  EXPECT_EQ(h.customOutput(kOut).state, OutputState::Empty);
}

TEST_F(CombinerE2E, BadInputAlwaysGetsADefinedOutput) {
  struct Case {
    const char* what;
    std::vector<std::int32_t> description;
    OutputState state;
    std::size_t errors;
  };
  const Case cases[] = {
      {"index -1", {0, 1, 2, -1, -2}, OutputState::Empty, 1},
      {"index beyond the points", {0, 1, 6, -2}, OutputState::Empty, 1},
      {"double separator", {0, 1, 2, -2, -2}, OutputState::Empty, 1},
      {"empty description", {}, OutputState::Data, 0},
      {"no separator", {0, 1, 2, 3}, OutputState::Data, 0},
      {"1- and 2-vertex polygons", {0, -2, 1, 2, -2}, OutputState::Data, 0},
      {"repeated indices", {0, 0, 1, 1, 2, -2}, OutputState::Data, 0},
  };
  const HostMesh m = twoTriangles();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.clearLog();
    h.connectVector3Array(0, toVec3f(m.points));
    h.connectLongArray(1, c.description);
    evaluate();
    EXPECT_EQ(h.customOutput(kOut).state, c.state);
    std::size_t errors = 0;
    for (const auto& line : h.log()) errors += line.severity == 2;
    EXPECT_EQ(errors, c.errors);
    if (c.state == OutputState::Data) {
      const RecordCopy r = readRecord(h.customOutput(kOut));
      std::size_t faces = 0;
      for (std::int32_t v : r.polygons) {
        if (v == -2) {
          ++faces;
        } else {
          EXPECT_GE(v, 0);
          EXPECT_LT(v, static_cast<std::int32_t>(r.points.size()));
        }
      }
      EXPECT_EQ(r.faceInfo.size(), faces);
    }
  }

  auto nan = m;
  nan.points[2].x = std::numeric_limits<float>::quiet_NaN();
  h.clearLog();
  connectMesh(h, 0, 1, nan);
  evaluate();
  EXPECT_EQ(h.customOutput(kOut).state, OutputState::Empty);
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].severity, 4u);
}

TEST_F(CombinerE2E, KnotHasTwoClosedIslands) {
  const geom::MeshFile file =
      geom::readMeshFile(std::string(TSL_TEST_MESH_DIR) + "/data/meshes/knot2.off");
  HostMesh m;
  for (const auto& p : file.points) m.points.push_back({float(p.x), float(p.y), float(p.z)});
  for (const auto& poly : file.polygons) {
    m.description.insert(m.description.end(), poly.begin(), poly.end());
    m.description.push_back(-2);
  }
  connectMesh(h, 0, 1, m);
  evaluate();
  ASSERT_EQ(h.log().size(), 3u);
  EXPECT_EQ(h.log()[2].text, "Total num of PolyIslands:2");
  const RecordCopy r = readRecord(h.customOutput(kOut));
  std::set<std::int32_t> islands;
  for (const FaceInfo& fi : r.faceInfo) islands.insert(fi.island);
  EXPECT_EQ(islands, (std::set<std::int32_t>{0, 1}));

  // Closedness as a consumer would check it, from the published arrays.
  const geom::Polyhedron p = polyhedronOf(r.points, r.polygons);
  ASSERT_EQ(p.manifoldCount(), 2u);
  EXPECT_TRUE(p.manifold_is_closed()[0]);
  EXPECT_TRUE(p.manifold_is_closed()[1]);
}

}  // namespace
