#include "core/mesh_arrays.h"

#include <gtest/gtest.h>

#include "geom/error.h"
#include "support/mesh_builders.h"

namespace {

using tsl::LogLine;
using tsl::Severity;

TEST(DecodeDescription, ClosedPolygonsBecomeFaces) {
  const std::vector<std::int32_t> d{0, 1, 2, -2, 2, 3, 0, -2};
  const auto out = tsl::decodeDescription(d);
  EXPECT_EQ(out.faceCount(), 2u);
  EXPECT_EQ(out.offsets, (std::vector<std::uint32_t>{0, 3, 6}));
  EXPECT_EQ(out.corners, (std::vector<int>{0, 1, 2, 2, 3, 0}));
}

TEST(DecodeDescription, TrailingIndicesWithoutSeparatorAreDropped) {
  const std::vector<std::int32_t> d{0, 1, 2, -2, 2, 3};
  const auto out = tsl::decodeDescription(d);
  EXPECT_EQ(out.faceCount(), 1u);
  EXPECT_EQ(out.corners, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(tsl::decodeDescription(std::vector<std::int32_t>{0, 1, 2}).faceCount(), 0u);
  EXPECT_TRUE(tsl::decodeDescription(std::vector<std::int32_t>{0, 1, 2}).corners.empty());
  EXPECT_EQ(tsl::decodeDescription({}).faceCount(), 0u);
}

TEST(BuildWorkingMesh, NegativeIndexOtherThanSeparatorIsRejected) {
  const auto m = tsl::test::cube();
  EXPECT_THROW(tsl::buildWorkingMesh(m.points, std::vector<std::int32_t>{0, 1, 2, -1, -2}),
               geom::Error);
  EXPECT_THROW(tsl::buildWorkingMesh(m.points, std::vector<std::int32_t>{0, 1, 8, -2}),
               geom::Error);
  // Two separators in a row announce a polygon without vertices.
  EXPECT_THROW(tsl::buildWorkingMesh(m.points, std::vector<std::int32_t>{0, 1, 2, -2, -2}),
               geom::Error);
}

TEST(BuildWorkingMesh, VertexIsInputPointAndUnusedPointsStay) {
  std::vector<tsl::Float3> pts{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {3, 3, 3}};
  const auto mesh = tsl::buildWorkingMesh(pts, std::vector<std::int32_t>{2, 1, 0, -2});
  ASSERT_EQ(mesh->vertexCount(), 4u);
  EXPECT_EQ(mesh->vertices()[3], (geom::Vec3{3, 3, 3}));
  EXPECT_EQ(mesh->face(0)[0], 2);
}

TEST(BroadcastFaceIds, OneEntryLabelsEveryFaceAndShortListsNeverOverread) {
  const tsl::BroadcastFaceIds one({7});
  for (std::size_t f = 0; f < 4; ++f) EXPECT_EQ(one.at(f), 7);
  const tsl::BroadcastFaceIds two({1, 2});
  EXPECT_EQ(two.at(1), 2);
  EXPECT_EQ(two.at(2), -2);
  EXPECT_EQ(tsl::BroadcastFaceIds({}).at(0), -2);
}

TEST(ValidatingPolicies, FaceIdentifiers) {
  std::vector<LogLine> log;
  const auto sink = tsl::collectInto(log);
  EXPECT_TRUE(tsl::acceptFaceIds(true, 2, 2, sink));
  EXPECT_FALSE(tsl::acceptFaceIds(true, 0, 2, sink));
  EXPECT_FALSE(tsl::acceptFaceIds(false, 2, 2, sink));
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(tsl::acceptFaceIds(true, 3, 2, sink));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], (LogLine{Severity::Warning,
                             "Faces ID Array size doesn't much faces count , bypassed"}));
}

TEST(ValidatingPolicies, Uvw) {
  // Two triangles: description length 8, 2 faces, 6 polygon nodes.
  std::vector<LogLine> log;
  const auto sink = tsl::collectInto(log);
  EXPECT_TRUE(tsl::acceptUvw(true, 6, 8, 2, sink));
  EXPECT_FALSE(tsl::acceptUvw(true, 0, 8, 2, sink));
  EXPECT_FALSE(tsl::acceptUvw(true, 1, 8, 2, sink));
  EXPECT_FALSE(tsl::acceptUvw(false, 6, 8, 2, sink));
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(tsl::acceptUvw(true, 5, 8, 2, sink));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0],
            (LogLine{Severity::Warning, "UV samples count doesn't much faces count, UV bypassed"}));
  EXPECT_TRUE(tsl::copyPolicyUvw(true, 3));
  EXPECT_FALSE(tsl::copyPolicyUvw(true, 2));
  EXPECT_FALSE(tsl::copyPolicyUvw(false, 9));
}

}  // namespace
