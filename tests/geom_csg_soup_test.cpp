// Triangles cut along their crossings one by one, in exact arithmetic: the pieces meet only in
// shared edges and corners, cover each triangle exactly once with its winding, and where
// triangles overlap in their plane, the overlap is one sheet or none. A closed surface so cut
// resolves into the surface of the solid it stands for.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "geom/csg/operand.h"
#include "geom/csg/resolve.h"
#include "geom/csg/self_intersection.h"
#include "geom/csg/soup_refine.h"
#include "support/csg_meshes.h"

namespace {

using geom::Vec3;
using geom::csg::RefinedSoup;
using geom::csg::refineSoup;
using Tris = std::vector<std::array<int, 3>>;

Vec3 vectorArea(const std::vector<Vec3>& p, const std::array<int, 3>& t) {
  return geom::cross(p[t[1]] - p[t[0]], p[t[2]] - p[t[0]]) * 0.5;
}

std::size_t meetingPairs(const RefinedSoup& r) {
  std::vector<std::uint8_t> fresh(r.tris.size(), 1);
  std::vector<std::uint32_t> group(r.tris.size());
  for (std::size_t t = 0; t < group.size(); ++t) group[t] = static_cast<std::uint32_t>(t);
  std::size_t n = 0;
  geom::csg::meetingTriangles(r.points, r.tris, fresh, group,
                              [&](std::size_t, std::size_t) { ++n; });
  return n;
}

TEST(SoupRefine, CrossingTrianglesAreCutIntoPiecesThatOnlyShareEdges) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> at(0, 4), off(-1.5, 1.5);
  std::vector<Vec3> points;
  Tris tris;
  for (int t = 0; t < 40; ++t) {
    const Vec3 c{at(rng), at(rng), at(rng)};
    const int base = static_cast<int>(points.size());
    for (int k = 0; k < 3; ++k) points.push_back(c + Vec3{off(rng), off(rng), off(rng)});
    tris.push_back({base, base + 1, base + 2});
  }
  const RefinedSoup r = refineSoup(points, tris);
  ASSERT_GT(r.tris.size(), 2 * tris.size());  // they cross a lot
  EXPECT_EQ(meetingPairs(r), 0u);
  // Each triangle's pieces add up to it, wound as it is.
  std::vector<Vec3> sum(tris.size());
  for (std::size_t t = 0; t < r.tris.size(); ++t) {
    sum[r.sourceTri[t]] = sum[r.sourceTri[t]] + vectorArea(r.points, r.tris[t]);
  }
  for (std::size_t t = 0; t < tris.size(); ++t) {
    const Vec3 want = vectorArea(points, tris[t]);
    EXPECT_LT(geom::length(sum[t] - want), 1e-9 * geom::length(want)) << "triangle " << t;
  }
}

TEST(SoupRefine, WhereThreeTrianglesCrossInOnePointThatPointIsOneVertex) {
  // In the planes x = 0.1, y = 0.2 and z = 0.3.
  const std::vector<Vec3> points{{0.1, -2, -2}, {0.1, 3, -2}, {0.1, -2, 3},
                                 {-2, 0.2, -2}, {-2, 0.2, 3}, {3, 0.2, -2},
                                 {-2, -2, 0.3}, {3, -2, 0.3}, {-2, 3, 0.3}};
  const RefinedSoup r = refineSoup(points, {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}});
  EXPECT_EQ(meetingPairs(r), 0u);
  int centre = -1;
  for (std::size_t v = 0; v < r.points.size(); ++v) {
    if (r.points[v] == Vec3{0.1, 0.2, 0.3}) centre = static_cast<int>(v);
  }
  ASSERT_GE(centre, 0);
  std::array<int, 3> piecesAtCentre{0, 0, 0};
  for (std::size_t t = 0; t < r.tris.size(); ++t) {
    for (int v : r.tris[t]) piecesAtCentre[r.sourceTri[t]] += v == centre;
  }
  for (int n : piecesAtCentre) EXPECT_EQ(n, 4);  // two cuts cross there: four corners
}

TEST(SoupRefine, AnOverlapIsOneSheetOrNoneByWinding) {
  // Two triangles of area 8 in z = 0 whose overlap is a triangle of area 2.
  const std::vector<Vec3> points{{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {1, 1, 0}, {5, 1, 0}, {1, 5, 0}};
  for (const bool against : {false, true}) {
    SCOPED_TRACE(against ? "wound against each other" : "wound alike");
    const Tris tris{{0, 1, 2}, against ? std::array<int, 3>{3, 5, 4} : std::array<int, 3>{3, 4, 5}};
    const RefinedSoup r = refineSoup(points, tris);
    EXPECT_EQ(meetingPairs(r), 0u);
    double area = 0, up = 0;
    for (const auto& t : r.tris) {
      const Vec3 a = vectorArea(r.points, t);
      area += geom::length(a);
      up += a.z;
    }
    // Alike: their union, covered once. Against: the overlap cancels, the rest stays.
    EXPECT_NEAR(area, against ? 12.0 : 14.0, 1e-12);
    EXPECT_NEAR(up, against ? 0.0 : 14.0, 1e-12);
  }
}

// Two cubes in one mesh, crossing each other, or pressed face to face (their faces lie on one
// another there, wound against each other): the union's surface, closed and valid, as CGAL's
// autorefinement gives where it can.
TEST(SoupRefine, ACrossingClosedSurfaceResolvesIntoItsUnion) {
  using namespace tsl::csgtest;
  const geom::csg::Grid grid{true, {0, 0, 0}, 1.0};
  struct Case {
    const char* name;
    geom::Polyhedron mesh;
    double volume;
  };
  const Case cases[] = {
      {"crossing", merged(cube({0, 0, 0}, 1.0), cube({1, 0.5, 0.25}, 1.0)), 16 - 1.0 * 1.5 * 1.75},
      {"face to face", merged(cube({0, 0, 0}, 1.0), cube({2, 0.5, 0.5}, 1.0)), 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const geom::csg::TriangulatedOperand op = geom::csg::prepareOperand(c.mesh, "operand A");
    ASSERT_TRUE(geom::csg::selfIntersects(op));
    const geom::csg::ResolvedOperand r = geom::csg::resolveBySoup(op, grid);
    EXPECT_TRUE(allClosed(r.mesh));
    EXPECT_NEAR(volume(r.mesh), c.volume, 1e-9);
    EXPECT_FALSE(geom::csg::selfIntersects(geom::csg::prepareOperand(r.mesh, "operand A")));
    ASSERT_EQ(r.sourceFace.size(), r.mesh.faceCount());
    for (const std::uint32_t f : r.sourceFace) EXPECT_LT(f, c.mesh.faceCount());
  }
}

}  // namespace
