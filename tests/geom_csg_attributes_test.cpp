// Attributes and the triangulator attached to geom::Csg, in the ways the nodes use them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geom/csg.h"
#include "geom/csg_attributes.h"
#include "geom/error.h"
#include "geom/triangulator.h"
#include "support/csg_meshes.h"

namespace {

using geom::Csg;
using geom::Polyhedron;
using geom::Vec3;
using namespace tsl::csgtest;

struct Uvw {
  float u = 0, v = 0, w = 0;
  friend Uvw operator*(const Uvw& a, double s) {
    return {float(a.u * s), float(a.v * s), float(a.w * s)};
  }
  friend Uvw operator+(const Uvw& a, const Uvw& b) { return {a.u + b.u, a.v + b.v, a.w + b.w}; }
  friend bool operator==(const Uvw&, const Uvw&) = default;
};

Uvw linear(const Vec3& p) {
  return {float(p.x + 2 * p.y), float(p.y - p.z), float(3 * p.z + 1)};
}

void setLinear(geom::FaceVertexAttr<Uvw>& attr, const Polyhedron& m,
               Uvw (*fn)(const Vec3&) = linear) {
  for (std::size_t f = 0; f < m.faceCount(); ++f) {
    for (std::size_t k = 0; k < m.face(f).size(); ++k) {
      attr.setAttribute(m, f, k, fn(m.vertices()[m.face(f)[k]]));
    }
  }
}

double worstError(const geom::FaceVertexAttr<Uvw>& attr, const Polyhedron& r,
                  Uvw (*fn)(const Vec3&) = linear) {
  double worst = 0;
  for (std::size_t f = 0; f < r.faceCount(); ++f) {
    for (std::size_t k = 0; k < r.face(f).size(); ++k) {
      if (!attr.hasAttribute(r, f, k)) return INFINITY;
      const Uvw got = attr.getAttribute(r, f, k);
      const Uvw want = fn(r.vertices()[r.face(f)[k]]);
      worst = std::max({worst, double(std::fabs(got.u - want.u)), double(std::fabs(got.v - want.v)),
                        double(std::fabs(got.w - want.w))});
    }
  }
  return worst;
}

TEST(CsgAttributeMaps, StoreByMeshAndRejectOutOfRangeSlots) {
  const Polyhedron a = cube({0, 0, 0});
  const Polyhedron copy(a);
  geom::FaceAttr<int> ids;
  geom::FaceVertexAttr<Uvw> uvw;
  ids.setAttribute(a, 5, 42);
  uvw.setAttribute(a, 2, 3, {1, 2, 3});
  EXPECT_EQ(ids.getAttribute(a, 5), 42);
  EXPECT_FALSE(ids.hasAttribute(a, 4));
  EXPECT_FALSE(ids.hasAttribute(copy, 5));  // a copy is another mesh
  EXPECT_EQ(ids.getAttribute(copy, 5, -2), -2);
  EXPECT_TRUE(uvw.hasAttribute(a, 2, 3));
  EXPECT_FALSE(uvw.hasAttribute(a, 2, 2));
  EXPECT_EQ(uvw.getAttribute(a, 2, 3), (Uvw{1, 2, 3}));
  EXPECT_THROW(ids.setAttribute(a, 6, 1), geom::Error);
  EXPECT_THROW(uvw.setAttribute(a, 0, 4, {}), geom::Error);
  ids.forget(a);
  EXPECT_FALSE(ids.hasAttribute(a, 5));

  // Set at once: the first faces (corners in face order) get theirs, the others keep theirs.
  ids.setAttribute(a, 5, 7);
  const std::vector<int> first{10, 11, 12};
  ids.setAttributes(a, first);
  EXPECT_EQ(ids.getAttribute(a, 2), 12);
  EXPECT_FALSE(ids.hasAttribute(a, 3));
  EXPECT_EQ(ids.getAttribute(a, 5), 7);
  const std::vector<Uvw> corners(5, Uvw{4, 5, 6});
  uvw.setAttributes(a, corners);
  EXPECT_EQ(uvw.getAttribute(a, 1, 0), (Uvw{4, 5, 6}));  // the fifth corner
  EXPECT_FALSE(uvw.hasAttribute(a, 1, 1));
  EXPECT_THROW(ids.setAttributes(a, std::vector<int>(7, 1)), geom::Error);
  EXPECT_THROW(uvw.setAttributes(a, std::vector<Uvw>(25)), geom::Error);
}

// Corners that are source corners copy their value exactly; the others interpolate a linear
// field exactly (up to float rounding), in the coordinates the engine was called with.
TEST(CsgAttributes, CopyAtSourceCornersAndInterpolateElsewhere) {
  const Polyhedron a = cube({0, 0, 0});
  const Polyhedron b = cube({1, 0.5, 0.25});
  geom::FaceAttr<int> ids;
  geom::FaceVertexAttr<Uvw> uvw;
  for (std::size_t f = 0; f < 6; ++f) {
    ids.setAttribute(a, f, 10 + int(f));
    ids.setAttribute(b, f, 20 + int(f));
  }
  setLinear(uvw, a);
  setLinear(uvw, b, [](const Vec3& p) { return linear(p * 2.0); });
  Csg csg;
  csg.attach(ids);
  csg.attach(uvw);
  const auto r = csg.compute(a, b, Csg::SYMMETRIC_DIFFERENCE, Csg::CLASSIFY_EDGE);
  std::size_t copied = 0, blended = 0;
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    const geom::FaceOrigin o = csg.origins()[f];
    EXPECT_EQ(ids.getAttribute(*r, f), (o.operand == 0 ? 10 : 20) + int(o.face));
    const Polyhedron& src = o.operand == 0 ? a : b;
    for (std::size_t k = 0; k < r->face(f).size(); ++k) {
      const Vec3 p = r->vertices()[r->face(f)[k]];
      const Uvw got = uvw.getAttribute(*r, f, k);
      const Uvw want = o.operand == 0 ? linear(p) : linear(p * 2.0);
      bool atCorner = false;
      for (std::size_t s = 0; s < src.face(o.face).size(); ++s) {
        if (src.vertices()[src.face(o.face)[s]] == p) {
          atCorner = true;
          EXPECT_EQ(got, uvw.getAttribute(src, o.face, s));
        }
      }
      (atCorner ? copied : blended) += 1;
      EXPECT_NEAR(got.u, want.u, 1e-5);
      EXPECT_NEAR(got.v, want.v, 1e-5);
      EXPECT_NEAR(got.w, want.w, 1e-5);
    }
  }
  EXPECT_GT(copied, 0u);
  EXPECT_GT(blended, 0u);
}

TEST(CsgAttributes, ASourceFaceMissingACornerValueGivesNoValues) {
  const Polyhedron a = cube({0, 0, 0});
  const Polyhedron b = cube({1, 0.5, 0.25});
  geom::FaceVertexAttr<Uvw> uvw;
  setLinear(uvw, a);
  geom::FaceVertexAttr<Uvw> partial;
  for (std::size_t f = 0; f < 6; ++f) {
    for (std::size_t k = 0; k < 4; ++k) {
      if (f != 1 || k != 2) partial.setAttribute(a, f, k, linear(a.vertices()[a.face(f)[k]]));
    }
  }
  Csg csg;
  csg.attach(partial);
  const auto r = csg.compute(a, b, Csg::UNION, Csg::CLASSIFY_EDGE);
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    const geom::FaceOrigin o = csg.origins()[f];
    const bool expect = o.operand == 0 && o.face != 1;
    for (std::size_t k = 0; k < r->face(f).size(); ++k)
      EXPECT_EQ(partial.hasAttribute(*r, f, k), expect);
  }
}

// The Boolean node attaches the triangulator first, then reads the values after moving the
// result back to its own coordinates in place.
TEST(CsgAttributes, SurviveTriangulationAndAnInPlaceTransform) {
  const Polyhedron a = cube({0, 0, 0});
  const Polyhedron b = cube({1, 0.5, 0.25});
  geom::Triangulator triangulator;
  geom::FaceAttr<int> ids;
  geom::FaceVertexAttr<Uvw> uvw;
  for (std::size_t f = 0; f < 6; ++f) ids.setAttribute(a, f, int(f));
  setLinear(uvw, a);
  setLinear(uvw, b);
  Csg csg;
  csg.attach(triangulator);
  csg.attach(ids);
  csg.attach(uvw);
  auto r = csg.compute(a, b, Csg::UNION, Csg::CLASSIFY_NORMAL);
  EXPECT_EQ(faceSizes(*r), (std::map<std::size_t, int>{{3, 36}}));  // 6 quads + 6 hexagons
  EXPECT_TRUE(allClosed(*r));
  EXPECT_NEAR(volume(*r), 13.375, 1e-12);
  EXPECT_LT(worstError(uvw, *r), 1e-5);
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    const geom::FaceOrigin o = csg.origins()[f];
    EXPECT_EQ(ids.hasAttribute(*r, f), o.operand == 0);
    if (o.operand == 0) {
      EXPECT_EQ(ids.getAttribute(*r, f), int(o.face));
    }
  }
  const Uvw before = uvw.getAttribute(*r, 3, 1);
  r->transform([](const Vec3& v) { return v * 4.0 + Vec3{1, 2, 3}; });
  EXPECT_EQ(uvw.getAttribute(*r, 3, 1), before);
}

// The Continuous node: values set on knife faces travel into the work body through repeated
// subtractions and from there into the final intersection with the input.
TEST(CsgAttributes, TravelThroughResultsUsedAsOperands) {
  const Polyhedron a = cube({0, 0, 0});
  geom::FaceAttr<int> ids;
  geom::FaceVertexAttr<Uvw> uvw;
  for (std::size_t f = 0; f < a.faceCount(); ++f) ids.setAttribute(a, f, 100 + int(f));
  setLinear(uvw, a);
  auto work = std::make_unique<Polyhedron>(cube({0, 0, 0}, 1.1));
  const Vec3 moves[] = {{0.9, 0.1, 0.05}, {-0.7, -0.6, 0.3}, {0.2, -0.9, -0.8}};
  for (const Vec3& m : moves) {
    const Polyhedron knife = transformed(uvSphere(12, 8, {0, 0, 0}, 0.6), rigid({0, 0, 1}, 0.3, m));
    setLinear(uvw, knife);
    Csg csg;
    csg.attach(uvw);
    auto next = csg.compute(*work, knife, Csg::A_MINUS_B, Csg::CLASSIFY_EDGE);
    uvw.forget(*work);
    uvw.forget(knife);
    work = std::move(next);
  }
  Csg csg;
  csg.attach(ids);
  csg.attach(uvw);
  const auto r = csg.compute(a, *work, Csg::INTERSECTION, Csg::CLASSIFY_EDGE);
  EXPECT_TRUE(allClosed(*r));
  std::size_t walls = 0;
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    const bool fromA = csg.origins()[f].operand == 0;
    EXPECT_EQ(ids.hasAttribute(*r, f), fromA);
    walls += !fromA;
  }
  EXPECT_GT(walls, 0u);
  EXPECT_LT(worstError(uvw, *r), 1e-5);
}

// The Voronoi node: one closed mesh against many disjoint closed cells in one intersection;
// every piece is its own island, and faces cut from cell walls carry no corner values.
TEST(CsgAttributes, CellWallsCarryNoValuesAndPiecesAreSeparateIslands) {
  const Polyhedron a = transformed(cube({0, 0, 0}), rigid({0.6, 0.8, 0}, 0.05, {0.01, 0.02, 0.03}));
  geom::FaceVertexAttr<Uvw> uvw;
  setLinear(uvw, a);
  std::vector<Vec3> pts;
  std::vector<std::vector<int>> faces;
  int cells = 0;
  // Convex cells centred in the cube or just off its faces, so each leaves one convex piece.
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) {
        const Polyhedron c =
            uvSphere(6, 4, {-0.95 + 0.95 * i, -0.95 + 0.95 * j, -0.95 + 0.95 * k}, 0.3);
        const int base = static_cast<int>(pts.size());
        pts.insert(pts.end(), c.vertices().begin(), c.vertices().end());
        for (std::size_t f = 0; f < c.faceCount(); ++f) {
          std::vector<int> face;
          for (int v : c.face(f)) face.push_back(base + v);
          faces.push_back(face);
        }
        ++cells;
      }
    }
  }
  const Polyhedron b = fromFaces(pts, faces);
  Csg csg;
  csg.attach(uvw);
  csg.skipSelfIntersectionCheck(Csg::OPERAND_B);
  const auto r = csg.compute(a, b, Csg::INTERSECTION, Csg::CLASSIFY_EDGE);
  EXPECT_TRUE(allClosed(*r));
  EXPECT_EQ(r->manifoldCount(), static_cast<std::size_t>(cells));  // every cell meets the cube
  for (std::size_t f = 0; f < r->faceCount(); ++f) {
    EXPECT_EQ(uvw.hasAttribute(*r, f, 0), csg.origins()[f].operand == 0);
  }
}

}  // namespace
