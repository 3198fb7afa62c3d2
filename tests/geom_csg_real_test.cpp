// geom::Csg on real meshes (libcgal-demo's data) combined with moved and rotated copies of
// others: closedness, volume identities, agreement of the two classification types, carried
// attributes.
#include <gtest/gtest.h>

#include <ostream>

#include <cmath>
#include <string>

#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "support/csg_demo_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

Polyhedron load(const std::string& name) {
  if (name == "star") return starPrism(7, 1.0, 0.45, 0.8);
  if (name == "grid") return gridCube(3);
  return loadDemo(name);
}

// The mesh scaled about its box centre to the given largest half extent, rotated, and moved.
Polyhedron placed(const Polyhedron& m, double half, Vec3 axis, double angle, Vec3 move) {
  const geom::AABB box = m.aabb();
  const double s = half / std::max({box.extent.x, box.extent.y, box.extent.z});
  const double l = length(axis);
  const auto turn = rigid(axis * (1 / l), angle, move);
  return transformed(m, [&](const Vec3& v) { return turn((v - box.pos) * s); });
}

struct Uvw {
  float u = 0, v = 0, w = 0;
  friend Uvw operator*(const Uvw& a, double s) {
    return {float(a.u * s), float(a.v * s), float(a.w * s)};
  }
  friend Uvw operator+(const Uvw& a, const Uvw& b) { return {a.u + b.u, a.v + b.v, a.w + b.w}; }
};

Uvw field(const Vec3& p) {
  return {float(0.3 * p.x - 0.2 * p.y + 0.1 * p.z + 1.0), float(0.5 * p.y + 0.25 * p.z - 2.0),
          float(p.x + p.y + p.z)};
}

struct Pair {
  const char* name;
  std::string a, b;
  double halfB;
  double tolerance;  // relative, for the volume identities
  Vec3 axis;
  double angle;
  Vec3 move;

  friend void PrintTo(const Pair& p, std::ostream* os) { *os << p.name; }
};

class RealMeshes : public ::testing::TestWithParam<Pair> {};

TEST_P(RealMeshes, SatisfyTheBooleanIdentities) {
  const Pair& pr = GetParam();
  const Polyhedron a = placed(load(pr.a), 1.0, {0, 0, 1}, 0, {0, 0, 0});
  const Polyhedron b = placed(load(pr.b), pr.halfB, pr.axis, pr.angle, pr.move);
  const double va = volume(a), vb = volume(b);
  ASSERT_GT(va, 0);
  ASSERT_GT(vb, 0);

  geom::FaceAttr<int> ids;
  geom::FaceVertexAttr<Uvw> uvw;
  for (const Polyhedron* m : {&a, &b}) {
    for (std::size_t f = 0; f < m->faceCount(); ++f) {
      ids.setAttribute(*m, f, (m == &b ? 1000000 : 0) + static_cast<int>(f));
      for (std::size_t k = 0; k < m->face(f).size(); ++k) {
        uvw.setAttribute(*m, f, k, field(m->vertices()[m->face(f)[k]]));
      }
    }
  }
  double vol[5] = {};
  for (int op = Csg::UNION; op <= Csg::SYMMETRIC_DIFFERENCE; ++op) {
    SCOPED_TRACE("operation " + std::to_string(op));
    Csg edge;
    edge.attach(ids);
    edge.attach(uvw);
    const auto r = edge.compute(a, b, Csg::OP(op), Csg::CLASSIFY_EDGE);
    EXPECT_TRUE(allClosed(*r));
    vol[op] = volume(*r);

    Csg normal;
    const auto rn = normal.compute(a, b, Csg::OP(op), Csg::CLASSIFY_NORMAL);
    EXPECT_EQ(rn->vertices(), r->vertices());
    EXPECT_EQ(faceLoops(*rn), faceLoops(*r));

    double worst = 0;
    for (std::size_t f = 0; f < r->faceCount(); ++f) {
      const geom::FaceOrigin o = edge.origins()[f];
      ASSERT_TRUE(ids.hasAttribute(*r, f));
      EXPECT_EQ(ids.getAttribute(*r, f), (o.operand == 1 ? 1000000 : 0) + int(o.face));
      for (std::size_t k = 0; k < r->face(f).size(); ++k) {
        ASSERT_TRUE(uvw.hasAttribute(*r, f, k));
        const Uvw got = uvw.getAttribute(*r, f, k);
        const Uvw want = field(r->vertices()[r->face(f)[k]]);
        worst = std::max({worst, double(std::fabs(got.u - want.u)),
                          double(std::fabs(got.v - want.v)), double(std::fabs(got.w - want.w))});
      }
    }
    EXPECT_LT(worst, 2e-5);
  }
  const double scale = va + vb;
  EXPECT_NEAR(vol[Csg::UNION] + vol[Csg::INTERSECTION], va + vb, pr.tolerance * scale);
  EXPECT_NEAR(vol[Csg::A_MINUS_B] + vol[Csg::INTERSECTION], va, pr.tolerance * scale);
  EXPECT_NEAR(vol[Csg::B_MINUS_A] + vol[Csg::INTERSECTION], vb, pr.tolerance * scale);
  EXPECT_NEAR(vol[Csg::SYMMETRIC_DIFFERENCE], vol[Csg::UNION] - vol[Csg::INTERSECTION],
              pr.tolerance * scale);
  EXPECT_GT(vol[Csg::INTERSECTION], 0.01 * std::min(va, vb));
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, RealMeshes,
    ::testing::Values(
        Pair{"bunny_bear", "bunny00.off", "bear.off", 0.8, 1e-9, {1, 2, 3}, 0.7, {0.3, 0.2, -0.1}},
        Pair{"armadillo_bunny",
             "armadillo.off",
             "bunny00.off",
             0.7,
             1e-9,
             {-2, 1, 0.5},
             2.1,
             {0.1, -0.3, 0.2}},
        Pair{"star_grid", "star", "grid", 0.6, 1e-9, {1, -1, 2}, 0.5, {0.3, 0.1, 0.2}},
        Pair{"bear_star", "bear.off", "star", 0.7, 1e-9, {0, 1, 1}, 1.1, {-0.1, 0.2, 0.1}},
        // This file's quads and n-gons are planar only to about 1e-5 of their size (six
        // digits per coordinate): the pieces of such a face must add up to the triangles the
        // engine cut it into.
        Pair{"torus_torus",
             "double-torus-example.off",
             "double-torus-example.off",
             0.9,
             1e-9,
             {0.3, -1, 2},
             1.3,
             {0.2, 0.25, 0.1}},
        Pair{"bear_torus",
             "bear.off",
             "double-torus-example.off",
             0.8,
             1e-9,
             {1, 1, 0},
             0.4,
             {-0.2, 0.1, 0.3}}),
    [](const ::testing::TestParamInfo<Pair>& info) { return std::string(info.param.name); });

}  // namespace
