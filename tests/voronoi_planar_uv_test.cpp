#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "voronoi/planar_uv.h"
#include "xsi_math.h"

namespace {

using geom::Vec3;
using XSI::MATH::CRotation;
using XSI::MATH::CVector3;

TEST(XsiMath, NormalizeAngleAndTheRotationConvention) {
  CVector3 v(3, 0, 4), zero;
  EXPECT_TRUE(v.NormalizeInPlace().Succeeded());
  EXPECT_EQ(v, CVector3(0.6, 0, 0.8));
  EXPECT_FALSE(zero.NormalizeInPlace().Succeeded());
  EXPECT_EQ(zero, CVector3());

  const CVector3 x(2, 0, 0);
  EXPECT_DOUBLE_EQ(x.GetAngle(CVector3(0, 5, 0)), M_PI / 2);
  EXPECT_DOUBLE_EQ(x.GetAngle(CVector3(-1, 0, 0)), M_PI);
  EXPECT_NEAR(x.GetAngle(CVector3(1, 1e-9, 0)), 1e-9, 1e-20);  // acos would say 0
  EXPECT_EQ(CVector3(-0.0, 0, 0).GetAngle(x), 0.0);            // not pi from a -0 dot

  // About z by a quarter turn: the matrix takes column x to y, so row x goes to -y.
  CRotation r;
  r.SetFromAxisAngle(CVector3(0, 0, 2), M_PI / 2);
  EXPECT_NEAR(r.GetMatrix().GetValue(1, 0), 1.0, 1e-15);
  EXPECT_NEAR(r.GetMatrix().GetValue(0, 1), -1.0, 1e-15);
  CVector3 row(1, 0, 0);
  row.MulByMatrix3InPlace(r.GetMatrix());
  EXPECT_NEAR(row.GetY(), -1.0, 1e-15);
  r.SetFromAxisAngle(CVector3(), 1.0);  // zero axis: the identity
  for (short i = 0; i < 3; ++i) {
    for (short j = 0; j < 3; ++j) EXPECT_EQ(r.GetMatrix().GetValue(i, j), i == j ? 1.0 : 0.0);
  }
}

Vec3 unit(const Vec3& v) {
  return v * (1.0 / geom::length(v));
}

TEST(PlanarUvw, MapsEachFaceRigidlyOntoAPlaneOfConstantDepth) {
  std::vector<Vec3> normals{{1, 0, 0}, {-1, 0, 0}, {0, 1, 0},   {0, -1, 0},
                            {0, 0, 1}, {0, 0, -1}, {1e-9, 0, 1}};
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int i = 0; i < 40; ++i) normals.push_back({u(gen), u(gen), u(gen)});
  for (const Vec3& raw : normals) {
    const Vec3 n = unit(raw);
    const Vec3 e1 = unit(geom::cross(n, std::fabs(n.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0}));
    const Vec3 e2 = geom::cross(n, e1), o{3 * u(gen), 3 * u(gen), 3 * u(gen)};
    std::vector<Vec3> face;  // an irregular pentagon in the plane through o
    for (int k = 0; k < 5; ++k) {
      const double a = 2 * M_PI * k / 5;
      face.push_back(o + e1 * (0.7 * std::cos(a)) + e2 * (0.7 * (1 + 0.3 * k) * std::sin(a)));
    }
    std::vector<tsl::Float3> uvw;
    tsl::voronoi::appendPlanarUvw(face, 1.0f, uvw);
    ASSERT_EQ(uvw.size(), face.size());
    // The normal from corners 0, 1, 2 lands on +z: w is the plane's offset, the same for all.
    const Vec3 fn = unit(geom::cross(face[1] - face[0], face[2] - face[0]));
    for (std::size_t k = 0; k < face.size(); ++k) {
      EXPECT_NEAR(uvw[k].z, geom::dot(fn, face[0]), 1e-5) << raw.x << " " << raw.y << " " << raw.z;
      for (std::size_t m = 0; m < k; ++m) {
        const Vec3 d{double(uvw[k].x) - uvw[m].x, double(uvw[k].y) - uvw[m].y,
                     double(uvw[k].z) - uvw[m].z};
        EXPECT_NEAR(geom::length(d), geom::length(face[k] - face[m]), 1e-5);
      }
    }
    const double turn = (double(uvw[1].x) - uvw[0].x) * (double(uvw[2].y) - uvw[0].y) -
                        (double(uvw[1].y) - uvw[0].y) * (double(uvw[2].x) - uvw[0].x);
    EXPECT_GT(turn, 0);  // a rotation, not a mirror: the winding survives
  }
}

TEST(PlanarUvw, ScaleMultipliesAndDegenerateFacesGetZeros) {
  const std::vector<Vec3> face{{0.2, 0.1, 0.9}, {1.3, -0.4, 0.2}, {0.5, 1.1, -0.3}};
  std::vector<tsl::Float3> one, two;
  tsl::voronoi::appendPlanarUvw(face, 1.0f, one);
  tsl::voronoi::appendPlanarUvw(face, 2.0f, two);
  for (std::size_t k = 0; k < face.size(); ++k) {
    EXPECT_EQ(two[k], (tsl::Float3{2 * one[k].x, 2 * one[k].y, 2 * one[k].z}));
  }
  EXPECT_NE(one[0].x, 0.0f);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::vector<Vec3>> degenerate{
      {},
      {{1, 2, 3}, {4, 5, 6}},
      {{1, 1, 1}, {1, 1, 1}, {2, 0, 0}, {0, 2, 0}},  // coincident first corners
      {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}},             // collinear
      {{0, 0, 0}, {1, 0, 0}, {0, nan, 0}},
      {{0, 0, 0}, {1, 0, 0}, {0, 1e300, 1e300}},  // the normal overflows
  };
  for (const auto& f : degenerate) {
    std::vector<tsl::Float3> out{{7, 7, 7}};  // earlier entries stay as they are
    tsl::voronoi::appendPlanarUvw(f, 2.0f, out);
    ASSERT_EQ(out.size(), f.size() + 1);
    EXPECT_EQ(out[0], (tsl::Float3{7, 7, 7}));
    for (std::size_t k = 1; k < out.size(); ++k) EXPECT_EQ(out[k], (tsl::Float3{0, 0, 0}));
  }
}

}  // namespace
