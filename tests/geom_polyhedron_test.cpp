#include "geom/polyhedron.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geom/error.h"
#include "geom/rescale.h"
#include "support/mesh_builders.h"

namespace {

using geom::Polyhedron;
using geom::Vec3;
using tsl::test::HostMesh;

// The polygons of a description, each without its closing -2.
std::vector<std::vector<int>> polygonsOf(const std::vector<std::int32_t>& description) {
  std::vector<std::vector<int>> polys(1);
  for (int v : description) {
    if (v == -2) {
      polys.emplace_back();
    } else {
      polys.back().push_back(v);
    }
  }
  polys.pop_back();  // what follows the last -2 is no polygon
  return polys;
}

Polyhedron polyFrom(const HostMesh& m) {
  geom::PolyhedronData d;
  for (const auto& p : m.points) d.points.push_back({p.x, p.y, p.z});
  for (const std::vector<int>& poly : polygonsOf(m.description)) d.addFace(poly);
  return Polyhedron::fromData(d);
}

HostMesh twoCubes(tsl::Float3 offset) {
  HostMesh m = tsl::test::cube();
  m.append(tsl::test::cube(offset));
  return m;
}

TEST(PolyhedronConstruction, RejectsIndicesOutsideThePointList) {
  std::vector<Vec3> pts(3);
  const std::vector<int> negative{3, 0, 1, -1};
  const std::vector<int> beyond{3, 0, 1, 3};
  try {
    Polyhedron(pts, 1, negative);
    FAIL() << "negative index accepted";
  } catch (const geom::Error& e) {
    EXPECT_NE(std::string(e.what()).find("face 0"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("-1"), std::string::npos) << e.what();
  }
  EXPECT_THROW(Polyhedron(pts, 1, beyond), geom::Error);
  // The face count and the list must agree, or the list would be read past its end.
  EXPECT_THROW(Polyhedron(pts, 2, std::vector<int>{3, 0, 1, 2}), geom::Error);
  EXPECT_THROW(Polyhedron(pts, 1, std::vector<int>{4, 0, 1, 2}), geom::Error);
  EXPECT_THROW(Polyhedron(pts, 1, std::vector<int>{0}), geom::Error);
}

TEST(PolyhedronConstruction, KeepsUnusedPointsAndFaceOrder) {
  std::vector<Vec3> pts{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {9, 9, 9}};
  const Polyhedron p(pts, 1, std::vector<int>{3, 2, 0, 1});
  EXPECT_EQ(p.vertexCount(), 4u);
  ASSERT_EQ(p.faceCount(), 1u);
  EXPECT_EQ(std::vector<int>(p.face(0).begin(), p.face(0).end()), (std::vector<int>{2, 0, 1}));
  const geom::AABB box = p.aabb();  // the unused point counts
  EXPECT_EQ(box.pos, (Vec3{4.5, 4.5, 4.5}));
  EXPECT_EQ(box.extent, (Vec3{4.5, 4.5, 4.5}));
  EXPECT_EQ(Polyhedron().aabb().extent, (Vec3{0, 0, 0}));
}

TEST(PolyhedronIslands, SeparateClosedCubes) {
  const Polyhedron p = polyFrom(twoCubes({5, 0, 0}));
  ASSERT_EQ(p.manifoldCount(), 2u);
  for (std::size_t f = 0; f < 12; ++f) EXPECT_EQ(p.manifold_id(f), f < 6 ? 0 : 1);
  EXPECT_TRUE(p.manifold_is_closed()[0]);
  EXPECT_TRUE(p.manifold_is_closed()[1]);
  EXPECT_FALSE(p.manifold_is_negative()[0]);
}

TEST(PolyhedronIslands, NumberedByLowestFace) {
  // Faces of the two cubes interleaved: the island of face 0 is 0 whichever cube it is.
  HostMesh m = twoCubes({5, 0, 0});
  const std::vector<std::vector<int>> polys = polygonsOf(m.description);
  m.description.clear();
  const int order[] = {7, 0, 8, 1, 9, 2, 10, 3, 11, 4, 6, 5};
  for (int f : order) {
    m.description.insert(m.description.end(), polys[f].begin(), polys[f].end());
    m.description.push_back(-2);
  }
  const Polyhedron p = polyFrom(m);
  ASSERT_EQ(p.manifoldCount(), 2u);
  EXPECT_EQ(p.manifold_id(0), 0);  // a face of the second cube
  EXPECT_EQ(p.manifold_id(1), 1);
  EXPECT_EQ(p.manifold_id(2), 0);
  EXPECT_EQ(p.manifold_id(11), 1);
}

TEST(PolyhedronIslands, OpenAndDegenerateFaces) {
  const Polyhedron open = polyFrom(tsl::test::withoutFace(tsl::test::cube(), 3));
  ASSERT_EQ(open.manifoldCount(), 1u);
  EXPECT_FALSE(open.manifold_is_closed()[0]);
  EXPECT_FALSE(open.manifold_is_negative()[0]);

  const Polyhedron quad =
      polyFrom({{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 3, -2}});
  ASSERT_EQ(quad.manifoldCount(), 1u);
  EXPECT_FALSE(quad.manifold_is_closed()[0]);

  // A two-vertex polygon uses its edge in both directions; that must not close it.
  const Polyhedron sliver = polyFrom({{{0, 0, 0}, {1, 0, 0}}, {0, 1, -2}});
  ASSERT_EQ(sliver.manifoldCount(), 1u);
  EXPECT_FALSE(sliver.manifold_is_closed()[0]);

  // A repeated vertex is no edge: the cube with it is open.
  HostMesh rep = tsl::test::cube();
  rep.description.insert(rep.description.begin() + 1, rep.description[0]);
  const Polyhedron r = polyFrom(rep);
  EXPECT_FALSE(r.manifold_is_closed()[0]);

  // An edge used twice in the same direction is a boundary for both faces: no connection.
  const Polyhedron same =
      polyFrom({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}}, {0, 1, 2, -2, 0, 1, 3, -2}});
  EXPECT_EQ(same.manifoldCount(), 2u);

  // A duplicated face makes three faces meet at its edges: the cube is no longer closed.
  HostMesh dup = tsl::test::cube();
  dup.description.insert(dup.description.end(), {0, 2, 3, 1, -2});
  const Polyhedron d = polyFrom(dup);
  EXPECT_FALSE(d.manifold_is_closed()[0]);
}

TEST(PolyhedronIslands, SolidsTouchingAlongAnEdgeStaySeparate) {
  // The second cube shares the edge x = 1, y = 1 of the first; four faces meet there.
  HostMesh m = tsl::test::box({0, 0, 0}, {1, 1, 1});
  HostMesh other = tsl::test::box({1, 1, 0}, {2, 2, 1});
  m.append(other);
  // Weld the shared edge so the faces really share vertex indices.
  auto weld = [&](int from, int to) {
    for (int& v : m.description) {
      if (v == from) v = to;
    }
  };
  weld(8 + 0, 3);  // (1, 1, 0)
  weld(8 + 4, 7);  // (1, 1, 1)
  const Polyhedron p = polyFrom(m);
  ASSERT_EQ(p.manifoldCount(), 2u);
  EXPECT_TRUE(p.manifold_is_closed()[0]);
  EXPECT_TRUE(p.manifold_is_closed()[1]);
  for (std::size_t f = 0; f < 12; ++f) EXPECT_EQ(p.manifold_id(f), f < 6 ? 0 : 1);
}

TEST(PolyhedronIslands, NegativeWhenWoundInwards) {
  const Polyhedron in = polyFrom(tsl::test::inverted(tsl::test::cube({10, 10, 10})));
  ASSERT_EQ(in.manifoldCount(), 1u);
  EXPECT_TRUE(in.manifold_is_closed()[0]);
  EXPECT_TRUE(in.manifold_is_negative()[0]);

  Polyhedron out = polyFrom(tsl::test::cube({10, 10, 10}));
  EXPECT_FALSE(out.manifold_is_negative()[0]);
  out.transform([](const Vec3& v) {
    return Vec3{-v.x, v.y, v.z};
  });  // a mirror turns it inside out
  EXPECT_TRUE(out.manifold_is_negative()[0]);
}

TEST(PolyhedronIslands, LargeGridIsOneOpenIsland) {
  const Polyhedron p = polyFrom(tsl::test::quadGrid(200));
  EXPECT_EQ(p.faceCount(), 40000u);
  ASSERT_EQ(p.manifoldCount(), 1u);
  EXPECT_FALSE(p.manifold_is_closed()[0]);
}

TEST(PolyhedronSubMesh, VerticesInOrderOfFirstUse) {
  const Polyhedron p = polyFrom(tsl::test::twoTriangles());
  const std::vector<std::size_t> faces{1};
  const Polyhedron s = p.subMesh(faces);
  ASSERT_EQ(s.vertexCount(), 3u);
  EXPECT_EQ(s.vertices()[0], (Vec3{5, 0, 0}));
  EXPECT_EQ(s.vertices()[2], (Vec3{5, 1, 0}));
  EXPECT_EQ(std::vector<int>(s.face(0).begin(), s.face(0).end()), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(p.subMesh({}).vertexCount(), 0u);
}

TEST(PolyhedronCanonicalize, SortsVerticesAndFacesKeepingWinding) {
  std::vector<Vec3> pts{{1, 0, 0}, {0, 0, 0}, {0, 1, 0}, {7, 7, 7}, {0, 0, 1}};
  // faces: (0 1 2) and (4 1 0), unused point 3 stays.
  Polyhedron p(pts, 2, std::vector<int>{3, 0, 1, 2, 3, 4, 1, 0});
  p.canonicalize();
  // sorted: (0,0,0)=0, (0,0,1)=1, (0,1,0)=2, (1,0,0)=3, (7,7,7)=4
  ASSERT_EQ(p.vertexCount(), 5u);
  EXPECT_EQ(p.vertices()[1], (Vec3{0, 0, 1}));
  EXPECT_EQ(p.vertices()[4], (Vec3{7, 7, 7}));
  // (0 1 2) -> (3 0 2) -> rotated (0 2 3); (4 1 0) -> (1 0 3) -> (0 3 1)
  ASSERT_EQ(p.faceCount(), 2u);
  EXPECT_EQ(std::vector<int>(p.face(0).begin(), p.face(0).end()), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(std::vector<int>(p.face(1).begin(), p.face(1).end()), (std::vector<int>{0, 3, 1}));
  EXPECT_EQ(p.manifoldCount(), 1u);
}

TEST(Rescale, OffsetAndPowerOfTwoScale) {
  // Straddling axes keep offset 0; the largest magnitude 3 maps into (0.5, 1] with scale 4.
  const geom::Rescale r(-1, -3, -0.5, 1, 2, 0.5);
  EXPECT_EQ(r.offset(), (Vec3{0, 0, 0}));
  EXPECT_EQ(r.scale(), 4.0);
  // A positive range is offset by its lower bound, a negative one by its upper bound.
  const geom::Rescale s(10, -20, -1, 12, -18, 1);
  EXPECT_EQ(s.offset(), (Vec3{10, -18, 0}));
  EXPECT_EQ(s.scale(), 2.0);  // largest shifted magnitude 2 -> exactly 1
  const Vec3 v{11.5, -19.25, 0.75};
  const Vec3 back = s.rev(s.fwd(v));
  EXPECT_EQ(back, v);
  const Vec3 f = s.fwd(v);
  EXPECT_LE(std::fabs(f.x), 1.0);
  const geom::Rescale flat(0, 0, 0, 0, 0, 0);  // no extent: identity, never a division by zero
  EXPECT_EQ(flat.scale(), 1.0);
}

}  // namespace
