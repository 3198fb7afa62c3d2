// The Boolean plug-in loaded and driven as the host drives it.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

#include "boolean/boolean.h"
#include "boolean/ports.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"

namespace {

using namespace tsl::test;

namespace port = tsl::boolean::port;
constexpr std::uint32_t kOut = port::kOutput;
constexpr std::uint32_t kAbout = port::kAbout;

// Corner positions as UVW, one per polygon node.
std::vector<host::Vec3f> positionsAsUvw(const HostMesh& m) {
  std::vector<host::Vec3f> uvw;
  for (std::int32_t v : m.description) {
    if (v != -2) {
      const Float3& p = m.points[static_cast<std::size_t>(v)];
      uvw.push_back({p.x, p.y, p.z});
    }
  }
  return uvw;
}

class BooleanE2E : public PluginSession {
 protected:
  BooleanE2E() : PluginSession("TSL_ICE_Boolean", kOut) {}
  HostMesh b = cube({1, 0.5f, 0.25f});

  void connectBoth() {
    connectMesh(h, port::kAPoints, port::kADescription, a);
    connectMesh(h, port::kBPoints, port::kBDescription, b);
  }
  void withIdsAndUvw() {
    h.connectLongArray(port::kAFaceId, std::vector<std::int32_t>{1, 2, 3, 4, 5, 6});
    h.connectLongArray(port::kBFaceId, std::vector<std::int32_t>{11, 12, 13, 14, 15, 16});
    h.connectVector3Array(port::kAUvw, positionsAsUvw(a));
    h.connectVector3Array(port::kBUvw, positionsAsUvw(b));
  }
  RecordCopy run(std::int32_t function) {
    h.connectLong(port::kFunction, function);
    evaluate();
    return record();
  }
};

TEST_F(BooleanE2E, RegistersTwelveInputsAndTwoOutputs) {
  EXPECT_EQ(h.plugin().name, "TSL_ICE_Boolean");
  EXPECT_EQ(h.plugin().author, "Ondrel");
  EXPECT_EQ(h.plugin().version, (std::pair<std::int32_t, std::int32_t>{1, 0}));
  const auto& n = h.node();
  EXPECT_EQ(n.name, "TSL_ICE_Boolean");
  EXPECT_EQ(n.displayName, "TSL ICE Boolean");
  EXPECT_EQ(n.categories, std::vector<std::string>{"Tessellon"});
  const std::uint32_t ids[] = {0, 1, 2, 9, 3, 4, 5, 10, 6, 7, 8, 11};
  const char* names[] = {"A Points", "A Descriptor",        "A UVW",       "A Face ID",
                         "B Points", "B Descriptor",        "B UVW",       "B Face ID",
                         "Function", "Classification type", "Triangulate", "Canonicalize"};
  const char* scripts[] = {"A_Points", "A_Descriptor",        "A_UVW",       "A_FaceID",
                           "B_Points", "B_Descriptor",        "B_UVW",       "B_FaceID",
                           "Function", "Classification_type", "Triangulate", "Canonicalize"};
  const std::uint32_t types[] = {16, 2, 16, 2, 16, 2, 16, 2, 2, 2, 1, 1};
  ASSERT_EQ(n.inputs.size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(n.inputs[i].id, ids[i]);
    EXPECT_EQ(n.inputs[i].name, names[i]);
    EXPECT_EQ(n.inputs[i].scriptName, scripts[i]);
    EXPECT_EQ(n.inputs[i].dataType, types[i]);
    EXPECT_EQ(n.inputs[i].structureType, 3u);
    EXPECT_EQ(n.inputs[i].contextConstraintId, 402u);
  }
  EXPECT_EQ(n.inputs[8].minValue.GetInt(), 0);
  EXPECT_EQ(n.inputs[8].maxValue.GetInt(), 4);
  EXPECT_EQ(n.inputs[9].defaultValue.GetInt(), 1);
  EXPECT_EQ(n.inputs[9].maxValue.GetInt(), 1);
  EXPECT_EQ(n.inputs[10].defaultValue.GetType(), XSI::CValue::siBool);
  EXPECT_FALSE(n.inputs[11].defaultValue.GetBool());
  EXPECT_TRUE(n.inputs[0].minValue.IsEmpty());
  ASSERT_EQ(n.outputs.size(), 2u);
  EXPECT_EQ(n.outputs[0].id, kOut);
  EXPECT_EQ(n.outputs[0].customTypes, std::vector<std::string>{"VastaTopo"});
  EXPECT_EQ(n.outputs[1].id, kAbout);
  EXPECT_EQ(n.outputs[1].dataType, 131072u);
  EXPECT_EQ(n.outputs[1].structureType, 2u);
  EXPECT_EQ(n.outputs[1].name, "About");
  EXPECT_EQ(n.outputs[1].scriptName, "About");
  EXPECT_EQ(n.outputs[1].contextConstraintId, 402u);
  EXPECT_TRUE(h.failedAsserts().empty());
}

TEST_F(BooleanE2E, AboutTextAndTermClearingTheStore) {
  h.evaluate(kAbout);
  EXPECT_EQ(h.stringOutputText(kAbout),
            "ICE Boolean plugin v1.4. Based on Carve CSG library. Visit /github.com/folded/carve/ "
            "for detail info.");
  connectBoth();
  run(0);
  const tsl::VastaTopoRecord refs = recordRefs(h.customOutput(kOut));
  ASSERT_NE(refs.points, nullptr);
  EXPECT_FALSE(refs.points->empty());
  h.term();
  EXPECT_TRUE(refs.points->empty());
  EXPECT_TRUE(refs.polygons->empty());
  EXPECT_TRUE(refs.faceInfo->empty());
  h.clearLog();
  h.unload();
  EXPECT_EQ(h.log(), (std::vector<LogLine>{{16, "TSL_ICE_Boolean has been unloaded."}}));
}

TEST_F(BooleanE2E, SingleValuedMeshPortsGiveTheEmptyOutputSilently) {
  for (std::uint32_t port : {0u, 1u, 3u, 4u}) {
    SCOPED_TRACE(port);
    connectBoth();
    if (port == 0 || port == 3) {
      h.connectVector3(port, {0, 0, 0});
    } else {
      h.connectLong(port, 0);
    }
    evaluate();
    EXPECT_EQ(h.customOutput(kOut).state, OutputState::Empty);
    EXPECT_TRUE(h.log().empty());
  }
}

TEST_F(BooleanE2E, OverlappingCubesCarryIdentifiersAndUvw) {
  connectBoth();
  withIdsAndUvw();
  struct Expect {
    std::int32_t function;
    std::size_t points, faces;
    double volume;
  };
  for (const Expect& e : {Expect{0, 20, 12, 13.375}, Expect{1, 8, 6, 2.625},
                          Expect{2, 14, 9, 5.375}, Expect{3, 14, 9, 5.375}}) {
    SCOPED_TRACE(e.function);
    const RecordCopy r = run(e.function);
    EXPECT_EQ(r.points.size(), e.points);
    EXPECT_EQ(r.faceInfo.size(), e.faces);
    EXPECT_NEAR(volumeOf(r.points, r.polygons), e.volume, 1e-5);
    ASSERT_EQ(h.log().size(), 3u);
    EXPECT_EQ(h.log()[0], (LogLine{8, "Total num of points:" + std::to_string(e.points)}));
    // Every face lies in the plane of the face its identifier names.
    const auto faces = facesOf(r.polygons);
    std::size_t corner = 0;
    for (std::size_t f = 0; f < faces.size(); ++f) {
      const std::int32_t id = r.faceInfo[f].faceId;
      ASSERT_TRUE((id >= 1 && id <= 6) || (id >= 11 && id <= 16)) << id;
      const HostMesh& src = id <= 6 ? a : b;
      const std::size_t sf = static_cast<std::size_t>(id <= 6 ? id - 1 : id - 11);
      const Float3& p0 = src.points[static_cast<std::size_t>(src.description[sf * 5])];
      const Float3& p1 = src.points[static_cast<std::size_t>(src.description[sf * 5 + 2])];
      for (int v : faces[f]) {
        const Float3& q = r.points[static_cast<std::size_t>(v)];
        const bool onPlane = (p0.x == p1.x && std::fabs(q.x - p0.x) < 1e-5f) ||
                             (p0.y == p1.y && std::fabs(q.y - p0.y) < 1e-5f) ||
                             (p0.z == p1.z && std::fabs(q.z - p0.z) < 1e-5f);
        EXPECT_TRUE(onPlane) << "face " << f << " id " << id;
        // The UVW field equals the position, so every corner carries its own position.
        const Float3& t = r.uvw[corner++];
        EXPECT_NEAR(t.x, q.x, 1e-5f);
        EXPECT_NEAR(t.y, q.y, 1e-5f);
        EXPECT_NEAR(t.z, q.z, 1e-5f);
      }
    }
  }
  const RecordCopy sym = run(4);
  EXPECT_EQ(sym.points.size(), 22u);
  EXPECT_EQ(islandsOf(sym.faceInfo).size(), 2u);
  EXPECT_NEAR(volumeOf(sym.points, sym.polygons), 10.75, 1e-5);
}

TEST_F(BooleanE2E, OptionRules) {
  connectBoth();
  const RecordCopy unionResult = run(0);
  // A last polygon without its closing -2 is no face.
  HostMesh trailing = a;
  trailing.description.insert(trailing.description.end(), {0, 1, 2});
  connectMesh(h, 0, 1, trailing);
  EXPECT_EQ(run(0).polygons, unionResult.polygons);
  connectMesh(h, 0, 1, a);
  // Values outside 0..4 mean union.
  EXPECT_EQ(run(5).polygons, unionResult.polygons);
  EXPECT_EQ(run(-1).polygons, unionResult.polygons);
  // Normal classification gives the same result as edge classification.
  h.connectLong(7, 0);
  EXPECT_EQ(run(0).polygons, unionResult.polygons);
  // Options given as arrays read their first entry; an empty array reads 0.
  h.connectLongArray(6, std::vector<std::int32_t>{1});
  h.beginEvaluate();
  h.evaluate(kOut);
  EXPECT_EQ(readRecord(h.customOutput(kOut)).points.size(), 8u);
  h.connectLongArray(6, std::vector<std::int32_t>{});
  h.beginEvaluate();
  h.evaluate(kOut);
  EXPECT_EQ(readRecord(h.customOutput(kOut)).polygons, unionResult.polygons);
  // Triangulate: every face a triangle, same volume.
  h.connectBool(8, true);
  const RecordCopy tri = run(0);
  for (const auto& f : facesOf(tri.polygons)) EXPECT_EQ(f.size(), 3u);
  EXPECT_NEAR(volumeOf(tri.points, tri.polygons), 13.375, 1e-5);
}

TEST_F(BooleanE2E, CanonicalizeCarriesNothingAndKeepsInputBounds) {
  const HostMesh far = cube({100, 200, 300}, 2.0f);
  a = far;
  b = cube({101, 200, 300}, 2.0f);
  connectBoth();
  withIdsAndUvw();
  h.connectBool(11, true);
  const RecordCopy r = run(0);
  EXPECT_TRUE(r.uvw.empty());
  EXPECT_TRUE(r.faceInfo.empty());
  ASSERT_EQ(r.bounds.size(), 3u);
  EXPECT_EQ(r.bounds[0], (Float3{98, 198, 298}));
  EXPECT_EQ(r.bounds[2], (Float3{103, 202, 302}));
  // Vertices sorted by position.
  for (std::size_t i = 1; i < r.points.size(); ++i) {
    EXPECT_LE(r.points[i - 1].x, r.points[i].x);
  }
}

TEST_F(BooleanE2E, UvwAndIdentifierDefaults) {
  connectBoth();
  // One UVW entry attaches nothing, but the array port still fills uvw, with zeros.
  h.connectVector3Array(2, std::vector<host::Vec3f>{{5, 5, 5}});
  RecordCopy r = run(0);
  ASSERT_EQ(r.uvw.size(), r.polygons.size() - r.faceInfo.size());
  for (const Float3& t : r.uvw) EXPECT_EQ(t, (Float3{0, 0, 0}));
  // Unconnected Face ID ports carry their default 0 to every face.
  for (const FaceInfo& fi : r.faceInfo) EXPECT_EQ(fi.faceId, 0);
  // UVW on B only: B's corners carry theirs (here their positions), A's zeros.
  h.disconnect(2);
  h.connectVector3Array(port::kBUvw, positionsAsUvw(b));
  r = run(0);
  {
    std::size_t corner = 0, fromB = 0, zeros = 0;
    for (const auto& f : facesOf(r.polygons)) {
      for (const int v : f) {
        const Float3& t = r.uvw[corner++];
        const Float3& q = r.points[static_cast<std::size_t>(v)];
        if (t == Float3{0, 0, 0}) {
          ++zeros;
          continue;
        }
        ++fromB;
        EXPECT_NEAR(t.x, q.x, 1e-5f);
        EXPECT_NEAR(t.y, q.y, 1e-5f);
        EXPECT_NEAR(t.z, q.z, 1e-5f);
      }
    }
    EXPECT_GT(fromB, 0u);
    EXPECT_GT(zeros, 0u);
  }
  h.disconnect(port::kBUvw);
  // Neither UVW port carries an array: no uvw, faceInfo still filled.
  h.disconnect(2);
  h.connectLong(9, 7);
  h.connectLongArray(10, std::vector<std::int32_t>{11});  // shorter than B's faces
  r = run(0);
  EXPECT_TRUE(r.uvw.empty());
  ASSERT_EQ(r.faceInfo.size(), 12u);
  std::size_t sevens = 0, elevens = 0, none = 0;
  for (const FaceInfo& fi : r.faceInfo) {
    sevens += fi.faceId == 7;
    elevens += fi.faceId == 11;
    none += fi.faceId == -2;
  }
  EXPECT_EQ(sevens, 6u);
  EXPECT_EQ(elevens, 1u);  // only B's first face has an entry
  EXPECT_EQ(none, 5u);
}

TEST_F(BooleanE2E, EngineFailurePassesAThrough) {
  a = withoutFace(cube(), 2);
  // One face turned against its neighbours: the engine refuses that; and a trailing unclosed
  // polygon.
  std::reverse(a.description.begin(), std::find(a.description.begin(), a.description.end(), -2));
  a.description.insert(a.description.end(), {0, 1});
  connectBoth();
  h.connectLongArray(9, std::vector<std::int32_t>{1, 2, 3, 4, 5});
  const RecordCopy r = run(0);
  ASSERT_EQ(h.log().size(), 2u);
  EXPECT_EQ(h.log()[0], (LogLine{4, tsl::boolean::kFallbackWarning}));
  // The engine's reason right after, for whoever reads the verbose lines.
  EXPECT_EQ(h.log()[1], (LogLine{16,
                                 "ICE BOOLEAN: operand A is not consistently oriented: 3 "
                                 "edges are used twice in the same direction"}));
  EXPECT_EQ(r.points, a.points);
  EXPECT_EQ(r.polygons, std::vector<std::int32_t>(a.description.begin(), a.description.end() - 2));
  EXPECT_TRUE(r.bounds.empty());
  ASSERT_EQ(r.faceInfo.size(), 5u);
  EXPECT_EQ(r.faceInfo[4], (FaceInfo{1, 5}));  // the turned face is an island of its own
  EXPECT_EQ(r.uvw, std::vector<Float3>(1, Float3{0, 0, 0}));

  h.connectBool(11, true);  // canonical order carries nothing, in the fallback too
  const RecordCopy c = run(0);
  EXPECT_TRUE(c.faceInfo.empty());
  EXPECT_TRUE(c.uvw.empty());
  EXPECT_EQ(c.points, a.points);
}

TEST_F(BooleanE2E, PiecesBadIndicesAndEmptyInput) {
  b = cube({3, 0, 0});
  connectBoth();
  RecordCopy r = run(0);
  EXPECT_EQ(r.points.size(), 16u);
  EXPECT_EQ(islandsOf(r.faceInfo), (std::set<std::int32_t>{0, 1}));
  EXPECT_NEAR(volumeOf(r.points, r.polygons), 16.0, 1e-5);

  // The union with an empty mesh is the other mesh.
  h.connectLongArray(1, std::vector<std::int32_t>{});
  r = run(0);
  EXPECT_EQ(r.faceInfo.size(), 6u);
  EXPECT_NEAR(volumeOf(r.points, r.polygons), 8.0, 1e-5);

  h.connectLongArray(1, std::vector<std::int32_t>{0, 1, 2, -1, -2});
  h.clearLog();
  h.beginEvaluate();
  h.evaluate(kOut);
  EXPECT_EQ(h.customOutput(kOut).state, OutputState::Empty);
  ASSERT_EQ(h.log().size(), 1u);
  EXPECT_EQ(h.log()[0].severity, 2u);
  expectCleanCalls(h);
}

}  // namespace
