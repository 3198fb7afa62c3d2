#include "combiner/combiner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/mesh_builders.h"

namespace {

using tsl::Float3;
using tsl::LogLine;
using tsl::Outcome;
using tsl::Severity;
using tsl::combiner::CombinerInput;

struct Result {
  Outcome outcome;
  tsl::TopoStore store;
  std::vector<LogLine> log;
};

Result run(const tsl::test::HostMesh& m, std::vector<std::int32_t> ids, std::int32_t filter,
           const std::vector<Float3>* uvw = nullptr) {
  CombinerInput in;
  in.points = m.points;
  in.description = m.description;
  in.faceIds = std::move(ids);
  in.filter = filter;
  if (uvw != nullptr) {
    in.uvwIsArray = true;
    in.uvw = *uvw;
  }
  Result r;
  r.outcome = tsl::combiner::combine(in, r.store, tsl::collectInto(r.log));
  return r;
}

std::vector<Float3> sixUvws() {
  return {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}};
}

TEST(CombinerWhole, TwoTrianglesWithOneIdentifier) {
  const auto m = tsl::test::twoTriangles();
  const Result r = run(m, {9}, -1);
  ASSERT_EQ(r.outcome, Outcome::Published);
  EXPECT_EQ(r.store.points, m.points);
  EXPECT_EQ(r.store.polygons, (std::vector<std::int32_t>{0, 1, 2, -2, 3, 4, 5, -2}));
  ASSERT_EQ(r.store.faceInfo.size(), 2u);
  EXPECT_NE(r.store.faceInfo[0].island, r.store.faceInfo[1].island);
  EXPECT_EQ(r.store.faceInfo[0].faceId, 9);
  EXPECT_EQ(r.store.faceInfo[1].faceId, 9);
  EXPECT_TRUE(r.store.uvw.empty());
  ASSERT_EQ(r.log.size(), 3u);
  EXPECT_EQ(r.log[0].text, "Total num of points:6");
  EXPECT_EQ(r.log[1].text, "Total num of faces:2");
  EXPECT_EQ(r.log[2].text, "Total num of PolyIslands:2");
}

TEST(CombinerWhole, UvwCopyPolicyAndShortIdentifierList) {
  const auto m = tsl::test::twoTriangles();
  const std::vector<Float3> two{{1, 1, 1}, {2, 2, 2}};
  EXPECT_TRUE(run(m, {1, 2}, -1, &two).store.uvw.empty());
  const auto six = sixUvws();
  EXPECT_EQ(run(m, {1, 2}, -1, &six).store.uvw, six);
  // An empty identifier list labels nothing rather than reading past its end.
  const Result r = run(m, {}, -1);
  EXPECT_EQ(r.store.faceInfo[0].faceId, -2);
  EXPECT_EQ(r.store.faceInfo[1].faceId, -2);
}

TEST(CombinerFiltered, SelectsOneFaceOverItsOwnPoints) {
  const auto m = tsl::test::twoTriangles();
  const auto six = sixUvws();
  const Result r = run(m, {1, 2}, 2, &six);
  ASSERT_EQ(r.outcome, Outcome::Published);
  ASSERT_EQ(r.store.points.size(), 3u);
  EXPECT_EQ(r.store.points[0], (Float3{5, 0, 0}));
  ASSERT_EQ(r.store.polygons.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_GE(r.store.polygons[i], 0);
    EXPECT_LT(r.store.polygons[i], 3);
  }
  EXPECT_EQ(r.store.polygons[3], -2);
  ASSERT_EQ(r.store.faceInfo.size(), 1u);
  EXPECT_EQ(r.store.faceInfo[0], (tsl::FaceInfo{0, 2}));
  EXPECT_EQ(r.store.uvw, (std::vector<Float3>{six[3], six[4], six[5]}));
  EXPECT_EQ(r.store.bounds[0], (Float3{5, 0, 0}));
  EXPECT_EQ(r.store.bounds[2], (Float3{6, 1, 0}));
  // The counts describe the whole input, before filtering.
  EXPECT_EQ(r.log[0].text, "Total num of points:6");
  EXPECT_EQ(r.log[2].text, "Total num of PolyIslands:2");
}

TEST(CombinerFiltered, EdgeCasesOfTheFilter) {
  const auto m = tsl::test::twoTriangles();
  const Result all = run(m, {4}, 4);  // the only identifier: every face, all in island 0
  ASSERT_EQ(all.store.faceInfo.size(), 2u);
  EXPECT_EQ(all.store.faceInfo[1], (tsl::FaceInfo{0, 4}));
  EXPECT_EQ(all.store.points.size(), 6u);

  const Result none = run(m, {1, 2}, 3);  // matches nothing: an empty mesh with zero bounds
  ASSERT_EQ(none.outcome, Outcome::Published);
  EXPECT_TRUE(none.store.points.empty());
  EXPECT_TRUE(none.store.polygons.empty());
  EXPECT_EQ(none.store.bounds, (std::vector<Float3>(3, Float3{0, 0, 0})));

  const std::vector<Float3> four(4);  // too short for the second triangle's corners
  EXPECT_TRUE(run(m, {1, 2}, 2, &four).store.uvw.empty());
}

TEST(CombinerBadInput, DefinedOutputForEveryFault) {
  auto m = tsl::test::twoTriangles();
  m.description = {0, 1, 2, -1, -2};
  Result r = run(m, {}, -1);
  EXPECT_EQ(r.outcome, Outcome::Empty);
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_EQ(r.log[0].severity, Severity::Error);
  EXPECT_NE(r.log[0].text.find("-1"), std::string::npos);

  m.description = {0, 1, 6, -2};
  EXPECT_EQ(run(m, {}, -1).outcome, Outcome::Empty);

  auto nan = tsl::test::twoTriangles();
  nan.points[4].y = std::numeric_limits<float>::quiet_NaN();
  r = run(nan, {}, -1);
  EXPECT_EQ(r.outcome, Outcome::Empty);
  EXPECT_EQ(r.log.size(), 1u);

  // No complete polygon: an empty mesh, still published, with the points as given.
  auto none = tsl::test::twoTriangles();
  none.description = {0, 1, 2};
  r = run(none, {}, -1);
  EXPECT_EQ(r.outcome, Outcome::Published);
  EXPECT_TRUE(r.store.polygons.empty());
  EXPECT_EQ(r.log[1].text, "Total num of faces:0");
  EXPECT_EQ(r.log[2].text, "Total num of PolyIslands:0");

  // Degenerate polygons are published as given, each its own open island.
  auto small = tsl::test::twoTriangles();
  small.description = {0, -2, 1, 2, -2, 3, 3, 4, -2};
  r = run(small, {}, -1);
  ASSERT_EQ(r.outcome, Outcome::Published);
  EXPECT_EQ(r.store.polygons, small.description);
  EXPECT_EQ(r.store.faceInfo.size(), 3u);
}

}  // namespace
