#include "core/topo_store.h"

#include <gtest/gtest.h>

#include "core/island_analysis.h"
#include "core/mesh_arrays.h"
#include "support/mesh_builders.h"

namespace {

using tsl::Float3;

TEST(TopoStore, CubeRecordContents) {
  const auto m = tsl::test::cube();
  const auto mesh = tsl::buildWorkingMesh(m.points, m.description);
  tsl::TopoStore store;
  tsl::writeMesh(store, *mesh);
  tsl::writeBounds(store, mesh->aabb());
  EXPECT_EQ(store.points.size(), 8u);
  ASSERT_EQ(store.polygons.size(), 30u);
  for (std::size_t f = 0; f < 6; ++f) EXPECT_EQ(store.polygons[f * 5 + 4], -2);
  EXPECT_EQ(store.polygons, m.description);
  ASSERT_EQ(store.bounds.size(), 3u);
  EXPECT_EQ(store.bounds[0], (Float3{-1, -1, -1}));
  EXPECT_EQ(store.bounds[1], (Float3{0, 0, 0}));
  EXPECT_EQ(store.bounds[2], (Float3{1, 1, 1}));
}

TEST(TopoStore, RecordRefersToTheArrayObjectsAndClearKeepsCapacity) {
  tsl::TopoStore store;
  store.points.resize(100);
  store.polygons.resize(50);
  store.faceInfo.resize(10);
  const std::size_t capacity = store.points.capacity();
  const tsl::VastaTopoRecord r = tsl::recordOf(store);
  tsl::clearTopoStore(store);
  // The old record still points at the (now empty) arrays: a consumer sees no stale data.
  EXPECT_EQ(r.points, &store.points);
  EXPECT_EQ(r.bounds, &store.bounds);
  EXPECT_TRUE(r.points->empty());
  EXPECT_TRUE(r.polygons->empty());
  EXPECT_TRUE(r.faceInfo->empty());
  EXPECT_EQ(store.points.capacity(), capacity);
}

TEST(IslandAnalysis, CountLinesAndClosedness) {
  auto two = tsl::test::cube();
  two.append(tsl::test::cube({5, 0, 0}));
  const auto mesh = tsl::buildWorkingMesh(two.points, two.description);
  std::vector<tsl::LogLine> log;
  tsl::logMeshCounts(*mesh, tsl::collectInto(log));
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], (tsl::LogLine{tsl::Severity::Info, "Total num of points:16"}));
  EXPECT_EQ(log[1], (tsl::LogLine{tsl::Severity::Info, "Total num of faces:12"}));
  EXPECT_EQ(log[2], (tsl::LogLine{tsl::Severity::Info, "Total num of PolyIslands:2"}));
  EXPECT_EQ(tsl::islandCount(*mesh), 2);
  EXPECT_EQ(tsl::islandOf(*mesh, 7), 1);
  EXPECT_TRUE(tsl::allIslandsClosed(*mesh));

  const auto open = tsl::test::withoutFace(tsl::test::cube(), 0);
  EXPECT_FALSE(tsl::allIslandsClosed(*tsl::buildWorkingMesh(open.points, open.description)));
  EXPECT_TRUE(tsl::allIslandsClosed(geom::Polyhedron()));
}

}  // namespace
