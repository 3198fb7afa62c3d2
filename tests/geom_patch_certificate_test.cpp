// The certificate that a patch cannot meet itself: it vouches for sheets that project one to
// one, never for a patch whose triangles overlap seen along every direction they face, and the
// pair walk it shortens still finds every crossing.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <vector>

#include "geom/box_tree.h"
#include "geom/csg/operand.h"
#include "geom/csg/patch_certificate.h"
#include "geom/csg/self_intersection.h"
#include "geom/error.h"
#include "support/csg_meshes.h"

namespace {

using geom::Polyhedron;
using geom::Vec3;
using geom::csg::PatchCertificate;
using geom::csg::prepareOperand;
using geom::csg::TriangulatedOperand;

// Sheets of n x n quads over [0, 1]^2 (each quad two triangles facing +z), placed by `at`;
// a quad is left out where `skip` says so.
struct Sheets {
  std::vector<Vec3> points;
  std::vector<std::vector<int>> faces;

  void add(int n, const std::function<Vec3(double, double)>& at,
           const std::function<bool(int, int)>& skip = nullptr) {
    const int base = static_cast<int>(points.size());
    for (int j = 0; j <= n; ++j) {
      for (int i = 0; i <= n; ++i) points.push_back(at(double(i) / n, double(j) / n));
    }
    auto v = [&](int i, int j) { return base + j * (n + 1) + i; };
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        if (skip && skip(i, j)) continue;
        faces.push_back({v(i, j), v(i + 1, j), v(i + 1, j + 1)});
        faces.push_back({v(i, j), v(i + 1, j + 1), v(i, j + 1)});
      }
    }
  }
  Polyhedron mesh() const { return tsl::csgtest::fromFaces(points, faces); }
};

std::vector<std::uint32_t> all(const TriangulatedOperand& op) {
  std::vector<std::uint32_t> t(op.tris.size());
  std::iota(t.begin(), t.end(), 0u);
  return t;
}

Vec3 flat(double x, double y) {
  return {x, y, 0.1 * std::sin(3 * x) * y};
}

TEST(PatchCertificate, VouchesForSheetsThatProjectOneToOne) {
  struct Case {
    const char* name;
    std::function<void(Sheets&)> build;
  };
  const Case cases[] = {
      {"a wavy sheet", [](Sheets& s) { s.add(12, flat); }},
      {"a sheet with a hole",
       [](Sheets& s) { s.add(12, flat, [](int i, int j) { return i > 3 && i < 8 && j > 4; }); }},
      {"a sheet turned over (facing -z)",
       [](Sheets& s) { s.add(12, [](double x, double y) {
                         return Vec3{y, x, 0.05 * x * y};
                       }); }},
      {"a curved sheet facing a diagonal only",
       [](Sheets& s) {
         s.add(12, [](double x, double y) {
           const double a = (-30 + 150 * x) * M_PI / 180;
           return Vec3{std::cos(a), std::sin(a), y};
         });
       }},
  };
  for (const Case& c : cases) {
    Sheets s;
    c.build(s);
    const Polyhedron m = s.mesh();
    const TriangulatedOperand op = prepareOperand(m, "operand A");
    PatchCertificate certificate(op);
    std::vector<std::uint32_t> rest;
    EXPECT_TRUE(certificate.embedded(all(op), rest)) << c.name;
    EXPECT_TRUE(rest.empty()) << c.name;
  }
}

TEST(PatchCertificate, NeverVouchesForTrianglesThatOverlapInEveryView) {
  // A ramp that winds round one and a half times: every triangle faces down, and the sheet
  // lies over itself without meeting itself. The same ramp, tilted across so that its second
  // turn crosses its first. A sheet folded back over itself.
  Sheets ramp, crossing, folded;
  auto spiral = [](const std::function<double(double, double)>& height) {
    return [height](double x, double y) {
      const double a = 3 * M_PI * x, r = 1 + y;
      return Vec3{r * std::cos(a), r * std::sin(a), height(x, y)};
    };
  };
  ramp.add(40, spiral([](double x, double) { return 0.3 * x; }));
  crossing.add(40, spiral([](double x, double y) { return (x - 0.4) * (y - 0.5); }));
  folded.add(16, [](double x, double y) {
    const double a = 1.3 * M_PI * x;
    return Vec3{0.5 - 0.5 * std::cos(a), y, 0.5 * std::sin(a)};
  });
  for (const Sheets* s : {&ramp, &crossing, &folded}) {
    const Polyhedron m = s->mesh();
    const TriangulatedOperand op = prepareOperand(m, "operand A");
    PatchCertificate certificate(op);
    std::vector<std::uint32_t> rest;
    EXPECT_FALSE(certificate.embedded(all(op), rest));
  }
}

TEST(PatchCertificate, LeavesOutWhatItCannotVouchFor) {
  // Two sheets, the smaller over the larger and crossing it: vouched for only with the smaller
  // left out. A sheet with two holes that share a corner: the triangles at that corner left out.
  Sheets stacked, sheet;
  stacked.add(12, flat);
  stacked.add(4, [](double x, double y) {
    return Vec3{0.3 + 0.3 * x, 0.3 + 0.3 * y, 0.4 * x - 0.2};
  });
  sheet.add(8, flat);
  {
    const Polyhedron m = stacked.mesh();
    const TriangulatedOperand op = prepareOperand(m, "operand A");
    PatchCertificate certificate(op);
    std::vector<std::uint32_t> rest;
    ASSERT_TRUE(certificate.embedded(all(op), rest));
    EXPECT_EQ(std::set<std::uint32_t>(rest.begin(), rest.end()).size(), 32u);
    for (const std::uint32_t p : rest) EXPECT_GE(p, 288u);  // the smaller sheet's triangles
  }
  {
    const Polyhedron m = sheet.mesh();
    const TriangulatedOperand op = prepareOperand(m, "operand A");
    std::vector<std::uint32_t> blocks;  // without quads (3, 4) and (4, 3)
    for (std::uint32_t t = 0; t < op.tris.size(); ++t) {
      const int quad = static_cast<int>(t / 2), i = quad % 8, j = quad / 8;
      if (!(i == 3 && j == 4) && !(i == 4 && j == 3)) blocks.push_back(t);
    }
    PatchCertificate certificate(op);
    std::vector<std::uint32_t> rest;
    ASSERT_TRUE(certificate.embedded(blocks, rest));
    const int corner = 4 * 9 + 4;
    EXPECT_EQ(rest.size(), 4u);
    for (const std::uint32_t p : rest) {
      const auto& c = op.tris[blocks[p]];
      EXPECT_TRUE(c[0] == corner || c[1] == corner || c[2] == corner);
    }
  }
}

// The walk with a certifier finds every overlapping pair but those inside a subtree vouched for
// that have no triangle left out, each once.
TEST(PatchCertificate, TheWalkSkipsOnlyWhatWasVouchedFor) {
  Sheets s;
  for (int k = 0; k < 6; ++k) {
    s.add(10, [k](double x, double y) { return Vec3{x + 0.3 * k, y + 0.1 * k, 0.2 * k * x}; });
  }
  const Polyhedron m = s.mesh();
  const TriangulatedOperand op = prepareOperand(m, "operand A");
  const geom::BoxTree& tree = geom::csg::trianglesTree(op);
  std::set<std::pair<std::uint32_t, std::uint32_t>> every, walked;
  tree.selfPairs([&](std::uint32_t i, std::uint32_t j) {
    every.insert({std::min(i, j), std::max(i, j)});
  });
  std::map<std::uint32_t, int> vouched;  // triangle: subtree vouched for (not left out)
  int subtrees = 0;
  std::size_t calls = 0;
  tree.selfPairs(
      [&](std::uint32_t i, std::uint32_t j) {
        ++calls;
        walked.insert({std::min(i, j), std::max(i, j)});
      },
      [&](std::span<const std::uint32_t> tris, std::vector<std::uint32_t>& rest) {
        if (tris.size() > 64) return false;
        for (std::size_t p = 0; p < tris.size(); p += 5)
          rest.push_back(static_cast<std::uint32_t>(p));
        ++subtrees;
        for (std::size_t p = 0; p < tris.size(); ++p) {
          if (p % 5 != 0) vouched[tris[p]] = subtrees;
        }
        return true;
      });
  ASSERT_GT(subtrees, 1);
  EXPECT_EQ(calls, walked.size()) << "a pair reported twice";
  std::size_t skipped = 0;
  for (const auto& [i, j] : every) {
    const bool skip = vouched.count(i) && vouched.count(j) && vouched[i] == vouched[j];
    skipped += skip;
    EXPECT_EQ(walked.count({i, j}), skip ? 0u : 1u) << i << " " << j;
  }
  EXPECT_GT(skipped, 0u);
}

TEST(PatchCertificate, TheTestStillFindsCrossingsInsideASmoothSurface) {
  // A large sheet and a small one crossing it, in one operand; a closed sphere with one vertex
  // pushed through the far side.
  Sheets s;
  s.add(60, flat);
  s.add(3, [](double x, double y) { return Vec3{0.5 + 0.05 * x, 0.5 + 0.05 * y, 0.2 * x - 0.1}; });
  const Polyhedron sheets = s.mesh();
  EXPECT_THROW(geom::csg::checkSelfIntersections(prepareOperand(sheets, "operand A")), geom::Error);

  Polyhedron sphere = tsl::csgtest::uvSphere(80, 80, {0, 0, 0}, 1);
  std::vector<Vec3> points = sphere.vertices();
  std::size_t top = 0;
  for (std::size_t v = 0; v < points.size(); ++v) {
    if (points[v].z > points[top].z) top = v;
  }
  points[top].z = -1.2;
  std::vector<std::vector<int>> faces;
  for (std::size_t f = 0; f < sphere.faceCount(); ++f) {
    faces.emplace_back(sphere.face(f).begin(), sphere.face(f).end());
  }
  const Polyhedron poked = tsl::csgtest::fromFaces(points, faces);
  EXPECT_THROW(geom::csg::checkSelfIntersections(prepareOperand(poked, "operand A")), geom::Error);
  EXPECT_NO_THROW(geom::csg::checkSelfIntersections(prepareOperand(sphere, "operand A")));
}

}  // namespace
