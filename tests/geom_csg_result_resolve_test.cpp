// A result on the publishing grid: sliver islands that rounding turned inside out are found
// and dropped, while a cavity (negative too, but thick) and a sliver the right way out stay.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "geom/csg/result_resolve.h"
#include "support/csg_meshes.h"

namespace {

using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

TEST(ResultOnGrid, SliversTurnedInsideOutGoWhileCavitiesStay) {
  // A cube with a cavity; a box 1e-9 thick (float steps near 2 are 2.4e-7) the right way out;
  // the same box turned inside out.
  const Polyhedron hollow = merged(cube({0, 0, 0}), reversedFaces(cube({0, 0, 0}, 0.5)));
  const Polyhedron sliver = box({2, 2, 2}, {2.5, 2.5, 2 + 1e-9});
  const Polyhedron turned = reversedFaces(box({-3, 2, 2}, {-2.5, 2.5, 2 + 1e-9}));
  const Polyhedron all = merged(merged(hollow, sliver), turned);
  const geom::csg::Grid grid{true, Vec3{0, 0, 0}, 1.0};
  const std::vector<std::uint8_t> drop = geom::csg::turnedSlivers(all, grid);
  ASSERT_EQ(drop.size(), all.faceCount());
  const std::size_t kept = hollow.faceCount() + sliver.faceCount();
  for (std::size_t f = 0; f < all.faceCount(); ++f) EXPECT_EQ(drop[f], f >= kept ? 1 : 0) << f;

  geom::csg::ResultBuild rb;
  rb.points = all.vertices();
  for (std::size_t f = 0; f < all.faceCount(); ++f) {
    for (const int v : all.face(f)) rb.corners.push_back(v);
    rb.offsets.push_back(static_cast<std::uint32_t>(rb.corners.size()));
    rb.origins.push_back({0, false, static_cast<std::uint32_t>(f)});
  }
  geom::csg::withoutFaces(rb, drop);
  ASSERT_EQ(rb.faceCount(), kept);
  EXPECT_EQ(rb.points.size(), hollow.vertices().size() + sliver.vertices().size());
  for (std::size_t f = 0; f < kept; ++f) EXPECT_EQ(rb.origins[f].face, f);
  for (const int v : rb.corners) EXPECT_LT(static_cast<std::size_t>(v), rb.points.size());

  // Nothing to drop: no list at all.
  EXPECT_TRUE(geom::csg::turnedSlivers(merged(hollow, sliver), grid).empty());
}

}  // namespace
