#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include <voro++/voro++.hh>

#include "geom/predicates.h"
#include "voronoi/voronoi_cells.h"

namespace tsl::voronoi {
namespace {

using geom::Vec3;
const geom::AABB kCube{{0, 0, 0}, {1, 1, 1}};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

double boxVolume(const ContainerBox& b) {
  return double(b.hi.x - b.lo.x) * double(b.hi.y - b.lo.y) * double(b.hi.z - b.lo.z);
}

// Volume, area and corners of cell s of cm.
struct CellShape {
  double volume = 0, area = 0;
  std::vector<Vec3> corners;
};
CellShape shapeOf(const CellMesh& cm, std::size_t s) {
  CellShape out;
  const auto& v = cm.mesh.vertices();
  for (std::size_t f = cm.cellFaceStart[s]; f < cm.cellFaceStart[s + 1]; ++f) {
    const auto t = cm.mesh.face(f);
    out.volume += geom::dot(v[t[0]], geom::cross(v[t[1]], v[t[2]])) / 6;
    out.area += geom::length(geom::cross(v[t[1]] - v[t[0]], v[t[2]] - v[t[0]])) / 2;
    for (int i : t) out.corners.push_back(v[i]);
  }
  return out;
}

std::vector<Site> sitesAt(const std::vector<Vec3>& positions) {
  std::vector<Site> s;
  for (std::size_t i = 0; i < positions.size(); ++i) s.push_back({int(i), positions[i]});
  return s;
}

TEST(VoronoiSetup, ShrinkFactorContainerBoxJitterStepAndAcceptanceOrder) {
  EXPECT_FLOAT_EQ(shrinkFactor(0.001f), 0.999f);
  EXPECT_NEAR(shrinkFactor(0.9999f), 0.0001f, 2e-8);  // 1 - 0.9999f in float: 1.00017e-4
  EXPECT_EQ(shrinkFactor(0.99999f), 0.00005f);
  EXPECT_EQ(shrinkFactor(0.00001f), 0.9999f);
  EXPECT_EQ(shrinkFactor(kNaN), 0.9999f);

  const ContainerBox box = containerBox(kCube);
  for (float v : {box.hi.x, box.hi.y, box.hi.z, -box.lo.x, -box.lo.y, -box.lo.z}) {
    EXPECT_NEAR(v, 1.028868f, 1e-6);
  }
  EXPECT_NEAR(jitterStep(box), 3.5641e-5, 1e-9);
  const ContainerBox uneven = containerBox({{10, 0, -5}, {2, 1, 0.5}});  // along the diagonal
  EXPECT_NEAR(uneven.hi.x - 12, 0.1 / std::sqrt(5.25), 1e-5);
  EXPECT_NEAR(uneven.lo.z + 5.5, -0.025 / std::sqrt(5.25), 1e-6);
  // A point or a flat box: no container, no cells.
  for (const geom::AABB& bad :
       {geom::AABB{{1, 2, 3}, {0, 0, 0}}, geom::AABB{{0, 0, 0}, {1, 1, 0}}}) {
    EXPECT_FALSE(isUsable(containerBox(bad)));
    EXPECT_EQ(voronoi_cells(std::vector<Float3>{{0, 0, 0}}, 0.1f, bad).mesh.faceCount(), 0u);
  }
  // Boxes whose diagonal over- or underflows float still work, through the double diagonal
  // and the power-of-two working scale: one centre, one cell equal to the box.
  for (double size : {1e38, 1e20, 1e-30}) {
    const geom::AABB huge{{0, 0, 0}, {size, size, size}};
    ASSERT_TRUE(isUsable(containerBox(huge))) << size;
    const CellMesh one = voronoi_cells(std::vector<Float3>{{0, 0, 0}}, 0.1f, huge);
    EXPECT_EQ(one.mesh.faceCount(), 12u) << size;
    EXPECT_NEAR(one.mesh.aabb().extent.x / containerBox(huge).hi.x, 1.0, 1e-6) << size;
  }
  // Two centres in a tiny box are cut apart like in a unit box.
  {
    const double s = 1e-9;
    const geom::AABB tiny{{0, 0, 0}, {s, s, s}};
    const std::vector<Float3> two{{float(-0.5 * s), 0, 0}, {float(0.5 * s), 0, 0}};
    EXPECT_EQ(voronoi_cells(two, 0.1f, tiny).cellIds.size(), 2u);
  }

  const float h = box.hi.x, l = box.lo.x;
  EXPECT_TRUE(isAccepted({5, 0, 0}, box));  // z strictly inside: x, y not looked at
  EXPECT_TRUE(isAccepted({0, h, h}, box));  // on the top face y and x decide
  EXPECT_FALSE(isAccepted({0, 2, h}, box));
  EXPECT_FALSE(isAccepted({h, h, h}, box));  // hi does not precede itself
  EXPECT_TRUE(isAccepted({l, l, l}, box));   // lo does not precede itself
  EXPECT_FALSE(isAccepted({l - 1, l, l}, box));
  EXPECT_FALSE(isAccepted({0, 0, -2}, box));
}

TEST(VoronoiSites, JitterTakesThreeRandCallsZThenYThenXAndNeverReseeds) {
  const ContainerBox box = containerBox(kCube);
  const double j = jitterStep(box);
  std::srand(977);
  std::vector<int> r;
  for (int i = 0; i < 7; ++i) r.push_back(std::rand() % 10);
  std::srand(977);
  // The rejected centre in the middle takes neither an identifier nor rand() calls.
  const std::vector<Site> s =
      prepareSites(std::vector<Float3>{{0.25f, -0.5f, 0.75f}, {0, 0, 9}, {-0.125f, 0.5f, 0}}, box);
  EXPECT_EQ(std::rand() % 10, r[6]);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[1].id, 1);
  EXPECT_EQ(s[0].pos, (Vec3{0.25 + r[2] * j, -0.5 + r[1] * j, 0.75 + r[0] * j}));
  EXPECT_EQ(s[1].pos, (Vec3{-0.125 + r[5] * j, 0.5 + r[4] * j, 0.0 + r[3] * j}));
}

TEST(VoronoiSites, BrokenFarAndDuplicateCentresNeverReachTheContainer) {
  const ContainerBox box = containerBox(kCube);
  const float j = float(jitterStep(box)), big = std::numeric_limits<float>::max();
  const std::vector<Float3> centres{
      {kNaN, 0, 0},
      {0, kInf, 0},
      {0, 0, -kInf},  // skipped
      {0.5f, 0.5f, 0.5f},
      {0.5f, 0.5f, 0.5f},
      {0.5f + 0.5f * j, 0.5f, 0.5f},  // one, two merged
      {0.5f + 3 * j, 0.5f, 0.5f},     // beyond J: its own cell
      {big, 0, 0},
      {-big, -big, 0},
      {1e30f, 1e30f, 0.5f},  // accepted, far outside
  };
  SiteStats st;
  const std::vector<Site> sites = prepareSites(centres, box, &st);
  EXPECT_EQ(st.nonFinite, 3u);
  EXPECT_EQ(st.merged, 2u);
  ASSERT_EQ(sites.size(), 5u);
  // Converting 1e30 to a block index is undefined: the sanitizer build watches this.
  const CellMesh cm = cellsOfSites(sites, 0.9f, box);
  EXPECT_EQ(cm.stored, 2u);
  EXPECT_EQ(cm.cellIds, (std::vector<int>{0, 1}));

  // Centres that meet after the jitter: stored once; just beyond the merge distance Voro++
  // still tells them apart (without the guard both cells would vanish).
  const double rho = 1e-3 * jitterStep(box);
  const Vec3 a{0.1, 0.2, 0.3};
  EXPECT_EQ(cellsOfSites(sitesAt({a, a}), 0.9999f, box).coincident, 1u);
  EXPECT_EQ(cellsOfSites(sitesAt({a, a + Vec3{0.5 * rho, 0, 0}}), 0.9999f, box).stored, 1u);
  const CellMesh two = cellsOfSites(sitesAt({a, a + Vec3{2 * rho, 0, 0}}), 0.9999f, box);
  ASSERT_EQ(two.cellIds.size(), 2u);
  EXPECT_GT(std::min(shapeOf(two, 0).volume, shapeOf(two, 1).volume), 0.4 * boxVolume(box));
}

TEST(VoronoiCells, SingleCentreGivesTheContainerBoxInVoroOrder) {
  const ContainerBox box = containerBox(kCube);
  const std::vector<int> expected{2, 3, 1, 0, 2, 1, 7, 5, 1, 3, 7, 1, 4, 0, 1, 5, 4, 1,
                                  4, 6, 2, 0, 4, 2, 7, 3, 2, 6, 7, 2, 7, 6, 4, 5, 7, 4};
  for (float thickness : {0.001f, 0.9999f}) {
    for (Float3 c : {Float3{0, 0, 0}, Float3{0.7f, -0.3f, 0.95f}}) {
      const CellMesh cm = voronoi_cells(std::vector<Float3>{c}, thickness, kCube);
      ASSERT_EQ(cm.mesh.vertexCount(), 8u);
      for (int k = 0; k < 8; ++k) {
        const Vec3& v = cm.mesh.vertices()[k];
        EXPECT_FLOAT_EQ(v.x, (k & 1) ? box.hi.x : box.lo.x) << k;
        EXPECT_FLOAT_EQ(v.y, (k & 2) ? box.hi.y : box.lo.y) << k;
        EXPECT_FLOAT_EQ(v.z, (k & 4) ? box.hi.z : box.lo.z) << k;
      }
      std::vector<int> got;
      for (std::size_t f = 0; f < cm.mesh.faceCount(); ++f) {
        ASSERT_EQ(cm.mesh.face(f).size(), 3u);
        for (int v : cm.mesh.face(f)) got.push_back(v);
      }
      EXPECT_EQ(got, expected);
      EXPECT_NEAR(shapeOf(cm, 0).volume, boxVolume(box), 1e-5);  // positive: wound outwards
    }
  }
  // A centre outside the box takes an identifier but gives no cell.
  CellMesh cm = voronoi_cells(std::vector<Float3>{{5, 0, 0}}, 0.001f, kCube);
  EXPECT_EQ(cm.sites, 1u);
  EXPECT_EQ(cm.mesh.vertexCount(), 0u);
  cm = voronoi_cells(std::vector<Float3>{{5, 0, 0}, {0, 0, 0}}, 0.001f, kCube);
  EXPECT_EQ(cm.cellIds, std::vector<int>{1});
  EXPECT_EQ(voronoi_cells(std::vector<Float3>{}, 0.001f, kCube).mesh.faceCount(), 0u);
}

TEST(VoronoiCells, TwoCentresAreSeparatedByTheKnifeThickness) {
  const ContainerBox box = containerBox(kCube);
  auto xRange = [](const CellMesh& cm, std::size_t s) {
    const auto c = shapeOf(cm, s).corners;
    const auto [lo, hi] = std::minmax_element(
        c.begin(), c.end(), [](const Vec3& a, const Vec3& b) { return a.x < b.x; });
    return std::pair{lo->x, hi->x};
  };
  // Without the jitter exactly: t = 0.9 puts each wall 0.45 from its centre.
  CellMesh cm = cellsOfSites(sitesAt({{-0.5, 0, 0}, {0.5, 0, 0}}), shrinkFactor(0.1f), box);
  ASSERT_EQ(cm.cellIds.size(), 2u);
  EXPECT_NEAR(xRange(cm, 0).second, -0.05, 1e-6);
  EXPECT_NEAR(xRange(cm, 1).first, 0.05, 1e-6);
  // The jitter (up to 9J per coordinate of each centre) shifts the walls and tilts them across
  // the 2.06 wide box: a few tens of J.
  for (int run = 0; run < 20; ++run) {
    cm = voronoi_cells(std::vector<Float3>{{-0.5f, 0, 0}, {0.5f, 0, 0}}, 0.1f, kCube);
    ASSERT_EQ(cm.cellIds.size(), 2u);
    const std::size_t a = cm.cellCentres[0].x < 0 ? 0 : 1;
    EXPECT_NEAR(xRange(cm, a).second, -0.05, 40 * jitterStep(box));
    EXPECT_NEAR(xRange(cm, 1 - a).first, 0.05, 40 * jitterStep(box));
  }
}

// Random sites crowded against the walls and into the corners; every 25th is free to fall in
// the sparse middle, where its cell reaches across several blocks.
std::vector<Vec3> wallHuggingSites(std::size_t n, const ContainerBox& b, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  auto coord = [&](double lo, double hi, bool hug) {
    if (!hug) return lo + (hi - lo) * u(gen);
    const double d = 0.04 * (hi - lo) * u(gen) + 1e-4;
    return u(gen) < 0.5 ? lo + d : hi - d;
  };
  std::vector<Vec3> out;
  for (std::size_t i = 0; i < n; ++i) {
    const int hug = i % 25 == 0 ? 0 : int(i % 7) + 1;  // which axes keep to a wall
    out.push_back({coord(b.lo.x, b.hi.x, hug & 1), coord(b.lo.y, b.hi.y, hug & 2),
                   coord(b.lo.z, b.hi.z, hug & 4)});
  }
  return out;
}

// Site i's cell cut by the shrunken planes of all other sites, no search at all.
CellShape bruteForceCell(const std::vector<Vec3>& pos, std::size_t i, double t,
                         const ContainerBox& b) {
  voro::voronoicell cell;
  const Vec3& c = pos[i];
  cell.init(b.lo.x - c.x, b.hi.x - c.x, b.lo.y - c.y, b.hi.y - c.y, b.lo.z - c.z, b.hi.z - c.z);
  for (std::size_t k = 0; k < pos.size(); ++k) {
    const Vec3 r = pos[k] - c;
    if (k != i && !cell.plane(r.x, r.y, r.z, t * geom::dot(r, r))) return {};
  }
  CellShape out{cell.volume(), 0, {}};
  for (int v = 0; v < cell.p; ++v) {
    const double* p = cell.pts + 3 * v;
    out.corners.push_back(c + Vec3{p[0], p[1], p[2]} * 0.5);
  }
  return out;
}

double nearest(const Vec3& p, const std::vector<Vec3>& set) {
  double best = 1e300;
  for (const Vec3& q : set) best = std::min(best, geom::length(p - q));
  return best;
}

TEST(VoronoiCells, AreClosedOutwardAndEqualToACutByAllOtherCentres) {
  unsigned seed = 11;
  for (const geom::AABB& mb : {kCube, geom::AABB{{3, -2, 1}, {4, 0.5, 1.5}}}) {
    const ContainerBox box = containerBox(mb);
    // Rounding the vertices to float moves each by up to half an ulp of the largest coordinate.
    const double ulp =
        1.2e-7 * std::max({-box.lo.x, box.hi.x, -box.lo.y, box.hi.y, -box.lo.z, box.hi.z});
    for (float t : {0.9999f, 0.6f, 0.05f}) {
      const std::vector<Vec3> pos = wallHuggingSites(500, box, seed++);
      const CellMesh cm = cellsOfSites(sitesAt(pos), t, box);
      ASSERT_EQ(cm.cellIds.size(), pos.size());
      ASSERT_EQ(cm.mesh.manifoldCount(), pos.size());
      for (std::size_t s = 0; s < pos.size(); ++s) {
        EXPECT_TRUE(cm.mesh.manifold_is_closed()[s]);
        EXPECT_FALSE(cm.mesh.manifold_is_negative()[s]);
        const Vec3& c = cm.cellCentres[s];
        // Outward, except slivers thinner than the float rounding, which can flip.
        for (std::size_t f = cm.cellFaceStart[s]; f < cm.cellFaceStart[s + 1]; ++f) {
          const auto tri = cm.mesh.face(f);
          const auto& v = cm.mesh.vertices();
          const Vec3 &a = v[tri[0]], &b = v[tri[1]], &d = v[tri[2]];
          const Vec3 n = geom::cross(b - a, d - a);
          const double edge =
              std::max({geom::length(b - a), geom::length(d - a), geom::length(d - b)});
          EXPECT_TRUE(geom::length(n) < 4 * ulp * edge || geom::dot(n, a - c) > 0) << s;
        }
        // Equal to the brute-force cell, so within every other centre's half space: disjoint.
        const CellShape got = shapeOf(cm, s);
        const CellShape ref = bruteForceCell(pos, std::size_t(cm.cellIds[s]), double(t), box);
        EXPECT_NEAR(got.volume, ref.volume, got.area * ulp + 1e-14) << "cell " << s << " t " << t;
        for (const Vec3& v : got.corners) EXPECT_LT(nearest(v, ref.corners), 2 * ulp) << s;
        for (const Vec3& v : ref.corners) EXPECT_LT(nearest(v, got.corners), 2 * ulp) << s;
      }
    }
  }
}

// Every cell of cm bounds a solid: closed, positive, every triangle with area and turned
// outwards from the centroid of its cell's corners.
void expectSolidCells(const CellMesh& cm) {
  ASSERT_EQ(cm.mesh.manifoldCount(), cm.cellIds.size());
  const auto& v = cm.mesh.vertices();
  for (std::size_t s = 0; s < cm.cellIds.size(); ++s) {
    EXPECT_TRUE(cm.mesh.manifold_is_closed()[s]) << s;
    EXPECT_FALSE(cm.mesh.manifold_is_negative()[s]) << s;
    std::vector<int> corners;
    for (std::size_t f = cm.cellFaceStart[s]; f < cm.cellFaceStart[s + 1]; ++f) {
      for (int i : cm.mesh.face(f)) corners.push_back(i);
    }
    std::sort(corners.begin(), corners.end());
    corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
    Vec3 g;
    for (int i : corners) g = g + v[i];
    g = g * (1.0 / double(corners.size()));
    for (std::size_t f = cm.cellFaceStart[s]; f < cm.cellFaceStart[s + 1]; ++f) {
      const auto t = cm.mesh.face(f);
      EXPECT_FALSE(geom::collinear(v[t[0]], v[t[1]], v[t[2]])) << "cell " << s;
      EXPECT_LT(geom::orient3d(v[t[0]], v[t[1]], v[t[2]], g), 0) << "cell " << s;
    }
  }
}

// A ring of centres at the thickest knife: each cell is a wedge a few float steps thin, whose
// corners, rounded through float, fall together or fold. Every cell that is kept must still bound
// a solid, and none is lost unless not even its hull has a volume in float.
TEST(VoronoiCells, CellsThinnerThanFloatStaySolidsAfterRounding) {
  std::vector<Float3> ring{{0, 0, 0.5f}};
  for (int i = 0; i < 100; ++i) {
    const double a = 2 * M_PI * ((i * 31) % 100) / 100;
    ring.push_back({float(0.5 * std::cos(a)), float(0.5 * std::sin(a)), 0});
  }
  std::srand(7);
  const ContainerBox box = containerBox(kCube);
  const CellMesh cm = cellsOfSites(prepareSites(ring, box), 0.0001f, box);
  EXPECT_GT(cm.rebuilt, 0u);
  EXPECT_EQ(cm.cellIds.size() + cm.dropped, ring.size());
  EXPECT_GE(cm.cellIds.size(), 95u);
  expectSolidCells(cm);
}

// A row of centres 0.01 apart near x = 100: each inner cell is a slab 1e-6 thick (thick enough
// for Voro++), below float's resolution there (7.6e-6), so its rounded corners lie on one
// plane, unless they happen to straddle a float step. Those cells are left out; the others, the
// two at the ends of the row among them, are kept and bound solids.
TEST(VoronoiCells, CellsFlatInFloatAreLeftOut) {
  std::vector<Vec3> row;
  for (int i = 0; i < 20; ++i) row.push_back({99.5 + 0.01 * i, 0.1, -0.2});
  const CellMesh cm = cellsOfSites(sitesAt(row), 0.0001f, containerBox({{100, 0, 0}, {2, 2, 2}}));
  EXPECT_EQ(cm.stored, 20u);
  EXPECT_GT(cm.dropped, 10u);
  EXPECT_EQ(cm.cellIds.size() + cm.dropped, 20u);
  expectSolidCells(cm);
}

// 5000 planes through one point on the axis of their ring: the vertex they share outgrows
// Voro++'s maximum vertex order (2048), which the library reports as fatal.
TEST(VoronoiFatal, LibraryFailureBecomesAnExceptionAndTheProcessCarriesOn) {
  std::vector<Vec3> ring{{-2.5, -2.5, -2.5}};  // in the first block, put first: cut first
  for (int i = 0; i < 5000; ++i) {
    const double a = 2 * M_PI * i / 5000;
    ring.push_back(ring[0] + Vec3{0.4 * std::cos(a), 0.4 * std::sin(a), 0.4});
  }
  try {
    cellsOfSites(sitesAt(ring), 0.9999f, containerBox({{0, 0, 0}, {3, 3, 3}}));
    ADD_FAILURE() << "Voro++ took 5000 concurrent planes";
  } catch (const VoroError& e) {
    EXPECT_STREQ(e.what(), "voro++: Vertex order memory allocation exceeded absolute maximum");
    EXPECT_EQ(e.status(), VOROPP_MEMORY_ERROR);
  }
  EXPECT_EQ(voronoi_cells(std::vector<Float3>{{0, 0, 0}}, 0.001f, kCube).mesh.faceCount(), 12u);
}

}  // namespace
}  // namespace tsl::voronoi
