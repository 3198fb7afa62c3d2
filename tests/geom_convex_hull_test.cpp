#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "geom/convex_hull.h"
#include "geom/predicates.h"

namespace {

using geom::Vec3;

double volumeOf(const std::vector<Vec3>& p, const std::vector<std::array<int, 3>>& tris) {
  double v = 0;
  for (const auto& t : tris) v += geom::dot(p[t[0]], geom::cross(p[t[1]], p[t[2]])) / 6;
  return v;
}

// Corners of a box, with points inside it, on its faces and edges, and repeats: the hull is the
// box's eight corners in twelve outward triangles with area.
TEST(ConvexHull, KeepsOnlyExtremePointsWoundOutwards) {
  std::vector<Vec3> pts;
  for (int i = 0; i < 8; ++i)
    pts.push_back({i & 1 ? 2.0 : 0.0, i & 2 ? 1.0 : 0.0, i & 4 ? 0.5 : 0.0});
  pts.push_back({1, 0.5, 0.25});  // inside
  pts.push_back({1, 0, 0});       // on an edge
  pts.push_back({1, 0.5, 0});     // on a face
  pts.push_back(pts[3]);          // a repeat
  std::vector<Vec3> corners;
  std::vector<std::array<int, 3>> tris;
  ASSERT_TRUE(geom::convexHull(pts, corners, tris));
  EXPECT_EQ(corners.size(), 8u);
  EXPECT_EQ(tris.size(), 12u);
  EXPECT_DOUBLE_EQ(volumeOf(corners, tris), 1.0);
  for (const auto& t : tris)
    EXPECT_FALSE(geom::collinear(corners[t[0]], corners[t[1]], corners[t[2]]));
}

TEST(ConvexHull, PointsWithoutVolumeGiveNoHull) {
  std::vector<Vec3> corners{{9, 9, 9}};
  std::vector<std::array<int, 3>> tris{{0, 0, 0}};
  EXPECT_FALSE(geom::convexHull(std::vector<Vec3>{}, corners, tris));
  EXPECT_TRUE(corners.empty() && tris.empty());
  EXPECT_FALSE(geom::convexHull(std::vector<Vec3>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, corners, tris));
  EXPECT_FALSE(geom::convexHull(std::vector<Vec3>(5, Vec3{1, 2, 3}), corners, tris));
  // Many points on one tilted plane (x = z, exactly), then on one line.
  std::vector<Vec3> flat, line;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < 50; ++i) {
    const double a = u(rng), b = u(rng);
    flat.push_back({a, b, a});
    line.push_back(Vec3{0.1, 0.2, 0.3} * a);
  }
  EXPECT_FALSE(geom::convexHull(flat, corners, tris));
  EXPECT_FALSE(geom::convexHull(line, corners, tris));
}

// A sliver a few units in the last place thick: still a valid hull, every triangle with area.
TEST(ConvexHull, SliverOfAFewUlpsIsASolid) {
  std::vector<Vec3> pts;
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  for (int i = 0; i < 60; ++i) {
    const double x = u(rng), y = u(rng);
    const double z = (i % 2) ? 0.5 : std::nextafter(std::nextafter(0.5, 1.0), 1.0);
    pts.push_back({x, y, z});
  }
  std::vector<Vec3> corners;
  std::vector<std::array<int, 3>> tris;
  ASSERT_TRUE(geom::convexHull(pts, corners, tris));
  EXPECT_GT(volumeOf(corners, tris), 0);
  for (const auto& t : tris)
    EXPECT_FALSE(geom::collinear(corners[t[0]], corners[t[1]], corners[t[2]]));
}

}  // namespace
