// Ear clipping and mean-value coordinates, the two polygon tools of the Boolean engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <vector>

#include "geom/mean_value.h"
#include "geom/predicates.h"
#include "geom/triangulator.h"

namespace {

using geom::Triangulator;
using geom::Vec3;

// A non-convex star in a tilted plane through (1, 2, 3), so that no axis is special.
std::vector<Vec3> tiltedStar(int spikes) {
  const Vec3 u{0.8, 0.6, 0}, v{-0.36, 0.48, 0.8}, o{1, 2, 3};
  std::vector<Vec3> p;
  for (int i = 0; i < 2 * spikes; ++i) {
    const double r = i % 2 ? 0.4 : 1.0, a = M_PI * i / spikes;
    p.push_back(o + u * (r * std::cos(a)) + v * (r * std::sin(a)));
  }
  return p;
}

Vec3 normal(const std::vector<Vec3>& p, const Triangulator::Triangle& t) {
  return cross(p[t[1]] - p[t[0]], p[t[2]] - p[t[0]]);
}

TEST(Triangulator, SplitsNonConvexPolygonsIntoTrianglesOfTheirWinding) {
  for (bool reversed : {false, true}) {
    std::vector<Vec3> p = tiltedStar(7);
    if (reversed) std::reverse(p.begin(), p.end());
    std::vector<Triangulator::Triangle> tris;
    ASSERT_TRUE(Triangulator::triangulate(p, tris));
    ASSERT_EQ(tris.size(), p.size() - 2);
    Vec3 area;
    for (std::size_t i = 0; i < p.size(); ++i)
      area = area + cross(p[i], p[(i + 1) % p.size()]) * 0.5;
    Vec3 sum;
    for (const auto& t : tris) {
      EXPECT_GT(dot(normal(p, t), area), 0);  // same winding, none degenerate
      sum = sum + normal(p, t) * 0.5;
    }
    EXPECT_NEAR(length(sum - area), 0, 1e-12);  // the triangles tile the polygon
  }
}

TEST(Triangulator, KeepsCollinearCornersAndRefusesWhatIsNotAPolygon) {
  // A square with an extra corner on each of two edges.
  const std::vector<Vec3> square{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {2, 3, 0}, {0, 3, 0}};
  std::vector<Triangulator::Triangle> tris;
  ASSERT_TRUE(Triangulator::triangulate(square, tris));
  EXPECT_EQ(tris.size(), 4u);
  for (const auto& t : tris) EXPECT_GT(normal(square, t).z, 0);

  tris.clear();
  EXPECT_FALSE(Triangulator::triangulate(std::vector<Vec3>{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, tris));
  EXPECT_FALSE(Triangulator::triangulate(
      std::vector<Vec3>{{0, 0, 0}, {1, 0, 0}, {3, 0, 0}, {2, 0, 0}}, tris));
  const std::vector<Vec3> bowTie{{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}};
  EXPECT_FALSE(Triangulator::triangulate(bowTie, tris));
  EXPECT_TRUE(tris.empty());
  Triangulator::triangulateAlways(bowTie, tris);  // results are never dropped
  EXPECT_EQ(tris.size(), 2u);
}

// A cut face of a carved box as published in float: five corners that were one straight edge
// in double (where the knife left the box's bottom face) are off the line by rounding. A
// triangle over three of them is a sliver that rounding may have turned over, folding onto the
// bottom face next to it; each of them must be joined to a corner off the line instead.
TEST(Triangulator, CornersRoundedOffAStraightEdgeGetNoSliver) {
  const std::vector<Vec3> face{{0.031916458159685135f, 0.19291843473911285f, -1.028842806816101f},
                               {0.01674170047044754f, 0.1720321774482727f, -1.028842806816101f},
                               {0.08426045626401901f, 0.1720321774482727f, -0.9613240361213684f},
                               {0.08551885187625885f, 0.17549623548984528f, -0.9625824689865112f},
                               {0.04456769675016403f, 0.21033136546611786f, -1.028842806816101f},
                               {0.04311594367027283f, 0.20833320915699005f, -1.028842806816101f},
                               {0.03521862253546715f, 0.1974634826183319f, -1.028842806816101f}};
  const auto onEdge = [](std::uint32_t c) { return c != 2 && c != 3; };
  for (bool always : {false, true}) {
    std::vector<Triangulator::Triangle> tris;
    if (always) {
      Triangulator::triangulateAlways(face, tris);
    } else {
      ASSERT_TRUE(Triangulator::triangulate(face, tris));
    }
    ASSERT_EQ(tris.size(), 5u);
    for (const auto& t : tris) {
      EXPECT_FALSE(onEdge(t[0]) && onEdge(t[1]) && onEdge(t[2]))
          << t[0] << " " << t[1] << " " << t[2];
    }
  }
}

// The triangles as sets of corner positions, wound as given unless `reversed`.
std::vector<std::array<Vec3, 3>> surface(const std::vector<Vec3>& c,
                                         const std::vector<Triangulator::Triangle>& tris,
                                         bool reversed = false) {
  std::vector<std::array<Vec3, 3>> out;
  for (const auto& t : tris) {
    std::array<Vec3, 3> p{c[t[0]], c[t[1]], c[t[2]]};
    if (reversed) std::swap(p[1], p[2]);
    // Rotated to start at the lowest corner, so equal triangles compare equal.
    const auto low = std::min_element(p.begin(), p.end(), [](const Vec3& a, const Vec3& b) {
      return std::tie(a.x, a.y, a.z) < std::tie(b.x, b.y, b.z);
    });
    std::rotate(p.begin(), low, p.end());
    out.push_back(p);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    for (int k = 0; k < 3; ++k) {
      if (a[k] != b[k]) return std::tie(a[k].x, a[k].y, a[k].z) < std::tie(b[k].x, b[k].y, b[k].z);
    }
    return false;
  });
  return out;
}

std::vector<Vec3> reversedKeepingFirst(const std::vector<Vec3>& c) {
  std::vector<Vec3> r{c[0]};
  r.insert(r.end(), c.rbegin(), c.rend() - 1);
  return r;
}

// A polygon that is not quite planar (corners lifted alternately) is one surface whichever way
// round it is given: convex, the fan around its first corner (the surface fan-based readers take
// it for); not convex, the same triangles reversed when the polygon is reversed with its first
// corner kept, as a Boolean result turns a face over.
TEST(Triangulator, NonPlanarPolygonIsOneSurfaceEitherWayRound) {
  std::vector<Vec3> hex, star = tiltedStar(5);
  for (int i = 0; i < 6; ++i) {
    const double a = M_PI / 3 * i;
    hex.push_back({std::cos(a), std::sin(a), (i % 2 ? 1e-4 : -1e-4)});
  }
  for (std::size_t i = 0; i < star.size(); ++i) star[i].z += (i % 3 ? 1e-4 : -2e-4);
  std::vector<Triangulator::Triangle> tris;
  ASSERT_TRUE(Triangulator::triangulate(hex, tris));
  ASSERT_EQ(tris.size(), 4u);
  for (const auto& t : tris) EXPECT_EQ(std::min({t[0], t[1], t[2]}), 0u);  // the fan around 0
  for (const std::vector<Vec3>* p : {&hex, &star}) {
    std::vector<Triangulator::Triangle> forward, backward;
    ASSERT_TRUE(Triangulator::triangulate(*p, forward));
    const std::vector<Vec3> r = reversedKeepingFirst(*p);
    ASSERT_TRUE(Triangulator::triangulate(r, backward));
    EXPECT_EQ(surface(*p, forward), surface(r, backward, true));
  }
}

TEST(MeanValueWeights, ReproduceLinearFunctionsAndInterpolateEdgesLinearly) {
  const std::vector<Vec3> p = tiltedStar(5);
  auto f = [](const Vec3& x) { return 2 * x.x - 3 * x.y + 0.5 * x.z + 7; };
  const Vec3 centre{1, 2, 3};
  const Vec3 u{0.8, 0.6, 0}, v{-0.36, 0.48, 0.8};
  std::vector<double> w;
  // Inside, in a notch between two spikes, and outside the polygon.
  for (const Vec3 q :
       {centre + u * 0.1 + v * 0.05, centre + u * 0.5 + v * 0.12, centre + u * 2.0}) {
    geom::meanValueWeights(p, q, w);
    double sum = 0, value = 0;
    Vec3 at;
    for (std::size_t i = 0; i < p.size(); ++i) {
      sum += w[i];
      value += w[i] * f(p[i]);
      at = at + p[i] * w[i];
    }
    EXPECT_NEAR(sum, 1, 1e-12);
    EXPECT_NEAR(value, f(q), 1e-10);
    EXPECT_NEAR(length(at - q), 0, 1e-10);
  }
  geom::meanValueWeights(p, p[3], w);
  for (std::size_t i = 0; i < p.size(); ++i) EXPECT_EQ(w[i], i == 3 ? 1.0 : 0.0);
  // A quarter of the way along edge 2 -> 3 in a planar square gives exactly linear weights.
  const std::vector<Vec3> sq{{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}};
  geom::meanValueWeights(sq, {3, 4, 0}, w);
  EXPECT_EQ(w, (std::vector<double>{0, 0, 0.75, 0.25}));
}

TEST(Predicates, AreExactNearDegeneracy) {
  // Points one ulp off a line: doubles decide correctly where a naive determinant cannot.
  const double e = std::nextafter(1.0, 2.0) - 1.0;
  EXPECT_EQ(geom::orient2d(0, 0, 1, 1, 0.5, 0.5), 0);
  EXPECT_EQ(geom::orient2d(0, 0, 1e10, 1e10, 0.5, 0.5 + e / 2), 1);
  EXPECT_EQ(geom::orient2d(0, 0, 1e10, 1e10, 0.5 + e / 2, 0.5), -1);
  EXPECT_EQ(geom::orient3d({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, 0}), 0);
  EXPECT_EQ(geom::orient3d({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3, 0.3, 1e-300}), 1);
  EXPECT_TRUE(geom::collinear({0, 0, 0}, {1, 2, 3}, {2, 4, 6}));
  EXPECT_FALSE(geom::collinear({0, 0, 0}, {1, 2, 3}, {2, 4, 6 + 4 * e}));
}

}  // namespace
