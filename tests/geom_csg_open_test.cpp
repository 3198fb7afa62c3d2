// Operands with a border: the solid such a surface stands for is where its generalized winding
// number is above one half. A sheet bounds nothing and cuts along itself; a closed surface with
// a few holes behaves like the closed one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "geom/winding_number.h"
#include "support/csg_demo_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

// A flat grid of n x n squares over [-half, half]^2 at height z, facing up.
Polyhedron sheet(int n, double half, double z) {
  std::vector<Vec3> pts;
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i)
      pts.push_back({-half + 2 * half * i / n, -half + 2 * half * j / n, z});
  }
  std::vector<std::vector<int>> faces;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const int v = j * (n + 1) + i;
      faces.push_back({v, v + 1, v + n + 2, v + n + 1});
    }
  }
  return fromFaces(pts, faces);
}

double faceArea(const Polyhedron& m, std::size_t f) {
  const auto face = m.face(f);
  Vec3 n;
  for (std::size_t i = 0; i < face.size(); ++i) {
    n = n + geom::cross(m.vertices()[face[i]], m.vertices()[face[(i + 1) % face.size()]]);
  }
  return geom::length(n) / 2;
}

struct Areas {
  double of[2] = {0, 0};  // of the result's faces from operand A, from operand B
};

Areas areas(const Csg& csg, const Polyhedron& r) {
  Areas a;
  for (std::size_t f = 0; f < r.faceCount(); ++f) a.of[csg.origins()[f].operand] += faceArea(r, f);
  return a;
}

// The first vertex of each border edge (an edge no face runs the other way).
std::vector<int> borderStarts(const Polyhedron& m) {
  std::set<std::pair<int, int>> directed;
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const auto face = m.face(f);
    for (std::size_t i = 0; i < face.size(); ++i) {
      directed.insert({face[i], face[(i + 1) % face.size()]});
    }
  }
  std::vector<int> starts;
  for (const auto& [u, v] : directed) {
    if (directed.count({v, u}) == 0) starts.push_back(u);
  }
  return starts;
}

std::size_t borderEdges(const Polyhedron& m) {
  return borderStarts(m).size();
}

TEST(CsgOpen, SheetThroughCubeCutsAndBoundsNothing) {
  const Polyhedron plane = sheet(8, 2.0, 0.1);  // area 16
  const Polyhedron box = cube({0, 0, 0}, 0.5);  // area 6, cross-section 1
  Csg csg;
  struct Case {
    Csg::OP op;
    double sheetArea, cubeArea;
    bool border;  // the sheet's own border survives
  };
  // The cube's faces are all outside the sheet's (empty) solid; the sheet's pieces are in or
  // out of the cube. The cube minus the sheet is the whole cube with a slit: the sheet inside
  // it, turned the other way.
  for (const Case& c : {Case{Csg::INTERSECTION, 1, 0, true}, Case{Csg::A_MINUS_B, 15, 0, true},
                        Case{Csg::UNION, 15, 6, true}, Case{Csg::B_MINUS_A, 1, 6, false}}) {
    SCOPED_TRACE(c.op);
    const auto r = csg.compute(plane, box, c.op, Csg::CLASSIFY_EDGE);
    const Areas a = areas(csg, *r);
    EXPECT_NEAR(a.of[0], c.sheetArea, 1e-9);
    EXPECT_NEAR(a.of[1], c.cubeArea, 1e-9);
    EXPECT_EQ(borderEdges(*r) > 0, c.border);
    // Fed back: where the sheet ends on the cube, three faces share an edge; the sheet's side
    // is taken apart as a border. A knife away from that curve cuts the cube's corner off.
    Csg next;
    const auto again =
        next.compute(*r, cube({0.5, 0.5, 0.5}, 0.1), Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
    EXPECT_NEAR(areas(next, *again).of[1], c.cubeArea > 0 ? 0.03 : 0.0, 1e-9);
  }
  const auto slit = csg.compute(box, plane, Csg::A_MINUS_B, Csg::CLASSIFY_NORMAL);
  const Areas a = areas(csg, *slit);
  EXPECT_NEAR(a.of[0], 6, 1e-9);
  EXPECT_NEAR(a.of[1], 1, 1e-9);
  for (std::size_t f = 0; f < slit->faceCount(); ++f) {
    if (csg.origins()[f].operand == 1) {
      EXPECT_TRUE(csg.origins()[f].reversed);
    }
  }
}

TEST(CsgOpen, TwoCrossingSheetsAreCutAlongEachOther) {
  const Polyhedron flat = sheet(4, 1.0, 0.05);
  const Polyhedron upright =
      transformed(sheet(5, 1.0, 0.1), rigid({1, 0, 0}, M_PI / 2, {0.03, 0.02, 0}));
  Csg csg;
  const auto u = csg.compute(flat, upright, Csg::UNION, Csg::CLASSIFY_EDGE);
  const Areas a = areas(csg, *u);
  EXPECT_NEAR(a.of[0], 4, 1e-9);
  EXPECT_NEAR(a.of[1], 4, 1e-9);
  EXPECT_GT(u->faceCount(), flat.faceCount() + upright.faceCount());  // cut where they cross
  EXPECT_EQ(csg.compute(flat, upright, Csg::INTERSECTION, Csg::CLASSIFY_EDGE)->faceCount(), 0u);
  // Fed back, the four faces along the crossing pair up as two sheets that touch there, and a
  // second cut goes through.
  const auto again =
      csg.compute(*u, transformed(sheet(3, 0.5, 0.4), rigid({0, 1, 0}, M_PI / 2, {0.6, 0, 0})),
                  Csg::UNION, Csg::CLASSIFY_EDGE);
  EXPECT_GT(again->faceCount(), u->faceCount());
}

// One surface of two crossing sheets (as scans and sheet models that cross themselves are):
// where the cube cuts through the crossing, the surface is cut along its crossing first, and
// the sheets' pieces are kept by the cube as if they had been two operands.
TEST(CsgOpen, ASurfaceThatCrossesItselfIsCutAlongItsCrossing) {
  const Polyhedron flat = sheet(4, 1.0, 0.05);
  const Polyhedron upright =
      transformed(sheet(5, 1.0, 0.1), rigid({1, 0, 0}, M_PI / 2, {0.03, 0.02, 0}));
  const Polyhedron crossing = merged(flat, upright);
  const Polyhedron box = cube({0, 0, 0}, 0.5);
  Csg csg;
  // Identifiers follow each sheet's pieces through the cut along the crossing: 1 on the flat
  // sheet, 2 on the upright one.
  geom::FaceAttr<int> ids;
  csg.attach(ids);
  for (std::size_t f = 0; f < crossing.faceCount(); ++f)
    ids.setAttribute(crossing, f, f < flat.faceCount() ? 1 : 2);
  // Of each sheet (area 4), the square of side 1 inside the cube.
  for (const auto& [op, inside] : {std::pair{Csg::INTERSECTION, 2.0}, {Csg::A_MINUS_B, 6.0}}) {
    SCOPED_TRACE(op);
    const auto r = csg.compute(crossing, box, op, Csg::CLASSIFY_EDGE);
    EXPECT_NEAR(areas(csg, *r).of[0], inside, 1e-9);
    for (std::size_t f = 0; f < r->faceCount(); ++f) {
      if (csg.origins()[f].operand != 0) continue;
      const auto face = r->face(f);
      bool level = true;  // every corner at the flat sheet's height
      for (int v : face) level = level && std::fabs(r->vertices()[v].z - 0.05) < 1e-9;
      EXPECT_EQ(ids.getAttribute(*r, f), level ? 1 : 2) << "face " << f;
    }
    // Fed back, cut again where the sheets cross.
    Csg next;
    const auto again = next.compute(*r, cube({0.1, 0.1, 0.1}, 0.2), Csg::UNION, Csg::CLASSIFY_EDGE);
    EXPECT_GT(again->faceCount(), 0u);
  }
}

// Panels as some models are made: a sheet, a second one beside it sharing the seam's positions
// but not its vertices and wound the other way, and a third crossing the first. Welded, the
// seam's edge would run twice one way, so the crossing cannot be cut; where the cube comes near,
// the faces that cross go, and the Boolean is still made (not refused). The far panel is kept
// whole in the union.
TEST(CsgOpen, PanelsThatCannotBeCutAlongTheirCrossingStillGiveAResult) {
  const Polyhedron near = sheet(4, 0.5, 0.0);
  const Polyhedron far =
      reversedFaces(transformed(sheet(4, 0.5, 0.0), rigid({0, 0, 1}, 0, {1.0, 0, 0})));
  const Polyhedron upright =
      transformed(sheet(4, 0.4, 0.0), rigid({1, 0, 0}, M_PI / 2, {0.03, 0.02, 0}));
  const Polyhedron panels = merged(merged(near, far), upright);
  const Polyhedron box = cube({0.05, 0.05, 0.01}, 0.2);
  Csg csg;
  for (const Csg::OP op : {Csg::UNION, Csg::INTERSECTION, Csg::A_MINUS_B}) {
    SCOPED_TRACE(op);
    std::unique_ptr<Polyhedron> r;
    ASSERT_NO_THROW(r = csg.compute(panels, box, op, Csg::CLASSIFY_EDGE));
    EXPECT_GT(r->faceCount(), 0u);
    if (op != Csg::UNION) continue;
    std::set<std::uint32_t> kept;
    for (const geom::FaceOrigin& o : csg.origins()) {
      if (o.operand == 0) kept.insert(o.face);
    }
    for (std::size_t f = near.faceCount(); f < near.faceCount() + far.faceCount(); ++f)
      EXPECT_EQ(kept.count(static_cast<std::uint32_t>(f)), 1u) << "far panel face " << f;
  }
}

// The faces of a closed mesh's turned, moved copy that a union with the mesh keeps are the
// ones a union with the mesh with holes keeps, except near a hole (within two edges of a border
// vertex), and a few at most.
void expectSameKeptFacesAwayFromHoles(const Polyhedron& closed, const Polyhedron& holey) {
  const geom::AABB box = closed.aabb();
  const Vec3 c = box.pos, half = box.extent;
  const Polyhedron copy = transformed(closed, [&](const Vec3& v) {
    const Vec3 r = rigid({0, 0, 1}, 0.5, {})(v - c);
    return r + c + Vec3{0.3 * half.x, 0.2 * half.y, 0.1 * half.z};
  });
  std::vector<Vec3> holes;  // border vertices
  for (const int v : borderStarts(holey)) holes.push_back(holey.vertices()[v]);
  ASSERT_FALSE(holes.empty());
  Csg csg;
  auto keptOfB = [&](const Polyhedron& a) {
    const auto r = csg.compute(a, copy, Csg::UNION, Csg::CLASSIFY_EDGE);
    std::set<std::uint32_t> kept;
    for (const geom::FaceOrigin& o : csg.origins()) {
      if (o.operand == 1) kept.insert(o.face);
    }
    return kept;
  };
  const std::set<std::uint32_t> want = keptOfB(closed), got = keptOfB(holey);
  ASSERT_GT(want.size(), 1000u);
  double edge = 0;
  for (std::size_t f = 0; f < closed.faceCount(); ++f) edge += std::sqrt(2 * faceArea(closed, f));
  edge /= static_cast<double>(closed.faceCount());
  std::size_t differ = 0;
  for (std::uint32_t f = 0; f < copy.faceCount(); ++f) {
    if (want.count(f) == got.count(f)) continue;
    ++differ;
    Vec3 m;
    for (int v : copy.face(f)) m = m + copy.vertices()[v] * (1.0 / copy.face(f).size());
    double nearest = INFINITY;
    for (const Vec3& h : holes) nearest = std::min(nearest, geom::length(h - m));
    EXPECT_LT(nearest, 2 * edge) << "face " << f << " of B differs away from every hole";
  }
  EXPECT_LT(differ, want.size() / 100);
}

// Bunny with 1 % of its faces removed (holes of one triangle, fixed seed); elephant-with-holes
// (a fifth of elephant's faces gone, in large holes, and crossing itself) against elephant.
TEST(CsgOpen, AlmostClosedBehavesLikeClosed) {
  const Polyhedron closed = loadDemo("bunny00.off");
  std::mt19937 random(11);
  std::vector<std::vector<int>> faces;
  // Holes that share a corner would pinch the surface there (a vertex of two fans).
  std::vector<std::uint8_t> onHole(closed.vertexCount(), 0);
  for (std::size_t f = 0; f < closed.faceCount(); ++f) {
    const auto face = closed.face(f);
    const bool free = std::none_of(face.begin(), face.end(), [&](int v) { return onHole[v]; });
    if (random() % 100 == 0 && free) {
      for (int v : face) onHole[v] = 1;
    } else {
      faces.emplace_back(face.begin(), face.end());
    }
  }
  {
    SCOPED_TRACE("bunny00.off");
    expectSameKeptFacesAwayFromHoles(closed, fromFaces(closed.vertices(), faces));
  }
  SCOPED_TRACE("elephant-with-holes.off");
  expectSameKeptFacesAwayFromHoles(loadDemo("elephant.off"), loadDemo("elephant-with-holes.off"));
}

TEST(FastWindingNumber, AgreesWithTheExactSumAndTellsInsideFromOutside) {
  const Polyhedron ball = uvSphere(48, 24, {0, 0, 0}, 1.0);
  std::vector<std::array<int, 3>> tris;
  for (std::size_t f = 0; f < ball.faceCount(); ++f) {
    const auto face = ball.face(f);
    for (std::size_t i = 1; i + 1 < face.size(); ++i)
      tris.push_back({face[0], face[i], face[i + 1]});
  }
  const geom::FastWindingNumber closedBall(ball.vertices(), tris);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coord(-2.0, 2.0);
  for (int i = 0; i < 300; ++i) {
    const Vec3 p{coord(random), coord(random), coord(random)};
    const double r = geom::length(p);
    if (std::fabs(r - 1) < 0.05) continue;
    EXPECT_NEAR(closedBall.at(p), closedBall.exactAt(p), 1e-2);
    EXPECT_EQ(closedBall.inside(p), r < 1) << p.x << " " << p.y << " " << p.z;
  }
  // The upper half alone: one half at the centre of its rim, next to nothing far below it.
  std::vector<std::array<int, 3>> upper;
  for (const auto& t : tris) {
    if (ball.vertices()[t[0]].z + ball.vertices()[t[1]].z + ball.vertices()[t[2]].z > 0) {
      upper.push_back(t);
    }
  }
  const geom::FastWindingNumber dome(ball.vertices(), upper);
  EXPECT_NEAR(dome.exactAt({0, 0, 0}), 0.5, 1e-2);
  EXPECT_NEAR(dome.at({0, 0, 0.5}), 1.0 - dome.at({0, 0, -0.5}), 2e-2);
  EXPECT_LT(std::fabs(dome.at({0, 0, -10})), 0.01);
  // Across the disk the rim spans, and close to the rim, the winding number passes one half:
  // there the side is still the exact sum's.
  std::uniform_real_distribution<double> near(-1e-3, 1e-3);
  for (int i = 0; i < 400; ++i) {
    const Vec3 p{coord(random) * 0.3, coord(random) * 0.3, near(random)};
    EXPECT_EQ(dome.inside(p), dome.exactAt(p) > 0.5) << p.x << " " << p.y << " " << p.z;
    const double a = coord(random) * M_PI;
    const Vec3 q{std::cos(a) * (1 + near(random)), std::sin(a) * (1 + near(random)), near(random)};
    EXPECT_EQ(dome.inside(q), dome.exactAt(q) > 0.5) << q.x << " " << q.y << " " << q.z;
  }
}

}  // namespace
