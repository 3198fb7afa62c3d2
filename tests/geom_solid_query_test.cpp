// Point-in-solid queries give the same answers once they go through the box tree as when they
// scan every triangle (the first few queries do), also far from the origin where the tree's
// segment test works with large coordinates.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "geom/csg/solid_query.h"
#include "support/csg_meshes.h"

namespace {

using geom::Vec3;
using geom::csg::SolidQuery;

struct Surface {
  std::vector<Vec3> points;
  std::vector<std::array<int, 3>> tris;
};

// A sphere of radius r around c, its quads cut into triangles.
Surface sphere(const Vec3& c, double r) {
  const geom::Polyhedron m = tsl::csgtest::uvSphere(40, 30, c, r);
  Surface s{m.vertices(), {}};
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    const auto face = m.face(f);
    for (std::size_t k = 1; k + 1 < face.size(); ++k)
      s.tris.push_back({face[0], face[k], face[k + 1]});
  }
  return s;
}

TEST(SolidQuery, TreeQueriesAgreeWithScanningEveryTriangle) {
  for (const Vec3 c : {Vec3{0, 0, 0}, Vec3{2.5e4, -3.1e4, 1.7e4}}) {
    const double r = 3.0;
    const Surface s = sphere(c, r);
    const SolidQuery shared(s.points, s.tris, nullptr, "A");
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> at(-1.3 * r, 1.3 * r);
    int inside = 0, outside = 0;
    for (int i = 0; i < 400; ++i) {
      const Vec3 p{c.x + at(rng), c.y + at(rng), c.z + at(rng)};
      const int w = shared.winding(p);
      // A query of its own scans every triangle.
      EXPECT_EQ(w, SolidQuery(s.points, s.tris, nullptr, "A").winding(p)) << i;
      const double d = geom::length(p - c);
      if (d < 0.95 * r) {
        EXPECT_EQ(w, 1) << i;
        ++inside;
      } else if (d > r) {
        EXPECT_EQ(w, 0) << i;
        ++outside;
      }
      for (const double reach : {0.01 * r, 0.2 * r}) {
        EXPECT_EQ(shared.within(p, reach),
                  SolidQuery(s.points, s.tris, nullptr, "A").within(p, reach))
            << i << " " << reach;
      }
    }
    EXPECT_GT(inside, 50);
    EXPECT_GT(outside, 50);
    // On a corner of the surface.
    EXPECT_EQ(shared.winding(s.points[s.tris[7][1]]), SolidQuery::kOnSurface);
  }
}

}  // namespace
