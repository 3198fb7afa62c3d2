// geom::Csg results fed back as operands, as the Continuous node does with its work body: each
// result must pass the full validation (self-intersection test included) as the next operand,
// over long chains, with knives that touch or nearly touch earlier cuts. Also the pieces that
// make it so: the operand triangulation of faces whose corners were rounded off a straight
// edge, intersection points that round together, and pieces of faces that are not planar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geom/csg.h"
#include "geom/error.h"
#include "geom/mesh_files.h"
#include "geom/triangulator.h"
#include "support/csg_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Triangulator;
using geom::Vec3;
using namespace tsl::csgtest;

// The mesh moved by (dx, dy, dz) in single precision, as the nodes receive their points.
Polyhedron movedInFloat(const Polyhedron& m, float dx, float dy, float dz) {
  return transformed(m, [&](const Vec3& v) {
    return Vec3{float(float(v.x) + dx), float(float(v.y) + dy), float(float(v.z) + dz)};
  });
}

// "" when m passes every test an operand must pass, else geom::Error's message.
std::string operandFault(const Polyhedron& m) {
  try {
    Csg().compute(m, cube({100, 100, 100}, 0.5), Csg::UNION, Csg::CLASSIFY_EDGE);
  } catch (const geom::Error& e) {
    return e.what();
  }
  return "";
}

bool near(double a, double b, double relative) {
  return std::fabs(a - b) <= relative * std::fabs(b);
}

// Applies op with each mesh in turn as operand B, the running result as operand A (validated
// in full unless skipA), and checks every intermediate result. Returns the last result.
Polyhedron chain(Polyhedron start, const std::vector<Polyhedron>& meshes, Csg::OP op,
                 bool skipA = false) {
  Polyhedron work = std::move(start);
  for (std::size_t i = 0; i < meshes.size(); ++i) {
    Csg csg;
    if (skipA) csg.skipSelfIntersectionCheck(Csg::OPERAND_A);
    std::unique_ptr<Polyhedron> next;
    try {
      next = csg.compute(work, meshes[i], op, Csg::CLASSIFY_EDGE);
    } catch (const geom::Error& e) {
      ADD_FAILURE() << "step " << i << ": " << e.what();
      return work;
    }
    EXPECT_TRUE(allClosed(*next)) << "step " << i;
    work = std::move(*next);
  }
  return work;
}

// The reproduction from the issue: at the fourth step two merged faces along a cut edge, with
// intersection points rounded off the straight line they lie on, were triangulated into a
// sliver that crossed the neighbouring face.
TEST(CsgChain, UnionOfSpheresFedBackAsOperand) {
  const Polyhedron shape = uvSphere(4, 5, {0, 0, 0}, 0.12);
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<float> ux(-0.6f, 0.6f), uy(-0.7f, 0.9f), uz(-0.3f, 0.3f);
  std::vector<Polyhedron> instances;
  for (int i = 0; i < 20; ++i) {
    const float dx = ux(rng), dy = uy(rng), dz = uz(rng);
    instances.push_back(movedInFloat(shape, dx, dy, dz));
  }
  const Polyhedron all = chain(Polyhedron(), instances, Csg::UNION);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(operandFault(all), "");
  // The same union in the other order, and with the self-intersection test skipped as the
  // Continuous node does: both the same solid.
  const std::vector<Polyhedron> reversed(instances.rbegin(), instances.rend());
  const Polyhedron back = chain(Polyhedron(), reversed, Csg::UNION, true);
  EXPECT_TRUE(near(volume(back), volume(all), 1e-9)) << volume(back) << " " << volume(all);
  EXPECT_EQ(back.manifoldCount(), all.manifoldCount());
}

// Small boxes and spheres at random, in single precision, inside [-1, 1]^3.
std::vector<Polyhedron> randomKnives(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> at(-1.0f, 1.0f), size(0.05f, 0.3f);
  std::vector<Polyhedron> knives;
  for (int i = 0; i < count; ++i) {
    const float x = at(rng), y = at(rng), z = at(rng);
    if (rng() % 2) {
      const double hx = size(rng), hy = size(rng), hz = size(rng);
      knives.push_back(movedInFloat(box({-hx, -hy, -hz}, {hx, hy, hz}), x, y, z));
    } else {
      const int slices = 4 + static_cast<int>(rng() % 5), stacks = 5 + static_cast<int>(rng() % 4);
      knives.push_back(movedInFloat(uvSphere(slices, stacks, {0, 0, 0}, size(rng)), x, y, z));
    }
  }
  return knives;
}

// Subtracts the knives one by one, then compares with one subtraction of their union.
void subtractOneByOne(const Polyhedron& start, const std::vector<Polyhedron>& knives) {
  const Polyhedron carved = chain(start, knives, Csg::A_MINUS_B);
  ASSERT_FALSE(::testing::Test::HasFailure());
  EXPECT_EQ(operandFault(carved), "");
  const Polyhedron all = chain(Polyhedron(), knives, Csg::UNION);
  ASSERT_FALSE(::testing::Test::HasFailure());
  const auto once = Csg().compute(start, all, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
  EXPECT_GT(volume(carved), 0.05 * volume(start));
  EXPECT_LT(volume(carved), 0.95 * volume(start));
  EXPECT_TRUE(near(volume(carved), volume(*once), 1e-9)) << volume(carved) << " " << volume(*once);
}

TEST(CsgChain, TwoHundredKnivesFromABox) {
  subtractOneByOne(box({-1, -1, -1}, {1, 1, 1}), randomKnives(11, 200));
}

TEST(CsgChain, TwoHundredKnivesFromASphere) {
  subtractOneByOne(uvSphere(24, 16, {0, 0, 0}, 1.0), randomKnives(12, 200));
}

// Knives that lie on earlier cuts: earlier knives again, moved by 1e-3 down to 1e-8 (in single
// precision, so that the smallest moves leave some coordinates where they were) or not at
// all, among new ones. Their faces cross the earlier cut faces at tiny angles or lie on them.
TEST(CsgChain, KnivesRepeatedOnEarlierCuts) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> at(-1.0f, 1.0f), size(0.05f, 0.3f);
  std::vector<Polyhedron> knives;
  for (int i = 0; i < 200; ++i) {
    if (!knives.empty() && rng() % 2) {
      const Polyhedron earlier = knives[rng() % knives.size()];
      const float scale = std::pow(10.0f, -static_cast<float>(3 + rng() % 6));
      const float e = scale * (rng() % 2 ? 1 : -1);
      const unsigned axis = rng() % 4;  // x, y, z, or x and y
      knives.push_back(movedInFloat(earlier, axis == 0 || axis == 3 ? e : 0,
                                    axis == 1 || axis == 3 ? e : 0, axis == 2 ? e : 0));
      if (rng() % 5 == 0) knives.back() = earlier;
      continue;
    }
    const float x = at(rng), y = at(rng), z = at(rng);
    const float s = size(rng);
    if (rng() % 2) {
      const double hy = size(rng), hz = size(rng);
      knives.push_back(movedInFloat(box({-s, -hy, -hz}, {s, hy, hz}), x, y, z));
    } else {
      const int slices = 4 + static_cast<int>(rng() % 5), stacks = 5 + static_cast<int>(rng() % 4);
      knives.push_back(movedInFloat(uvSphere(slices, stacks, {0, 0, 0}, s), x, y, z));
    }
  }
  subtractOneByOne(uvSphere(24, 16, {0, 0, 0}, 1.0), knives);
}

// Boxes against an earlier box's face, face to face, or across it: the same extent in y and z,
// so that four faces lie on the earlier box's, and the knives touch without overlapping or
// share coplanar cut faces.
TEST(CsgChain, BoxesAgainstEarlierBoxes) {
  std::vector<Polyhedron> knives = randomKnives(13, 30);
  std::mt19937 rng(5);
  for (int i = 0; i < 60; ++i) {
    std::vector<const Polyhedron*> boxes;
    for (const Polyhedron& k : knives) {
      if (k.faceCount() == 6) boxes.push_back(&k);
    }
    // The box's own coordinates (its aabb's centre and half size round them).
    const Polyhedron& b = *boxes[rng() % boxes.size()];
    Vec3 lo = b.vertices()[0], hi = lo;
    for (const Vec3& p : b.vertices()) {
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const double x0 = rng() % 2 ? hi.x : 0.5 * (lo.x + hi.x);
    knives.push_back(box({x0, lo.y, lo.z}, {x0 + 0.1, hi.y, hi.z}));
  }
  subtractOneByOne(uvSphere(24, 16, {0, 0, 0}, 1.0), knives);
}

// What the Continuous node does: knives centred on the surface of a finer sphere, subtracted
// from the growing work body with its self-intersection test skipped.
TEST(CsgChain, KnivesOnTheSurfaceWithTheTestSkipped) {
  const Polyhedron sphere = uvSphere(100, 100, {0, 0, 0}, 1.0);
  const Polyhedron a = movedInFloat(sphere, 0, 0, 0);
  const Polyhedron knife = uvSphere(4, 5, {0, 0, 0}, 0.15);
  std::mt19937 rng(7);
  std::normal_distribution<double> n(0.0, 1.0);
  std::vector<Polyhedron> knives;
  for (int i = 0; i < 200; ++i) {
    Vec3 d{n(rng), n(rng), n(rng)};
    d = d * (1.0 / length(d));
    knives.push_back(movedInFloat(knife, float(d.x), float(d.y), float(d.z)));
  }
  const Polyhedron carved = chain(a, knives, Csg::A_MINUS_B, true);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(operandFault(carved), "");
}

// Vertices 16, 15 and 9 of a face from the union chain above lie on one line, 15 and 16 only up
// to the rounding of intersection points. An ear at 15, or a diagonal from 16 to 9, leaves a
// sliver that in 3D folds across the face meeting this one along 15-16.
TEST(CsgChainTriangulation, NoSliverOverCornersRoundedOffAStraightEdge) {
  const std::vector<Vec3> face{{0.34597444534301758, -0.27203977108001709, -0.17771829664707184},
                               {0.41650867462158203, -0.27203977108001709, -0.10718406736850739},
                               {0.42348725556585054, -0.28164496614657697, -0.10718406736850739},
                               {0.37067085306338721, -0.28164497089238838, -0.16000047331900363},
                               {0.36424461981550249, -0.28164497146981671, -0.16642670698641454}};
  std::vector<Triangulator::Triangle> tris;
  ASSERT_TRUE(Triangulator::triangulate(face, tris));
  ASSERT_EQ(tris.size(), 3u);
  for (const auto& t : tris) {
    // Twice the area over the longest edge: the least height of the triangle.
    const Vec3 a = face[t[0]], b = face[t[1]], c = face[t[2]];
    const double longest = std::max({length(b - a), length(c - b), length(a - c)});
    EXPECT_GT(length(cross(b - a, c - a)) / longest, 1e-6) << t[0] << " " << t[1] << " " << t[2];
  }
}

// A fan: every corner but the apex on one line, each a few units in the last place above or
// below it. Every triangle must use the apex.
TEST(CsgChainTriangulation, CornersAlongALineFanFromTheOneOffIt) {
  std::vector<Vec3> fan;
  for (int i = 0; i <= 6; ++i) {
    const double off = (i == 0 || i == 6) ? 0.0 : (i % 2 ? 3e-17 : -3e-17);
    fan.push_back({0.1 * i + 0.5, 0.25 + off, 0.125});
  }
  fan.push_back({0.8, 1.25, 0.125});
  // Starting at a corner just below the line, where ear clipping would begin.
  std::rotate(fan.begin(), fan.begin() + 2, fan.end());
  std::vector<Triangulator::Triangle> tris;
  ASSERT_TRUE(Triangulator::triangulate(fan, tris));
  ASSERT_EQ(tris.size(), 6u);
  for (const auto& t : tris) EXPECT_TRUE(t[0] == 5 || t[1] == 5 || t[2] == 5);
}

// A pyramid whose apex lies one unit in the last place beyond a face of a box: the four points
// where its edges cross that face are distinct, but round to one double. They become one vertex
// (no zero-length edges); the sub-ulp tip is no solid at all.
TEST(CsgChainSnap, IntersectionPointsThatRoundTogetherBecomeOneVertex) {
  const double x = std::nextafter(1.0, 2.0);
  const Polyhedron pyramid = fromFaces(
      {{x, 1.5, 1.5}, {-100, 0.5, 0.5}, {-100, 2.5, 0.5}, {-100, 2.5, 2.5}, {-100, 0.5, 2.5}},
      {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}, {1, 4, 3, 2}});
  ASSERT_GT(volume(pyramid), 0);
  const Polyhedron block = box({-200, -10, -10}, {1, 10, 10});
  for (const Csg::CLASSIFY_TYPE type : {Csg::CLASSIFY_EDGE, Csg::CLASSIFY_NORMAL}) {
    Csg csg;
    const auto kept = csg.compute(pyramid, block, Csg::INTERSECTION, type);
    EXPECT_EQ(kept->vertexCount(), 5u);
    EXPECT_EQ(kept->faceCount(), 5u);
    EXPECT_TRUE(allClosed(*kept));
    EXPECT_TRUE(near(volume(*kept), volume(pyramid), 1e-12));
    EXPECT_EQ(operandFault(*kept), "");
    const auto tip = csg.compute(pyramid, block, Csg::A_MINUS_B, type);
    EXPECT_EQ(tip->faceCount(), 0u);
  }
}

// Pieces of faces that are not planar (this file's n-gons are planar only to about 1e-5 of
// their size) come out as the triangles the cut made; merged, their polygons would be
// triangulated anew as operands and fold onto their neighbours.
TEST(CsgChainSnap, ResultsOfNonPlanarFacesAreValidOperands) {
  const geom::MeshFile file =
      geom::readMeshFile(std::string(TSL_CSG_MESH_DIR) + "/double-torus-example.off");
  const Polyhedron torus = fromFaces(file.points, file.polygons);
  const geom::AABB b = torus.aabb();
  const double s = 1.0 / std::max({b.extent.x, b.extent.y, b.extent.z});
  const Polyhedron a = transformed(torus, [&](const Vec3& v) { return (v - b.pos) * s; });
  const auto turn =
      rigid(Vec3{0.3, -1, 2} * (1.0 / length(Vec3{0.3, -1, 2})), 1.3, {0.2, 0.25, 0.1});
  const Polyhedron other = transformed(a, [&](const Vec3& v) { return turn(v * 0.9); });
  for (const Csg::OP op : {Csg::UNION, Csg::INTERSECTION, Csg::A_MINUS_B, Csg::B_MINUS_A}) {
    const auto r = Csg().compute(a, other, op, Csg::CLASSIFY_EDGE);
    EXPECT_TRUE(allClosed(*r)) << "operation " << op;
    EXPECT_EQ(operandFault(*r), "") << "operation " << op;
  }
}

}  // namespace
