// Fracture centres placed by the command: the grid that speeds the inside test keeps its
// answers, so a seed gives the same centres as testing every face.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <ranges>
#include <vector>

#include "geom/error.h"
#include "geom/mesh_sampling.h"
#include "support/csg_demo_meshes.h"

namespace {

using geom::MeshFile;
using geom::Vec3;

// The draws scatterInside makes, each kept when the brute-force parity test says inside.
std::vector<Vec3> expectedDraws(const MeshFile& m, std::size_t count, std::uint64_t seed) {
  // Uniform over the points' range along one axis.
  auto along = [&m](double Vec3::*axis) {
    const auto [lo, hi] = std::ranges::minmax(
        m.points | std::views::transform([axis](const Vec3& p) { return p.*axis; }));
    return std::uniform_real_distribution<double>(lo, hi);
  };
  std::mt19937_64 rng(seed);
  auto ux = along(&Vec3::x), uy = along(&Vec3::y), uz = along(&Vec3::z);
  std::vector<Vec3> out;
  while (out.size() < count) {
    const Vec3 p{ux(rng), uy(rng), uz(rng)};
    if (geom::insideByParity(m, p)) out.push_back(p);
  }
  return out;
}

TEST(MeshSampling, SameCentresAsTestingEveryFace) {
  for (const char* name : {"bunny00.off", "double-torus-example.off", "man.off"}) {
    const MeshFile m = geom::readMeshFile(std::string(TSL_CSG_MESH_DIR) + "/" + name);
    const std::vector<Vec3> got = geom::scatterInside(m, 60, 17);
    const std::vector<Vec3> want = expectedDraws(m, 60, 17);
    ASSERT_EQ(got.size(), want.size()) << name;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(got[i].x == want[i].x && got[i].y == want[i].y && got[i].z == want[i].z)
          << name << " centre " << i;
    }
  }
}

TEST(MeshSampling, AFlatOrEmptyMeshIsRefused) {
  MeshFile flat;
  flat.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  flat.polygons = {{0, 1, 2}};
  EXPECT_THROW(geom::scatterInside(flat, 3, 1), geom::Error);
  EXPECT_THROW(geom::scatterInside(MeshFile{}, 3, 1), geom::Error);
}

}  // namespace
