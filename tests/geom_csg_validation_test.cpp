// Invalid operands: each gives geom::Error naming the operand and the fault, and the engine
// stays usable afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "geom/error.h"
#include "support/csg_demo_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

// The message of the geom::Error that compute throws, or "" when it does not throw.
std::string failure(const Polyhedron& a, const Polyhedron& b, Csg* engine = nullptr) {
  Csg local;
  Csg& csg = engine ? *engine : local;
  try {
    csg.compute(a, b, Csg::UNION, Csg::CLASSIFY_EDGE);
  } catch (const geom::Error& e) {
    return e.what();
  }
  return "";
}

// Two boxes sharing the vertices of one edge, or of one corner, as one mesh.
Polyhedron joined(Vec3 move) {
  const Polyhedron a = cube({0, 0, 0}, 0.5);
  const Polyhedron b = cube(move, 0.5);
  std::vector<Vec3> pts = a.vertices();
  std::vector<std::vector<int>> faces;
  for (std::size_t f = 0; f < a.faceCount(); ++f)
    faces.emplace_back(a.face(f).begin(), a.face(f).end());
  std::vector<int> map;
  for (const Vec3& p : b.vertices()) {
    auto it = std::find(pts.begin(), pts.end(), p);
    map.push_back(static_cast<int>(it - pts.begin()));
    if (it == pts.end()) pts.push_back(p);
  }
  for (std::size_t f = 0; f < b.faceCount(); ++f) {
    std::vector<int> face;
    for (int v : b.face(f)) face.push_back(map[v]);
    faces.push_back(face);
  }
  return fromFaces(pts, faces);
}

TEST(CsgValidation, RealBrokenMeshesAreRejectedWithTheirFault) {
  const Polyhedron ok = cube({0, 0, 0}, 0.3);
  EXPECT_EQ(failure(ok, loadDemo("blobby-shuffled.off"))
                .rfind("operand B is not consistently oriented", 0),
            0u);
}

TEST(CsgValidation, FaultsOfCoordinatesAndFaces) {
  const Polyhedron ok = cube({0, 0, 0});
  std::vector<Vec3> pts = ok.vertices();
  pts[3].y = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(failure(ok, fromFaces(pts, {{0, 1, 2}})),
            "operand B has a non-finite coordinate (vertex 3)");
  pts[3].y = INFINITY;
  EXPECT_EQ(failure(fromFaces(pts, {{0, 1, 2}}), ok),
            "operand A has a non-finite coordinate (vertex 3)");

  const std::vector<Vec3> tri{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {0, 0, 0}};
  // What the intake mends: a polygon of two corners goes (and A is then empty), coincident
  // corners in a row are one.
  EXPECT_EQ(failure(fromFaces(tri, {{0, 1}}), ok), "");
  EXPECT_EQ(failure(fromFaces(tri, {{0, 1, 2}, {0, 1, 0, 2}}), ok),
            "operand A has a face that uses a vertex twice (face 1, vertex 0)");
  // Mended to one triangle, which is an open surface: attempted.
  EXPECT_EQ(failure(fromFaces(tri, {{0, 4, 1, 2}}), ok), "");
  // A lone face without area covers nothing and goes (A is then empty), also one that folds
  // back more than once; on a closed surface such a face cannot hand its corners on without
  // opening it, and is refused.
  EXPECT_EQ(failure(fromFaces(tri, {{0, 1, 3}}), ok), "");
  const std::vector<Vec3> folded{{0, 0, 0}, {2, 0, 0}, {3, 0, 0}, {1, 0, 0}};
  EXPECT_EQ(failure(fromFaces(folded, {{0, 1, 2, 3}}), ok), "");
  EXPECT_EQ(failure(fromFaces(folded, {{0, 1, 2, 3}, {3, 2, 1, 0}}), ok),
            "operand A has a face of zero area (face 0)");
  const std::vector<Vec3> bow{{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}};
  EXPECT_EQ(failure(fromFaces(bow, {{0, 1, 2, 3}}), ok),
            "operand A has a face that is not a simple polygon in its plane (face 0)");
  EXPECT_THROW(fromFaces(tri, {{0, 1, 7}}), geom::Error);  // out-of-range index: construction
}

TEST(CsgValidation, FaultsOfTheSurface) {
  const Polyhedron ok = cube({0, 0, 0}, 2.0);
  Polyhedron cubeMissingFace = [] {
    const Polyhedron c = cube({0, 0, 0});
    std::vector<std::vector<int>> f;
    for (std::size_t i = 1; i < c.faceCount(); ++i)
      f.emplace_back(c.face(i).begin(), c.face(i).end());
    return fromFaces(c.vertices(), f);
  }();
  EXPECT_EQ(failure(ok, cubeMissingFace), "");  // open surfaces are attempted
  std::vector<std::vector<int>> turned;
  for (std::size_t i = 0; i < 6; ++i) turned.emplace_back(ok.face(i).begin(), ok.face(i).end());
  std::reverse(turned[2].begin(), turned[2].end());
  EXPECT_EQ(failure(ok, fromFaces(ok.vertices(), turned)),
            "operand B is not consistently oriented: 4 edges are used twice in the same direction");
  // Solids that touch along an edge or at a corner are solids (results of the engine have them).
  EXPECT_EQ(failure(joined({1, 1, 0}), ok), "");
  EXPECT_EQ(failure(joined({1, 1, 1}), ok), "");
  const Polyhedron inward = reversedFaces(cube({0, 0, 0}));
  EXPECT_EQ(failure(inward, ok), "operand A is wound inwards (its volume is negative)");
  EXPECT_EQ(
      failure(ok, merged(cube({0, 0, 0}), transformed(inward, rigid({0, 0, 1}, 0, {5, 0, 0})))),
      "operand B is wound inwards: island 1 is wound inwards but is not inside an outward island");
  // A cavity (an inward island inside an outward one) is a solid, such as a result fed back.
  const Polyhedron hollow = merged(cube({0, 0, 0}), reversedFaces(cube({0, 0, 0}, 0.5)));
  Csg csg;
  const auto r = csg.compute(hollow, cube({1, 0, 0}), Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
  EXPECT_NEAR(volume(*r), 8 - 1 - 4 + 0.5, 1e-12);
}

// A refused operand is an input fault that says which operand and what, apart, so that a
// caller can tell it from a failure of the computation.
TEST(CsgValidation, ARefusedOperandIsAnInvalidOperandNamingIt) {
  const Polyhedron turned = [] {
    const Polyhedron c = cube({0, 0, 0});
    std::vector<std::vector<int>> f;
    for (std::size_t i = 0; i < c.faceCount(); ++i)
      f.emplace_back(c.face(i).begin(), c.face(i).end());
    std::reverse(f[0].begin(), f[0].end());
    return fromFaces(c.vertices(), f);
  }();
  Csg csg;
  try {
    csg.compute(cube({0, 0, 0}, 2.0), turned, Csg::UNION, Csg::CLASSIFY_EDGE);
    FAIL() << "an inconsistently oriented operand was taken";
  } catch (const geom::Error& e) {
    EXPECT_EQ(e.kind(), geom::Error::Kind::InvalidOperand);
    EXPECT_EQ(e.operand(), "operand B");
    EXPECT_EQ(e.detail(),
              "is not consistently oriented: 4 edges are used twice in the same direction");
    EXPECT_STREQ(
        e.what(),
        "operand B is not consistently oriented: 4 edges are used twice in the same direction");
  }
}

// Skipping the test is the caller's promise; near the intersection CGAL still checks, and its
// exception comes out as geom::Error.
TEST(CsgValidation, SkippedSelfIntersectionTestIsStillCaughtNearTheCut) {
  const Polyhedron bad = merged(cube({0, 0, 0}), cube({0.5, 0.5, 0.5}));
  Csg csg;
  csg.skipSelfIntersectionCheck(Csg::OPERAND_A);
  // B around a point where a face of one cube crosses a face of the other.
  EXPECT_EQ(failure(bad, cube({1, -0.5, 0.2}, 0.3), &csg),
            "operand A self-intersects near the intersection of the operands");
  // Far from B nothing checks it, as promised, and the engine still works.
  EXPECT_EQ(failure(bad, cube({10, 0, 0}), &csg), "");
  EXPECT_EQ(failure(cube({0, 0, 0}), cube({1, 1, 1}), &csg), "");
}

// Two cones over a rim that goes twice round the axis: closed and consistently wound, and every
// triangle turns the same way seen from its apex, but the fan around each apex covers its
// plane twice, so neighbouring triangles there overlap. Pairs around a vertex whose fan covers
// its plane once are the ones the test may pass over; these must not be.
TEST(CsgValidation, AFanThatGoesTwiceRoundItsVertexSelfIntersects) {
  const int m = 5;
  std::vector<Vec3> pts{{0, 0, 1}, {0, 0, -1}};
  std::vector<std::vector<int>> faces;
  for (int i = 0; i < 2 * m; ++i) {
    const double a = 2 * M_PI * i / m, r = i < m ? 1.0 : 1.2;
    pts.push_back({r * std::cos(a), r * std::sin(a), 0});
  }
  for (int i = 0; i < 2 * m; ++i) {
    const int r0 = 2 + i, r1 = 2 + (i + 1) % (2 * m);
    faces.push_back({0, r0, r1});
    faces.push_back({1, r1, r0});
  }
  const Polyhedron twice = fromFaces(pts, faces);
  Csg csg;
  csg.skipSelfIntersectionCheck(Csg::OPERAND_A);
  EXPECT_EQ(failure(twice, cube({0, 0, 0.8}, 0.1), &csg),
            "operand A self-intersects near the intersection of the operands");
}

// Two cubes as one mesh whose tops and bottoms lie on each other, wound alike: CGAL's
// autorefinement leaves those faces on each other, cut one by one they are one sheet, and the
// operand is the union of the cubes, also where the cut comes near those faces.
TEST(CsgValidation, SheetsLyingOnEachOtherAreOneSheetOfTheUnion) {
  const Polyhedron bad = merged(cube({0, 0, 0}), cube({1, 1, 0}));
  Csg csg;
  // A corner of the second cube cut off; a piece of the top where the cubes overlap.
  for (const auto& [knife, gone] : {std::pair{cube({2, 2, 0}, 0.3), 0.6 * 0.6 * 0.6 / 4},
                                    std::pair{cube({0.5, 0.5, 1}, 0.2), 0.4 * 0.4 * 0.2}}) {
    const auto r = csg.compute(bad, knife, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
    EXPECT_TRUE(allClosed(*r));
    EXPECT_NEAR(volume(*r), 16.0 - 2.0 - gone, 1e-9);
  }
}

TEST(CsgValidation, AFailedComputationLeavesAttributesAndEngineUsable) {
  const Polyhedron a = cube({0, 0, 0});
  std::vector<std::vector<int>> faces;
  for (std::size_t i = 0; i < 6; ++i) faces.emplace_back(a.face(i).begin(), a.face(i).end());
  std::reverse(faces[0].begin(), faces[0].end());
  const Polyhedron turned = fromFaces(a.vertices(), faces);
  geom::FaceAttr<int> ids;
  for (std::size_t f = 0; f < 6; ++f) ids.setAttribute(a, f, int(f));
  Csg csg;
  csg.attach(ids);
  EXPECT_THROW(csg.compute(a, turned, Csg::UNION, Csg::CLASSIFY_EDGE), geom::Error);
  EXPECT_TRUE(csg.origins().empty());
  EXPECT_EQ(ids.getAttribute(a, 5), 5);
  const auto r = csg.compute(a, cube({1, 1, 1}), Csg::UNION, Csg::CLASSIFY_EDGE);
  EXPECT_TRUE(ids.hasAttribute(*r, 0));
}

}  // namespace
