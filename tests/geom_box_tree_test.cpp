// The box hierarchy finds exactly the overlapping pairs a brute-force comparison finds, and
// the near-triangle selection gives CGAL a surface that holds every place where the operands
// meet, with one fan at each vertex.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "geom/box_tree.h"
#include "geom/csg.h"
#include "geom/csg/near.h"
#include "geom/csg/operand.h"
#include "geom/csg/self_intersection.h"
#include "support/csg_meshes.h"

namespace {

using geom::BoxTree;
using geom::Vec3;
using Pairs = std::set<std::pair<std::uint32_t, std::uint32_t>>;
using Tris = std::vector<std::array<int, 3>>;

struct Soup {
  std::vector<Vec3> points;
  Tris tris;
};

// Small triangles scattered in a cube, some sharing corners (boxes that only touch count).
Soup randomSoup(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> at(0, 10), off(-0.6, 0.6);
  Soup s;
  for (std::size_t t = 0; t < n; ++t) {
    const Vec3 c{at(rng), at(rng), at(rng)};
    const int base = static_cast<int>(s.points.size());
    for (int k = 0; k < 3; ++k)
      s.points.push_back({c.x + off(rng), c.y + off(rng), c.z + off(rng)});
    if (t % 5 == 4) {
      s.tris.push_back({base - 3, base + 1, base + 2});  // a corner shared with the one before
    } else {
      s.tris.push_back({base, base + 1, base + 2});
    }
  }
  return s;
}

// How far apart the triangles' boxes are (the largest gap along an axis; 0 where they overlap).
double boxGap(const Soup& a, int i, const Soup& b, int j) {
  double gap = 0;
  for (int k = 0; k < 3; ++k) {
    double alo = 1e300, ahi = -1e300, blo = 1e300, bhi = -1e300;
    for (int c = 0; c < 3; ++c) {
      const double x = k == 0   ? a.points[a.tris[i][c]].x
                       : k == 1 ? a.points[a.tris[i][c]].y
                                : a.points[a.tris[i][c]].z;
      const double y = k == 0   ? b.points[b.tris[j][c]].x
                       : k == 1 ? b.points[b.tris[j][c]].y
                                : b.points[b.tris[j][c]].z;
      alo = std::min(alo, x), ahi = std::max(ahi, x), blo = std::min(blo, y),
      bhi = std::max(bhi, y);
    }
    gap = std::max({gap, alo - bhi, blo - ahi});
  }
  return gap;
}

bool boxesOverlap(const Soup& a, int i, const Soup& b, int j) {
  return boxGap(a, i, b, j) <= 0;
}

// Every overlapping pair is found; a pair found beyond those is one whose boxes come within the
// tree's float rounding of each other (its boxes are rounded outwards).
void expectFound(const Pairs& found, const Pairs& expected, const Soup& a, const Soup& b,
                 std::size_t n) {
  for (const auto& p : expected)
    EXPECT_EQ(found.count(p), 1u) << n << ": missing " << p.first << " " << p.second;
  for (const auto& p : found) {
    if (!expected.count(p)) {
      EXPECT_LT(boxGap(a, int(p.first), b, int(p.second)), 1e-5) << n;
    }
  }
}

// The box of triangle t, rounded outwards to float.
BoxTree::Box floatBox(const Soup& s, std::size_t t) {
  BoxTree::Box box{{INFINITY, INFINITY, INFINITY}, {-INFINITY, -INFINITY, -INFINITY}};
  for (const int v : s.tris[t]) {
    const double c[3] = {s.points[v].x, s.points[v].y, s.points[v].z};
    for (int k = 0; k < 3; ++k) {
      box.lo[k] = std::min(box.lo[k], std::nextafter(static_cast<float>(c[k]), -INFINITY));
      box.hi[k] = std::max(box.hi[k], std::nextafter(static_cast<float>(c[k]), INFINITY));
    }
  }
  return box;
}

TEST(BoxTree, FindsEveryOverlappingPairOnce) {
  // 4500: above the size where the tree sorts by radix.
  for (const std::size_t n : {0u, 1u, 3u, 5u, 9u, 300u, 2500u, 4500u}) {
    const Soup a = randomSoup(n, 7 + static_cast<unsigned>(n));
    const Soup b = randomSoup(n / 2 + 1, 100 + static_cast<unsigned>(n));
    Pairs expectSelf, expectAcross;
    for (std::size_t i = 0; i < a.tris.size(); ++i) {
      for (std::size_t j = i + 1; j < a.tris.size(); ++j) {
        if (boxesOverlap(a, int(i), a, int(j))) expectSelf.insert({i, j});
      }
      for (std::size_t j = 0; j < b.tris.size(); ++j) {
        if (boxesOverlap(a, int(i), b, int(j))) expectAcross.insert({i, j});
      }
    }
    const BoxTree ta(a.points, a.tris), tb(b.points, b.tris);
    Pairs self, across;
    std::size_t calls = 0;
    ta.selfPairs([&](std::uint32_t i, std::uint32_t j) {
      ++calls;
      self.insert({std::min(i, j), std::max(i, j)});
    });
    EXPECT_EQ(calls, self.size()) << n << " triangles: a pair reported twice";
    expectFound(self, expectSelf, a, a, n);
    ta.pairs(tb, [&](std::uint32_t i, std::uint32_t j) { across.insert({i, j}); });
    expectFound(across, expectAcross, a, b, n);
    // Through the walk that looks a leaf's triangles up in the other side's subtree: with a
    // test that turns nothing down, the same pairs, each once.
    Pairs reached;
    std::size_t reachedCalls = 0;
    ta.pairs(
        tb,
        [&](std::uint32_t i, std::uint32_t j) {
          ++reachedCalls;
          reached.insert({i, j});
        },
        [](int, std::uint32_t) { return [](const BoxTree::Box&) { return true; }; });
    EXPECT_EQ(reachedCalls, reached.size()) << n << " triangles: a pair reported twice";
    expectFound(reached, expectAcross, a, b, n);
    // The same pairs by querying a's tree with each box of b.
    Pairs queried;
    for (std::size_t j = 0; j < b.tris.size(); ++j) {
      const BoxTree::Box box = floatBox(b, j);
      ta.query([&](const BoxTree::Box& other) { return other.overlaps(box); },
               [&](std::uint32_t i) {
                 queried.insert({i, static_cast<std::uint32_t>(j)});
               });
    }
    expectFound(queried, expectAcross, a, b, n);
  }
}

TEST(BoxTree, TakesOnlyTheFlaggedTriangles) {
  const Soup a = randomSoup(400, 3);
  std::vector<std::uint8_t> only(a.tris.size(), 0);
  for (std::size_t t = 0; t < only.size(); t += 3) only[t] = 1;
  Pairs got;
  BoxTree(a.points, a.tris, &only).selfPairs([&](std::uint32_t i, std::uint32_t j) {
    EXPECT_TRUE(only[i] && only[j]);
    got.insert({std::min(i, j), std::max(i, j)});
  });
  std::size_t expected = 0;
  for (std::size_t i = 0; i < a.tris.size(); ++i) {
    for (std::size_t j = i + 1; j < a.tris.size(); ++j) {
      expected += only[i] && only[j] && boxesOverlap(a, int(i), a, int(j));
    }
  }
  EXPECT_EQ(got.size(), expected);
  const std::vector<std::uint8_t> none(a.tris.size(), 0);
  EXPECT_TRUE(BoxTree(a.points, a.tris, &none).empty());
}

// Number of separate fans of marked triangles around each vertex of op (0 when none).
std::vector<int> markedFans(const geom::csg::TriangulatedOperand& op,
                            const std::vector<std::uint8_t>& marked) {
  std::vector<int> fans(op.mesh->vertexCount(), 0);
  for (std::size_t h = 0; h < op.tris.size() * 3; ++h) {
    // A marked triangle whose neighbour before it around corner h % 3 is not marked begins a
    // fan there.
    const std::size_t t = h / 3;
    const int before = op.opposite[3 * t + (h % 3 + 2) % 3] / 3;
    if (marked[t] && !marked[before]) ++fans[op.tris[t][h % 3]];
  }
  return fans;
}

// nearTriangles of a and b, checked against every pair of their triangles: each pair that
// may meet is marked on both sides, and the marked triangles form one fan at each vertex.
geom::csg::NearTriangles expectMeetingPairsMarked(const geom::Polyhedron& a,
                                                  const geom::Polyhedron& b, const char* what) {
  const geom::csg::TriangulatedOperand ta = geom::csg::prepareOperand(a, "operand A");
  const geom::csg::TriangulatedOperand tb = geom::csg::prepareOperand(b, "operand B");
  geom::csg::NearTriangles near = geom::csg::nearTriangles(ta, tb);
  const Soup sa{a.vertices(), ta.tris}, sb{b.vertices(), tb.tris};
  auto corners = [](const Soup& s, std::size_t t) {
    return std::array<Vec3, 3>{s.points[s.tris[t][0]], s.points[s.tris[t][1]],
                               s.points[s.tris[t][2]]};
  };
  std::size_t meeting = 0;
  for (std::size_t i = 0; i < ta.tris.size(); ++i) {
    for (std::size_t j = 0; j < tb.tris.size(); ++j) {
      if (!boxesOverlap(sa, int(i), sb, int(j))) continue;
      if (!geom::csg::trianglesMayMeet(corners(sa, i), corners(sb, j))) continue;
      ++meeting;
      EXPECT_TRUE(near.of[0][i] && near.of[1][j]) << what << ": " << i << " " << j;
    }
  }
  EXPECT_GT(meeting, 0u) << what;
  for (int m = 0; m < 2; ++m) {
    const auto& op = m == 0 ? ta : tb;
    for (const int f : markedFans(op, near.of[m])) EXPECT_LE(f, 1) << what;
  }
  return near;
}

TEST(CsgNear, MarksWhereTheOperandsMeetWithOneFanPerVertex) {
  using namespace tsl::csgtest;
  const geom::Polyhedron a = uvSphere(60, 30, {0, 0, 0}, 1.0);
  const geom::Polyhedron b =
      transformed(uvSphere(50, 25, {0, 0, 0}, 1.0), rigid({0, 1, 0}, 0.3, {0.6, 0.1, 0.05}));
  const geom::csg::TriangulatedOperand ta = geom::csg::prepareOperand(a, "operand A");
  const geom::csg::TriangulatedOperand tb = geom::csg::prepareOperand(b, "operand B");
  const geom::csg::NearTriangles near = expectMeetingPairsMarked(a, b, "spheres");
  // Only a band along the intersection curve is marked, and all of it: every pair that meets,
  // and of the pairs whose boxes overlap only about those.
  EXPECT_GT(near.count[0], 0u);
  EXPECT_LT(near.count[0], ta.tris.size() / 3);
  const Soup sa{a.vertices(), ta.tris}, sb{b.vertices(), tb.tris};
  std::vector<std::uint8_t> boxNear(ta.tris.size(), 0);
  for (std::size_t i = 0; i < ta.tris.size(); ++i) {
    for (std::size_t j = 0; j < tb.tris.size(); ++j) {
      if (boxesOverlap(sa, int(i), sb, int(j))) boxNear[i] = 1;
    }
  }
  EXPECT_LT(near.count[0], std::count(boxNear.begin(), boxNear.end(), 1));

  // A few large triangles over many small ones (the search follows the large ones' planes):
  // a turned box through the sphere, also far from the origin; boxes lying on a face of a
  // finely divided cube (in its plane), touching it along an edge, and cutting through it.
  const auto turned = rigid(Vec3{1, 2, 3} * (1 / std::sqrt(14.0)), 0.4, {0.3, -0.2, 0.1});
  const geom::Polyhedron cutter = transformed(box({-0.9, -0.5, -0.7}, {0.6, 0.8, 0.5}), turned);
  expectMeetingPairsMarked(a, cutter, "turned box");
  const auto away = rigid({0, 0, 1}, 0, {2.5e4, -3.1e4, 1.7e4});
  expectMeetingPairsMarked(transformed(a, away), transformed(cutter, away), "far away");
  const geom::Polyhedron grid = gridCube(24);
  expectMeetingPairsMarked(grid, box({-0.4, -0.3, 1}, {0.5, 0.2, 2}), "on a face");
  expectMeetingPairsMarked(grid, box({-2, -2, 1}, {2, 0.3, 2}), "over a face's edges");
  expectMeetingPairsMarked(grid, cutter, "through the cube");
  expectMeetingPairsMarked(grid, box({1, 1, -0.5}, {2, 2, 0.5}), "along an edge");
  // Two small cubes through opposite triangles of a fan of eight: the marked triangles at its
  // centre would form two fans, so the whole ring is marked.
  std::vector<Vec3> pts{{0, 0, 1}, {0, 0, -1}};
  for (int i = 0; i < 8; ++i) pts.push_back({std::cos(i * M_PI / 4), std::sin(i * M_PI / 4), 1});
  for (int i = 0; i < 8; ++i) pts.push_back({std::cos(i * M_PI / 4), std::sin(i * M_PI / 4), -1});
  std::vector<std::vector<int>> faces;
  for (int i = 0; i < 8; ++i) {
    const int j = (i + 1) % 8;
    faces.push_back({0, 2 + i, 2 + j});
    faces.push_back({1, 10 + j, 10 + i});
    faces.push_back({2 + i, 10 + i, 10 + j, 2 + j});
  }
  const geom::Polyhedron prism = fromFaces(pts, faces);
  const geom::Polyhedron pins = merged(cube({0.78, 0.2, 1}, 0.03), cube({-0.78, -0.2, 1}, 0.03));
  const geom::csg::TriangulatedOperand tp = geom::csg::prepareOperand(prism, "operand A");
  const geom::csg::TriangulatedOperand tq = geom::csg::prepareOperand(pins, "operand B");
  const geom::csg::NearTriangles ring = geom::csg::nearTriangles(tp, tq);
  EXPECT_LE(markedFans(tp, ring.of[0])[0], 1);
  for (std::size_t t = 0; t < tp.tris.size(); ++t) {
    if (tp.tris[t][0] == 0 || tp.tris[t][1] == 0 || tp.tris[t][2] == 0) {
      EXPECT_TRUE(ring.of[0][t]);
    }
  }
  // And the engine cuts through it as through any other surface.
  geom::Csg csg;
  EXPECT_NEAR(volume(*csg.compute(prism, pins, geom::Csg::A_MINUS_B, geom::Csg::CLASSIFY_EDGE)),
              volume(prism) - 2 * 0.06 * 0.06 * 0.03, 1e-12);

  // Operands apart: nothing to corefine.
  const geom::Polyhedron far = transformed(b, rigid({0, 0, 1}, 0, {5, 0, 0}));
  const geom::csg::TriangulatedOperand tf = geom::csg::prepareOperand(far, "operand B");
  const geom::csg::NearTriangles none = geom::csg::nearTriangles(ta, tf);
  EXPECT_EQ(none.count[0] + none.count[1], 0u);
}

}  // namespace
