// Bonds measured exactly: a 3 x 3 x 3 grid of centres in a cube, through the real Voronoi plug-in.
//
// The node jitters its centres with rand() by up to 9e-5 of the box diagonal, which moves the
// walls by far more than the bonds' own error. This executable replaces rand() (the plug-in
// calls it through the process's symbol table) with values that are all multiples of 10, so
// every jitter is zero and each piece is its grid cell shrunk towards its centre by the
// thickness, clipped to the cube: every bond's area has a closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "cli/fracture.h"

namespace {
unsigned gState = 1;
}  // namespace

extern "C" __attribute__((visibility("default"))) int rand() noexcept {
  gState = gState * 1103515245u + 12345u;
  return static_cast<int>((gState >> 16) & 0x7fff) / 10 * 10;
}

namespace {

using geom::Vec3;

geom::MeshFile cube(double side) {
  geom::MeshFile m;
  for (int i = 0; i < 8; ++i)
    m.points.push_back({i & 1 ? side : 0, i & 2 ? side : 0, i & 4 ? side : 0});
  m.polygons = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  return m;
}

TEST(FractureGrid, EveryBondIsTheShrunkenCellFaceClippedToTheCube) {
  const float thickness = 0.01f;
  cli::FractureOptions o;
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 3; ++y)
      for (int z = 0; z < 3; ++z) o.centres.fixed.push_back({x + 0.5, y + 0.5, z + 0.5});
  o.thickness = thickness;
  o.bonds = true;
  const geom::MeshFile file = cube(3);
  cli::InputMesh in;
  in.file = file;
  in.ids.assign(6, 0);
  host::Host h(std::string(TSL_PLUGIN_DIR) + "/TSL_Voronoi.so");
  cli::RunOptions quiet;
  quiet.quiet = true;
  cli::NodeSession session(quiet);
  const cli::Fracture fr = cli::fracture(h, session, file, cli::toHostArrays(in), o);
  ASSERT_EQ(fr.result.facts.outcome, cli::Outcome::Result);
  ASSERT_EQ(fr.leaves.size(), 27u);

  // A cell's wall runs t = 1 - thickness across (the node's factor, in float) about its centre
  // where a neighbour bounds it, and from the cube's face to t / 2 past its centre where the
  // cube does.
  const double t = static_cast<double>(1.0f - thickness);
  auto extent = [&](int cell) { return cell == 1 ? t : 0.5 + t / 2; };
  auto cellOf = [&](int piece) {
    const Vec3 c = fr.pieces[static_cast<std::size_t>(piece)].centre;
    return std::array<int, 3>{int(c.x), int(c.y), int(c.z)};
  };
  std::map<int, std::set<int>> neighbours;
  double worst = 0;
  for (const cli::Bond& b : fr.bonds) {
    neighbours[b.a].insert(b.b);
    neighbours[b.b].insert(b.a);
    const auto ca = cellOf(b.a), cb = cellOf(b.b);
    int axis = -1, apart = 0;
    for (int k = 0; k < 3; ++k) {
      if (ca[static_cast<std::size_t>(k)] != cb[static_cast<std::size_t>(k)]) axis = k, ++apart;
    }
    ASSERT_EQ(apart, 1) << "only face neighbours";
    double area = 1;
    for (int k = 0; k < 3; ++k) {
      if (k != axis) area *= extent(ca[static_cast<std::size_t>(k)]);
    }
    EXPECT_NEAR(b.area, area, 1e-6);
    worst = std::max(worst, std::fabs(b.area - area));
    // Halfway across the gap, which the walls' planes at t / 2 of the way part.
    const double across =
        std::max(ca[static_cast<std::size_t>(axis)], cb[static_cast<std::size_t>(axis)]);
    EXPECT_NEAR(b.centroid[axis], across, 1e-6);
    EXPECT_NEAR(
        b.normal[axis],
        cb[static_cast<std::size_t>(axis)] > ca[static_cast<std::size_t>(axis)] ? 1.0 : -1.0, 1e-9);
  }
  for (int l : fr.leaves) {
    const auto c = cellOf(l);
    std::size_t expected = 0;
    for (int k : c) expected += (k > 0) + (k < 2);
    EXPECT_EQ(neighbours[l].size(), expected);
  }
  RecordProperty("largest_area_error", std::to_string(worst));
  std::printf("largest bond area error %.3g over %zu bonds\n", worst, fr.bonds.size());
}

}  // namespace
