// geom::Csg where the operands touch: shared faces, edges and corners, coplanar overlaps, and
// holes cut into a face. Axis-aligned boxes on a coarse grid make these cases common and their
// volumes easy to know.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "geom/csg.h"
#include "geom/error.h"
#include "support/csg_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

struct Box {
  Vec3 lo, hi;
  double volume() const { return (hi.x - lo.x) * (hi.y - lo.y) * (hi.z - lo.z); }
};

double overlap(const Box& a, const Box& b) {
  const double x = std::max(0.0, std::min(a.hi.x, b.hi.x) - std::max(a.lo.x, b.lo.x));
  const double y = std::max(0.0, std::min(a.hi.y, b.hi.y) - std::max(a.lo.y, b.lo.y));
  const double z = std::max(0.0, std::min(a.hi.z, b.hi.z) - std::max(a.lo.z, b.lo.z));
  return x * y * z;
}

double expected(Csg::OP op, const Box& a, const Box& b) {
  const double i = overlap(a, b);
  switch (op) {
    case Csg::UNION:
      return a.volume() + b.volume() - i;
    case Csg::INTERSECTION:
      return i;
    case Csg::A_MINUS_B:
      return a.volume() - i;
    case Csg::B_MINUS_A:
      return b.volume() - i;
    case Csg::SYMMETRIC_DIFFERENCE:
      return a.volume() + b.volume() - 2 * i;
  }
  return 0;
}

// Every face is a simple polygon: at least three corners, none repeated.
bool simpleFaces(const Polyhedron& m) {
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const auto face = m.face(f);
    if (face.size() < 3 || std::set<int>(face.begin(), face.end()).size() != face.size())
      return false;
  }
  return true;
}

void checkPair(const Box& a, const Box& b) {
  const Polyhedron pa = box(a.lo, a.hi), pb = box(b.lo, b.hi);
  for (int op = Csg::UNION; op <= Csg::SYMMETRIC_DIFFERENCE; ++op) {
    SCOPED_TRACE("operation " + std::to_string(op));
    Csg csg;
    const auto edge = csg.compute(pa, pb, Csg::OP(op), Csg::CLASSIFY_EDGE);
    const auto normal = csg.compute(pa, pb, Csg::OP(op), Csg::CLASSIFY_NORMAL);
    EXPECT_TRUE(allClosed(*edge));
    EXPECT_TRUE(simpleFaces(*edge));
    EXPECT_NEAR(volume(*edge), expected(Csg::OP(op), a, b), 1e-12);
    EXPECT_EQ(faceLoops(*edge), faceLoops(*normal));
  }
}

TEST(CsgTouching, SharedFacesEdgesCornersAndCoplanarOverlaps) {
  const Box a{{0, 0, 0}, {2, 2, 2}};
  const Box cases[] = {
      {{2, 2, 0}, {4, 4, 2}},           // along an edge
      {{2, 2, 2}, {3, 3, 3}},           // at a corner
      {{2, 0.5, 0.5}, {3, 1, 1}},       // on part of a face, outside
      {{1, 0.5, 0.5}, {2, 1, 1}},       // on part of a face, inside
      {{0.5, 0.5, 1}, {1.5, 1.5, 3}},   // through the top face, leaving a hole
      {{-1, 0.5, 0.5}, {3, 1.5, 1.5}},  // through two faces
      {{0, 0, 1}, {2, 2, 3}},           // sharing four side faces in part
      {{0, 0, 0}, {1, 2, 2}},           // sharing five faces in part
  };
  for (const Box& b : cases) {
    SCOPED_TRACE(testing::Message() << "b " << b.lo.x << "," << b.lo.y << "," << b.lo.z << " - "
                                    << b.hi.x << "," << b.hi.y << "," << b.hi.z);
    checkPair(a, b);
  }
}

// A face with a hole in it comes back as simple polygons that cover it exactly.
TEST(CsgTouching, AFaceWithAHoleBecomesSimplePolygons) {
  const Polyhedron slab = box({-2, -2, -0.5}, {2, 2, 0.5});
  const Polyhedron post = box({-0.5, -0.5, -1}, {0.5, 0.5, 1});
  Csg csg;
  const auto r = csg.compute(slab, post, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
  EXPECT_TRUE(allClosed(*r));
  EXPECT_TRUE(simpleFaces(*r));
  EXPECT_NEAR(volume(*r), 16 - 1, 1e-12);
  double top = 0;
  int pieces = 0;
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    if (csg.origins()[f].operand != 0 || csg.origins()[f].face != 1) continue;  // z = 0.5 face
    ++pieces;
    const auto face = r->face(f);
    for (std::size_t i = 0; i < face.size(); ++i) {
      top += cross(r->vertices()[face[i]], r->vertices()[face[(i + 1) % face.size()]]).z / 2;
    }
  }
  EXPECT_GE(pieces, 2);
  EXPECT_NEAR(top, 15, 1e-12);
}

// A box with its corners on the grid of halves from 0 to 3, drawn from rng.
Box randomGridBox(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(0, 6);
  Box b;
  for (int axis = 0; axis < 3; ++axis) {
    int l = coord(rng), h = coord(rng);
    while (h == l) h = coord(rng);
    if (l > h) std::swap(l, h);
    (axis == 0 ? b.lo.x : axis == 1 ? b.lo.y : b.lo.z) = l * 0.5;
    (axis == 0 ? b.hi.x : axis == 1 ? b.hi.y : b.hi.z) = h * 0.5;
  }
  return b;
}

// Random boxes on a grid of halves: coincident faces, edges and corners all the time.
TEST(CsgTouching, RandomGridBoxes) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 200; ++i) {
    const Box a = randomGridBox(rng);
    const Box b = randomGridBox(rng);
    SCOPED_TRACE("pair " + std::to_string(i));
    checkPair(a, b);
    if (HasFailure()) break;
  }
}

}  // namespace

namespace {

// The same grid boxes turned together: faces that were coplanar are now coplanar only up to
// the rounding of the turned coordinates, the hardest case for the classification.
TEST(CsgTouching, RandomGridBoxesTurnedTogether) {
  std::mt19937 rng(777);
  const auto turn = rigid(Vec3{1, 2, 2} * (1.0 / 3.0), 0.7, {0.1, 0.2, 0.3});
  int done = 0;
  for (int i = 0; i < 120; ++i) {
    Box bx[2];
    for (Box& b : bx) b = randomGridBox(rng);
    const Polyhedron pa = transformed(box(bx[0].lo, bx[0].hi), turn);
    const Polyhedron pb = transformed(box(bx[1].lo, bx[1].hi), turn);
    SCOPED_TRACE("pair " + std::to_string(i));
    for (int op = Csg::UNION; op <= Csg::SYMMETRIC_DIFFERENCE; ++op) {
      Csg csg;
      std::unique_ptr<Polyhedron> r, n;
      try {
        r = csg.compute(pa, pb, Csg::OP(op), Csg::CLASSIFY_EDGE);
        n = csg.compute(pa, pb, Csg::OP(op), Csg::CLASSIFY_NORMAL);
      } catch (const geom::Error& e) {
        ADD_FAILURE() << e.what();
        continue;
      }
      EXPECT_TRUE(faceLoops(*r) == faceLoops(*n)) << "classifications differ, operation " << op;
      // Exactly, the turned faces are no longer coplanar, and the results carry slivers and
      // fins of zero volume; around their edges the faces' angular order is a tie in double,
      // so watertightness is checked rather than the islands' closure.
      EXPECT_TRUE(balancedEdges(*r)) << "operation " << op;
      EXPECT_NEAR(volume(*r), expected(Csg::OP(op), bx[0], bx[1]), 1e-9) << "operation " << op;
      ++done;
    }
    if (HasFailure()) break;
  }
  EXPECT_EQ(done, 600);
}

}  // namespace
