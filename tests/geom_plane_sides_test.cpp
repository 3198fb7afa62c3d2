// The quick separation test in front of the exact triangle tests: a side it decides is the
// exact side, even where double arithmetic alone gets the sign wrong, and two triangles it
// calls apart never meet.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geom/csg/plane_sides.h"
#include "geom/csg/self_intersection.h"
#include "geom/predicates.h"

namespace {

using geom::Vec3;
using geom::csg::PlaneSides;

// Points on a fine grid of doubles around a plane through three points far from the origin,
// where the naive determinant's sign is noise: every decided side agrees with the exact one,
// and points clearly off the plane are decided.
TEST(PlaneSides, DecidedSidesAreExactNearAPlane) {
  const std::vector<Vec3> corners{{12.1, 12.3, 7.7}, {24.9, 24.1, 13.3}, {3.3, 17.9, 1.1}};
  const std::vector<std::array<int, 3>> tris{{0, 1, 2}};
  PlaneSides sides(corners, tris);
  const Vec3 u = corners[1] - corners[0], w = corners[2] - corners[0];
  const Vec3 n = geom::cross(u, w);
  int decided = 0, undecided = 0;
  for (int i = 0; i < 64; ++i) {
    for (int j = 0; j < 64; ++j) {
      // On the plane in exact terms up to rounding, then nudged by a few units in the last
      // place along z.
      Vec3 q = corners[0] + u * (0.01 * i) + w * (0.013 * j);
      for (int k = 0; k < (i + j) % 5; ++k) q.z = std::nextafter(q.z, (i % 2) ? 1e9 : -1e9);
      const int s = sides.side(0, q);
      const int exact = geom::orient3d(corners[0], corners[1], corners[2], q);
      if (s != 0) {
        EXPECT_EQ(s, exact) << i << " " << j;
        ++decided;
      } else {
        ++undecided;
      }
    }
  }
  EXPECT_GT(undecided, 0);
  EXPECT_EQ(sides.side(0, corners[0] + n * 1e-3), 1);
  EXPECT_EQ(sides.side(0, corners[0] - n * 1e-3), -1);
  // Random points at all distances: whatever is decided is exact.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (int k = 0; k < 20000; ++k) {
    const double scale = std::pow(10.0, -static_cast<int>(k % 16));
    const Vec3 q = corners[0] + u * d(rng) + w * d(rng) + n * (scale * d(rng) / geom::length(n));
    const int s = sides.side(0, q);
    if (s != 0) {
      EXPECT_EQ(s, geom::orient3d(corners[0], corners[1], corners[2], q)) << k;
    }
    decided += s != 0;
  }
  EXPECT_GT(decided, 10000);
}

// Pairs around shared corners and across meshes: apart only where the exact test finds no
// meeting, and decided for the plain cases.
TEST(PlaneSides, ApartOnlyWhenTheTrianglesDoNotMeet) {
  const std::vector<Vec3> p{{0, 0, 0},     {1, 0, 0}, {0, 1, 0},       // 0-2: a triangle in z = 0
                            {0, 0, 1},     {1, 1, 1}, {0.2, 0.2, -1},  // 3-5
                            {0.3, 0.3, 0}, {2, 0, 1}, {-1, 2, 0}};
  const std::vector<std::array<int, 3>> tris{
      {0, 1, 2},  // 0
      {0, 3, 4},  // 1: shares corner 0, above the plane
      {0, 4, 5},  // 2: shares corner 0, crosses through triangle 0
      {1, 2, 3},  // 3: shares edge 1-2, folds up
      {2, 1, 6},  // 4: shares edge 1-2, lies on triangle 0 (folded onto it)
      {3, 4, 7},  // 5: nothing shared, above
      {6, 7, 8},  // 6: nothing shared, touches triangle 0 at corner 6 inside it
  };
  PlaneSides sides(p, tris);
  for (std::uint32_t a = 0; a < tris.size(); ++a) {
    for (std::uint32_t b = a + 1; b < tris.size(); ++b) {
      if (sides.apart(a, b)) {
        EXPECT_FALSE(geom::csg::meetApart(p, tris[a], tris[b])) << a << " " << b;
      }
    }
  }
  EXPECT_TRUE(sides.apart(0, 1));
  EXPECT_TRUE(sides.apart(0, 3));
  EXPECT_TRUE(sides.apart(0, 5));
  EXPECT_FALSE(sides.apart(0, 2));
  EXPECT_FALSE(sides.apart(0, 4));
  EXPECT_FALSE(sides.apart(0, 6));
  EXPECT_FALSE(sides.apart(0, 0));  // the same corners: they meet

  // Across meshes nothing is shared by index: a triangle touching another's plane in a corner
  // is not apart, one above it is.
  const std::vector<Vec3> q{{0.2, 0.2, 0}, {3, 0, 2}, {0, 3, 2}, {0, 0, 0.5}, {1, 0, 2}, {0, 1, 2}};
  const std::vector<std::array<int, 3>> other{{0, 1, 2}, {3, 4, 5}};
  PlaneSides otherSides(q, other);
  EXPECT_FALSE(sides.apart(0, otherSides, 0));
  EXPECT_TRUE(sides.apart(0, otherSides, 1));
}

}  // namespace
