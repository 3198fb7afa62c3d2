// geom::Csg on cubes whose results are known exactly, for both classification types.
#include <gtest/gtest.h>

#include <string>

#include <set>

#include "geom/csg.h"
#include "geom/error.h"
#include "support/csg_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

struct Expected {
  const char* name;
  Vec3 move;
  double half;
  Csg::OP op;
  std::size_t vertices, faces, islands;
  double volume;
};

const Expected kCases[] = {
    {"overlap union", {1, 0.5, 0.25}, 1, Csg::UNION, 20, 12, 1, 13.375},
    {"overlap intersection", {1, 0.5, 0.25}, 1, Csg::INTERSECTION, 8, 6, 1, 2.625},
    {"overlap a-b", {1, 0.5, 0.25}, 1, Csg::A_MINUS_B, 14, 9, 1, 5.375},
    {"overlap b-a", {1, 0.5, 0.25}, 1, Csg::B_MINUS_A, 14, 9, 1, 5.375},
    {"overlap xor", {1, 0.5, 0.25}, 1, Csg::SYMMETRIC_DIFFERENCE, 22, 18, 2, 10.75},
    {"disjoint union", {3, 0, 0}, 1, Csg::UNION, 16, 12, 2, 16},
    {"disjoint intersection", {3, 0, 0}, 1, Csg::INTERSECTION, 0, 0, 0, 0},
    {"disjoint a-b", {3, 0, 0}, 1, Csg::A_MINUS_B, 8, 6, 1, 8},
    {"disjoint b-a", {3, 0, 0}, 1, Csg::B_MINUS_A, 8, 6, 1, 8},
    {"touching union", {2, 0, 0}, 1, Csg::UNION, 12, 10, 1, 16},
    {"touching intersection", {2, 0, 0}, 1, Csg::INTERSECTION, 0, 0, 0, 0},
    {"touching a-b", {2, 0, 0}, 1, Csg::A_MINUS_B, 8, 6, 1, 8},
    {"identical union", {0, 0, 0}, 1, Csg::UNION, 8, 6, 1, 8},
    {"identical intersection", {0, 0, 0}, 1, Csg::INTERSECTION, 8, 6, 1, 8},
    {"identical a-b", {0, 0, 0}, 1, Csg::A_MINUS_B, 0, 0, 0, 0},
    {"identical b-a", {0, 0, 0}, 1, Csg::B_MINUS_A, 0, 0, 0, 0},
    {"identical xor", {0, 0, 0}, 1, Csg::SYMMETRIC_DIFFERENCE, 0, 0, 0, 0},
    {"nested union", {0, 0, 0}, 0.5, Csg::UNION, 8, 6, 1, 8},
    {"nested intersection", {0, 0, 0}, 0.5, Csg::INTERSECTION, 8, 6, 1, 1},
    {"nested a-b", {0, 0, 0}, 0.5, Csg::A_MINUS_B, 16, 12, 2, 7},
    {"nested b-a", {0, 0, 0}, 0.5, Csg::B_MINUS_A, 0, 0, 0, 0},
};

class CubeFigures : public ::testing::TestWithParam<Csg::CLASSIFY_TYPE> {};

TEST_P(CubeFigures, MatchTheReferenceCountsAndVolumes) {
  const Polyhedron a = cube({0, 0, 0});
  for (const Expected& e : kCases) {
    SCOPED_TRACE(e.name);
    const Polyhedron b = cube(e.move, e.half);
    Csg csg;
    const auto r = csg.compute(a, b, e.op, GetParam());
    EXPECT_EQ(r->vertexCount(), e.vertices);
    EXPECT_EQ(r->faceCount(), e.faces);
    EXPECT_EQ(r->manifoldCount(), e.islands);
    EXPECT_TRUE(allClosed(*r));
    EXPECT_NEAR(volume(*r), e.volume, 1e-12);
    EXPECT_EQ(csg.origins().size(), r->faceCount());
  }
}

TEST_P(CubeFigures, OverlapFacesArePolygonsNotTriangles) {
  Csg csg;
  const auto u = csg.compute(cube({0, 0, 0}), cube({1, 0.5, 0.25}), Csg::UNION, GetParam());
  EXPECT_EQ(faceSizes(*u), (std::map<std::size_t, int>{{4, 6}, {6, 6}}));
  const auto x =
      csg.compute(cube({0, 0, 0}), cube({1, 0.5, 0.25}), Csg::SYMMETRIC_DIFFERENCE, GetParam());
  // The two differences, touching along the intersection curve.
  const std::vector<double> v = islandVolumes(*x);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_NEAR(v[0], 5.375, 1e-12);
  EXPECT_NEAR(v[1], 5.375, 1e-12);
}

TEST_P(CubeFigures, IdenticalCubesGiveBackAsFacesInInputOrder) {
  const Polyhedron a = cube({0, 0, 0});
  for (Csg::OP op : {Csg::UNION, Csg::INTERSECTION}) {
    Csg csg;
    const auto r = csg.compute(a, cube({0, 0, 0}), op, GetParam());
    EXPECT_EQ(faceLoops(*r), faceLoops(a));
    for (std::size_t f = 0; f < r->faceCount(); ++f) {
      EXPECT_EQ(csg.origins()[f].operand, 0);
      EXPECT_EQ(csg.origins()[f].face, f);
      EXPECT_FALSE(csg.origins()[f].reversed);
    }
  }
}

TEST_P(CubeFigures, NestedDifferenceHasAnInwardCavity) {
  Csg csg;
  const auto r = csg.compute(cube({0, 0, 0}), cube({0, 0, 0}, 0.5), Csg::A_MINUS_B, GetParam());
  EXPECT_EQ(r->manifold_is_negative(), (std::vector<bool>{false, true}));
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    EXPECT_EQ(csg.origins()[f].reversed, csg.origins()[f].operand == 1);
  }
}

INSTANTIATE_TEST_SUITE_P(BothClassifications, CubeFigures,
                         ::testing::Values(Csg::CLASSIFY_NORMAL, Csg::CLASSIFY_EDGE),
                         [](const auto& info) {
                           return std::string(info.param == Csg::CLASSIFY_EDGE ? "Edge" : "Normal");
                         });

// Uncut faces come out whole, in input vertex order, with their source recorded; every cut
// piece lies in its source face's plane and keeps (or flips) its normal as the operation says.
TEST(CsgProvenance, FacesLieOnTheirSourceWithTheRightWinding) {
  const Polyhedron a = cube({0, 0, 0});
  const Polyhedron b = cube({1, 0.5, 0.25});
  for (Csg::OP op :
       {Csg::UNION, Csg::INTERSECTION, Csg::A_MINUS_B, Csg::B_MINUS_A, Csg::SYMMETRIC_DIFFERENCE}) {
    Csg csg;
    const auto r = csg.compute(a, b, op, Csg::CLASSIFY_EDGE);
    for (std::size_t f = 0; f < r->faceCount(); ++f) {
      const geom::FaceOrigin o = csg.origins()[f];
      const Polyhedron& src = o.operand == 0 ? a : b;
      const auto sf = src.face(o.face);
      const Vec3 p0 = src.vertices()[sf[0]];
      const Vec3 n = cross(src.vertices()[sf[1]] - p0, src.vertices()[sf[2]] - p0);
      const auto rf = r->face(f);
      for (int v : rf) EXPECT_NEAR(dot(r->vertices()[v] - p0, n), 0.0, 1e-12);
      const Vec3 q0 = r->vertices()[rf[0]];
      Vec3 rn;
      for (std::size_t i = 1; i + 1 < rf.size(); ++i) {
        rn = rn + cross(r->vertices()[rf[i]] - q0, r->vertices()[rf[i + 1]] - q0);
      }
      EXPECT_EQ(dot(rn, n) < 0, o.reversed);
      const bool flips =
          (op == Csg::A_MINUS_B && o.operand == 1) || (op == Csg::B_MINUS_A && o.operand == 0);
      if (op != Csg::SYMMETRIC_DIFFERENCE) {
        EXPECT_EQ(o.reversed, flips);
      }
    }
    // The face of A far from B (x = -1) is untouched.
    bool found = false;
    for (std::size_t f = 0; f < r->faceCount(); ++f) {
      if (csg.origins()[f].operand == 0 && csg.origins()[f].face == 4) {
        found = true;
        std::vector<Vec3> expect;
        for (int v : a.face(4)) expect.push_back(a.vertices()[v]);
        EXPECT_EQ(faceLoops(*r)[f], expect);
      }
    }
    EXPECT_EQ(found, op == Csg::UNION || op == Csg::A_MINUS_B || op == Csg::SYMMETRIC_DIFFERENCE);
  }
}

TEST(CsgEmptyOperand, StandsForTheEmptySolid) {
  const Polyhedron a = cube({0, 0, 0});
  const Polyhedron none;
  Csg csg;
  EXPECT_EQ(faceLoops(*csg.compute(a, none, Csg::UNION, Csg::CLASSIFY_EDGE)), faceLoops(a));
  EXPECT_EQ(faceLoops(*csg.compute(none, a, Csg::UNION, Csg::CLASSIFY_NORMAL)), faceLoops(a));
  EXPECT_EQ(csg.compute(a, none, Csg::INTERSECTION, Csg::CLASSIFY_EDGE)->faceCount(), 0u);
  EXPECT_EQ(faceLoops(*csg.compute(a, none, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE)), faceLoops(a));
  EXPECT_EQ(csg.compute(none, a, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE)->faceCount(), 0u);
  EXPECT_EQ(csg.compute(none, none, Csg::UNION, Csg::CLASSIFY_EDGE)->faceCount(), 0u);
}

}  // namespace
