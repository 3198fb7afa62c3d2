// The fracture job of the command: centre modes, the solver's measures of a piece and the bonds
// between pieces, and levels and small pieces through the real Voronoi plug-in.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <sstream>

#include "cli/centres.h"
#include "cli/contacts.h"
#include "cli/fracture.h"
#include "cli/gltf_output.h"
#include "cli/knife_scatter.h"
#include "cli/mass_properties.h"
#include "geom/error.h"
#include "geom/mesh_sampling.h"
#include "geom/polyhedron.h"

namespace {

using cli::Placing;
using geom::Vec3;

// An axis-aligned box as a mesh file, faces wound outwards.
geom::MeshFile boxFile(Vec3 lo, Vec3 hi) {
  geom::MeshFile m;
  for (int i = 0; i < 8; ++i)
    m.points.push_back({i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z});
  m.polygons = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  return m;
}

std::vector<std::array<float, 3>> floats(const std::vector<Vec3>& pts) {
  std::vector<std::array<float, 3>> out;
  for (const Vec3& p : pts)
    out.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  return out;
}

std::vector<std::size_t> allOf(std::size_t n) {
  std::vector<std::size_t> v(n);
  std::iota(v.begin(), v.end(), std::size_t{0});
  return v;
}

// Distance from p inside the box to its surface.
double depthInBox(const Vec3& p, Vec3 lo, Vec3 hi) {
  return std::min({p.x - lo.x, hi.x - p.x, p.y - lo.y, hi.y - p.y, p.z - lo.z, hi.z - p.z});
}

TEST(MassProperties, BoxesMatchTheirClosedForms) {
  // Far from the origin too, where moments about it would cancel in the last digits.
  for (const Vec3 at : {Vec3{0, 0, 0}, Vec3{1e4, -2e4, 3e3}}) {
    SCOPED_TRACE(at.x);
    const double a = 2, b = 1, c = 0.5;
    const geom::MeshFile m = boxFile(at, at + Vec3{a, b, c});
    const auto p = floats(m.points);
    const cli::MassProperties mp = cli::massProperties(p, m.polygons, allOf(6));
    const double v = a * b * c;
    EXPECT_NEAR(mp.volume, v, 1e-9 * (1 + std::fabs(at.x)));
    const Vec3 centre = at + Vec3{a / 2, b / 2, c / 2};
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(mp.centroid[k], centre[k], 1e-7 * (1 + std::fabs(at.x)));
    const double tol = 1e-6 * (1 + std::fabs(at.x) * 1e-3);
    EXPECT_NEAR(mp.inertia[0][0], v * (b * b + c * c) / 12, tol);
    EXPECT_NEAR(mp.inertia[1][1], v * (a * a + c * c) / 12, tol);
    EXPECT_NEAR(mp.inertia[2][2], v * (a * a + b * b) / 12, tol);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (i != j) {
          EXPECT_NEAR(mp.inertia[i][j], 0.0, tol);
        }
  }
  // Turned by 45 degrees about z: the product of inertia in x and y is (Iyy' - Ixx') / 2.
  const double a = 2, b = 1, c = 1, s = std::sqrt(0.5);
  geom::MeshFile m = boxFile({-a / 2, -b / 2, -c / 2}, {a / 2, b / 2, c / 2});
  for (Vec3& q : m.points) q = {s * (q.x - q.y), s * (q.x + q.y), q.z};
  const cli::MassProperties mp = cli::massProperties(floats(m.points), m.polygons, allOf(6));
  const double ixx = (b * b + c * c) / 12 * a * b * c, iyy = (a * a + c * c) / 12 * a * b * c;
  EXPECT_NEAR(mp.inertia[0][0], (ixx + iyy) / 2, 1e-6);
  EXPECT_NEAR(mp.inertia[0][1], (ixx - iyy) / 2, 1e-6);
  EXPECT_NEAR(mp.inertia[1][0], mp.inertia[0][1], 1e-12);
}

// Two unit cubes parted by a gap along x, the faces towards each other marked as cut.
struct TwoCubes {
  std::vector<std::array<float, 3>> points;
  std::vector<std::vector<int>> faces;
  std::vector<int> part;
  std::vector<std::int32_t> ids;
};
TwoCubes twoCubes(double gap, double shiftY) {
  TwoCubes t;
  for (int c = 0; c < 2; ++c) {
    const Vec3 lo = c == 0 ? Vec3{0, 0, 0} : Vec3{1 + gap, shiftY, 0};
    const geom::MeshFile m = boxFile(lo, lo + Vec3{1, 1, 1});
    const int base = static_cast<int>(t.points.size());
    for (const auto& p : floats(m.points)) t.points.push_back(p);
    for (std::size_t f = 0; f < m.polygons.size(); ++f) {
      std::vector<int> face = m.polygons[f];
      for (int& v : face) v += base;
      t.faces.push_back(face);
      t.part.push_back(c);
      // Face 5 is +x, face 4 is -x.
      t.ids.push_back((c == 0 && f == 5) || (c == 1 && f == 4) ? -2 : 7);
    }
  }
  return t;
}

TEST(Contacts, FacingCutFacesAcrossTheGapMakeOneBond) {
  const TwoCubes t = twoCubes(0.01, 0.25);
  const auto c = cli::findContacts(t.points, t.faces, t.part, t.ids, 0.02, 1e-12);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].a, 0);
  EXPECT_EQ(c[0].b, 1);
  EXPECT_NEAR(c[0].area, 0.75, 1e-6);
  EXPECT_NEAR(c[0].centroid.x, 1.005, 1e-6);
  EXPECT_NEAR(c[0].centroid.y, 0.625, 1e-6);
  EXPECT_NEAR(c[0].centroid.z, 0.5, 1e-6);
  EXPECT_NEAR(c[0].normal.x, 1.0, 1e-9);

  // The same with the faces in the other order and the parts' numbers swapped: the bond is
  // the same one, its normal still from the lower part to the higher.
  TwoCubes r = t;
  std::reverse(r.faces.begin(), r.faces.end());
  std::reverse(r.ids.begin(), r.ids.end());
  std::reverse(r.part.begin(), r.part.end());
  for (int& p : r.part) p = 1 - p;
  const auto d = cli::findContacts(r.points, r.faces, r.part, r.ids, 0.02, 1e-12);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_NEAR(d[0].area, c[0].area, 1e-12);
  EXPECT_NEAR(d[0].normal.x, -1.0, 1e-9);

  // Beyond the gap allowed, apart sideways, or faces not cut: no bond.
  EXPECT_TRUE(cli::findContacts(t.points, t.faces, t.part, t.ids, 0.005, 1e-12).empty());
  const TwoCubes apart = twoCubes(0.01, 1.5);
  EXPECT_TRUE(
      cli::findContacts(apart.points, apart.faces, apart.part, apart.ids, 0.02, 1e-12).empty());
  std::vector<std::int32_t> uncut(t.ids.size(), 7);
  EXPECT_TRUE(cli::findContacts(t.points, t.faces, t.part, uncut, 0.02, 1e-12).empty());
}

TEST(Centres, EveryModeIsReproducibleAndInsideItsRegion) {
  const Vec3 lo{0, 0, 0}, hi{4, 2, 1};
  const geom::MeshFile box = boxFile(lo, hi);
  const geom::InsideTest inside(box);

  cli::CentreModes near;
  near.count = 300;
  near.nearSurface = 0.1;
  const auto n1 = cli::placeCentres(box, near, 7, Placing::Whole);
  EXPECT_EQ(n1, cli::placeCentres(box, near, 7, Placing::Whole));
  EXPECT_NE(n1, cli::placeCentres(box, near, 8, Placing::Whole));
  ASSERT_EQ(n1.size(), 300u);
  for (const Vec3& p : n1) {
    EXPECT_TRUE(inside(p));
    EXPECT_LE(depthInBox(p, lo, hi), 0.1 + 1e-12);
  }

  cli::CentreModes impact;
  impact.impacts = {{{1, 1, 0.5}, 0.4}};
  impact.impactCount = 400;
  const auto i1 = cli::placeCentres(box, impact, 3, Placing::Whole);
  ASSERT_EQ(i1.size(), 400u);
  EXPECT_EQ(i1, cli::placeCentres(box, impact, 3, Placing::Whole));
  std::size_t within = 0, closer = 0, farther = 0;
  for (const Vec3& p : i1) {
    EXPECT_TRUE(inside(p));
    const double d = geom::length(p - Vec3{1, 1, 0.5});
    within += d <= 0.4;
    closer += d <= 0.1;
    farther += d > 0.3 && d <= 0.4;
  }
  EXPECT_GT(within, 400u * 6 / 10);
  // Density falls off: the core (radius 0.1) is denser than the shell from 0.3 to 0.4.
  EXPECT_GT(closer / 0.001, farther / (0.064 - 0.027));

  cli::CentreModes glass;
  glass.radial = cli::Radial{{2, 1, 0.5}, std::nullopt, 3, 6, 0.2};
  const auto g = cli::placeCentres(box, glass, 1, Placing::Whole);
  EXPECT_EQ(g, cli::placeCentres(box, glass, 1, Placing::Whole));
  EXPECT_GT(g.size(), 6u);
  EXPECT_LE(g.size(), 19u);
  for (const Vec3& p : g) {
    EXPECT_TRUE(inside(p));
    EXPECT_NEAR(p.z, 0.5, 1e-12);  // in the plane across the box's thinnest axis
  }

  // Modes combine, each as it is on its own.
  cli::CentreModes all = near;
  all.impacts = impact.impacts;
  all.impactCount = impact.impactCount;
  all.fixed = {{3.5, 1.5, 0.5}};
  const auto c = cli::placeCentres(box, all, 7, Placing::Whole);
  ASSERT_EQ(c.size(), 701u);
  EXPECT_TRUE(std::equal(n1.begin(), n1.end(), c.begin()));
  EXPECT_EQ(c.back(), (Vec3{3.5, 1.5, 0.5}));

  // Inside a piece an impact keeps its place: a piece far from it gets none of its centres.
  const geom::MeshFile far = boxFile({3, 0, 0}, {4, 2, 1});
  EXPECT_TRUE(cli::placeCentres(far, impact, 3, Placing::Piece).empty());
  cli::CentreModes away;
  away.impacts = {{{50, 50, 50}, 0.1}};
  EXPECT_THROW(cli::placeCentres(box, away, 1, Placing::Whole), geom::Error);
}

TEST(KnifeScatter, TurnsScalesAndPlacesReproducibly) {
  const geom::MeshFile box = boxFile({0, 0, 0}, {4, 2, 1});
  cli::KnifeScatter sc;
  sc.count = 200;
  sc.seed = 9;
  sc.minScale = 0.5;
  sc.maxScale = 2;
  const auto poses = cli::scatterKnives(box, sc);
  ASSERT_EQ(poses.size(), 200u);
  for (const cli::KnifePose& p : poses) {
    EXPECT_GE(p.scale, 0.5);
    EXPECT_LE(p.scale, 2.0);
    EXPECT_TRUE(p.move.x >= 0 && p.move.x <= 4 && p.move.y >= 0 && p.move.y <= 2 && p.move.z >= 0 &&
                p.move.z <= 1);
    // A rotation: lengths kept, no mirror.
    const Vec3 a = p.apply({1, 0, 0}) - p.move, b = p.apply({0, 1, 0}) - p.move;
    EXPECT_NEAR(geom::length(a), p.scale, 1e-9);
    EXPECT_NEAR(geom::dot(a, b), 0.0, 1e-9);
    EXPECT_NEAR(geom::dot(geom::cross(a, b), p.apply({0, 0, 1}) - p.move),
                p.scale * p.scale * p.scale, 1e-9);
  }
  EXPECT_EQ(cli::scatterKnives(box, sc)[17].move, poses[17].move);
  sc.impacts = {{{3, 1, 0.5}, 0.2}};
  std::size_t near = 0;
  for (const cli::KnifePose& p : cli::scatterKnives(box, sc))
    near += geom::length(p.move - Vec3{3, 1, 0.5}) <= 0.2;
  EXPECT_GT(near, 200u * 6 / 10);
}

// The fracture job through the real plug-in.
class Fracture : public ::testing::Test {
 protected:
  cli::Fracture run(const geom::MeshFile& file, const cli::FractureOptions& o) {
    cli::InputMesh in;
    in.file = file;
    in.ids.assign(file.polygons.size(), 0);
    const cli::HostArrays arrays = cli::toHostArrays(in);
    cli::RunOptions quiet;
    quiet.quiet = true;
    cli::NodeSession session(quiet);
    return cli::fracture(h, session, file, arrays, o);
  }
  double leafVolume(const cli::Fracture& fr) {
    double v = 0;
    for (int l : fr.leaves) v += fr.pieces[static_cast<std::size_t>(l)].mass.volume;
    return v;
  }
  host::Host h{std::string(TSL_PLUGIN_DIR) + "/TSL_Voronoi.so"};
};

// Every edge of the piece used once in each direction.
bool isClosed(const cli::PieceMesh& m) {
  std::map<std::pair<int, int>, int> edges;
  for (const auto& f : m.faces)
    for (std::size_t k = 0; k < f.size(); ++k) ++edges[{f[k], f[(k + 1) % f.size()]}];
  for (const auto& [e, n] : edges) {
    if (n != 1 || edges.count({e.second, e.first}) == 0) return false;
  }
  return !m.faces.empty();
}

TEST_F(Fracture, AGridOfCentresInACubeBondsEachPieceToItsFaceNeighbours) {
  cli::FractureOptions o;
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 3; ++y)
      for (int z = 0; z < 3; ++z) o.centres.fixed.push_back({x + 0.5, y + 0.5, z + 0.5});
  o.thickness = 0.0001f;
  o.bonds = true;
  const cli::Fracture fr = run(boxFile({0, 0, 0}, {3, 3, 3}), o);
  ASSERT_EQ(fr.result.facts.outcome, cli::Outcome::Result);
  ASSERT_EQ(fr.leaves.size(), 27u);
  auto cellOf = [&](int piece) {
    const Vec3 c = fr.pieces[static_cast<std::size_t>(piece)].centre;
    return std::array<int, 3>{int(c.x), int(c.y), int(c.z)};
  };
  std::map<int, std::set<int>> neighbours;
  std::set<std::pair<int, int>> seen;
  for (const cli::Bond& b : fr.bonds) {
    ASSERT_LT(b.a, b.b);
    EXPECT_TRUE(seen.insert({b.a, b.b}).second) << "one bond per pair";
    neighbours[b.a].insert(b.b);
    neighbours[b.b].insert(b.a);
    const auto ca = cellOf(b.a), cb = cellOf(b.b);
    int d = 0, axis = 0;
    for (int k = 0; k < 3; ++k) {
      d += std::abs(ca[static_cast<std::size_t>(k)] - cb[static_cast<std::size_t>(k)]);
      if (ca[static_cast<std::size_t>(k)] != cb[static_cast<std::size_t>(k)]) axis = k;
    }
    EXPECT_EQ(d, 1) << "only face neighbours";
    // The cell face, 1 x 1 inside the cube; the node's jitter of its centres (up to 9e-5 of the
    // box diagonal along each axis) and the gap move the faces the pieces show each other by
    // up to about 5e-4 on each side.
    EXPECT_NEAR(b.area, 1.0, 2.5e-3);
    const double mid =
        (std::max(ca[static_cast<std::size_t>(axis)], cb[static_cast<std::size_t>(axis)]));
    EXPECT_NEAR(b.centroid[axis], mid, 1e-3);
    EXPECT_NEAR(std::fabs(b.normal[axis]), 1.0, 1e-6);
    EXPECT_GT(
        b.normal[axis] * (cb[static_cast<std::size_t>(axis)] - ca[static_cast<std::size_t>(axis)]),
        0);
  }
  for (int l : fr.leaves) {
    const auto c = cellOf(l);
    int expected = 0;
    for (int k = 0; k < 3; ++k)
      expected += (c[static_cast<std::size_t>(k)] > 0) + (c[static_cast<std::size_t>(k)] < 2);
    EXPECT_EQ(neighbours[l].size(), static_cast<std::size_t>(expected));
  }
}

TEST_F(Fracture, TwoLevelsGiveClosedPiecesInsideTheirParents) {
  cli::FractureOptions o;
  o.centres.count = 6;
  o.levelCount = 5;
  o.levels = 2;
  o.levelFraction = 0.5;
  o.seed = 11;
  const geom::MeshFile cube = boxFile({-1, -1, -1}, {1, 1, 1});
  const cli::Fracture fr = run(cube, o);
  ASSERT_EQ(fr.result.facts.outcome, cli::Outcome::Result);
  std::size_t broken = 0;
  for (std::size_t i = 0; i < fr.pieces.size(); ++i) {
    const cli::FracturePiece& p = fr.pieces[i];
    if (p.fate != cli::FracturePiece::Fate::Broken) continue;
    ++broken;
    double children = 0;
    for (int c : p.children) {
      const cli::FracturePiece& k = fr.pieces[static_cast<std::size_t>(c)];
      EXPECT_EQ(k.level, 2);
      EXPECT_EQ(k.parent, static_cast<int>(i));
      EXPECT_EQ(k.name.rfind(p.name + "_", 0), 0u);
      EXPECT_TRUE(isClosed(k.mesh)) << k.name;
      children += k.mass.volume;
      for (int a = 0; a < 3; ++a) {
        EXPECT_GE(k.mass.lo[a], p.mass.lo[a] - 1e-6);
        EXPECT_LE(k.mass.hi[a], p.mass.hi[a] + 1e-6);
      }
    }
    // The parent less the gaps between its children: a thousandth of the distance between
    // their centres, over walls of about the piece's size.
    EXPECT_LT(children, p.mass.volume);
    EXPECT_GT(children, p.mass.volume * 0.99);
  }
  EXPECT_EQ(broken, 3u);  // half of the six first-level pieces
  for (int l : fr.leaves) EXPECT_TRUE(isClosed(fr.pieces[static_cast<std::size_t>(l)].mesh));

  // The same seed gives the same pieces.
  const cli::Fracture again = run(cube, o);
  EXPECT_EQ(again.result.mesh.points, fr.result.mesh.points);
  EXPECT_EQ(again.result.mesh.polygons, fr.result.mesh.polygons);
}

TEST_F(Fracture, SmallPiecesAreMergedWithoutLosingVolumeOrDropped) {
  cli::FractureOptions o;
  o.centres.count = 40;
  o.seed = 5;
  const geom::MeshFile cube = boxFile({0, 0, 0}, {2, 1, 1});
  const cli::Fracture plain = run(cube, o);
  ASSERT_EQ(plain.result.facts.outcome, cli::Outcome::Result);
  std::vector<double> volumes;
  for (int l : plain.leaves)
    volumes.push_back(plain.pieces[static_cast<std::size_t>(l)].mass.volume);
  std::sort(volumes.begin(), volumes.end());
  o.minVolume = volumes[volumes.size() / 3];  // a third of the pieces are below it

  const cli::Fracture merged = run(cube, o);
  EXPECT_GT(merged.counts.merged, 0u);
  EXPECT_EQ(merged.counts.made, plain.leaves.size());
  EXPECT_EQ(merged.leaves.size() + merged.counts.merged, merged.counts.made);
  EXPECT_NEAR(leafVolume(merged), leafVolume(plain), 1e-9);
  for (int l : merged.leaves)
    EXPECT_GE(merged.pieces[static_cast<std::size_t>(l)].mass.volume, o.minVolume);

  o.dropSmall = true;
  const cli::Fracture dropped = run(cube, o);
  EXPECT_GT(dropped.counts.dropped, 0u);
  EXPECT_EQ(dropped.counts.merged, 0u);
  for (int l : dropped.leaves)
    EXPECT_GE(dropped.pieces[static_cast<std::size_t>(l)].mass.volume, o.minVolume);
  EXPECT_LT(leafVolume(dropped), leafVolume(plain));

  // A merged piece (several islands) is an operand again: the node breaks it once more.
  int biggest = merged.leaves[0];
  for (int l : merged.leaves) {
    if (!merged.pieces[static_cast<std::size_t>(l)].absorbed.empty()) biggest = l;
  }
  cli::FractureOptions again;
  again.centres.count = 4;
  const cli::PieceMesh& piece = merged.pieces[static_cast<std::size_t>(biggest)].mesh;
  const cli::Fracture refractured = run(cli::toMeshFile(piece), again);
  EXPECT_EQ(refractured.result.facts.outcome, cli::Outcome::Result);
  EXPECT_GE(refractured.leaves.size(), 2u);
}

TEST_F(Fracture, EveryPieceOfEveryModeIsAnOperandAgain) {
  // A pane broken like glass about a point, and a box hit at a corner with a few large pieces
  // besides; every piece, handed to the node again, breaks again.
  cli::FractureOptions glass;
  glass.centres.radial = cli::Radial{{0.2, 0.1, 0}, std::nullopt, 3, 7, 0.25};
  cli::FractureOptions hit;
  hit.centres.count = 4;
  hit.centres.nearSurface = 0.2;
  hit.centres.impacts = {{{1, 1, 1}, 0.3}};
  hit.centres.impactCount = 25;
  const geom::MeshFile pane = boxFile({-1, -0.6, -0.01}, {1, 0.6, 0.01});
  const geom::MeshFile box = boxFile({-1, -1, -1}, {1, 1, 1});
  for (const auto& [mesh, options] : {std::pair{&pane, &glass}, std::pair{&box, &hit}}) {
    const cli::Fracture fr = run(*mesh, *options);
    ASSERT_EQ(fr.result.facts.outcome, cli::Outcome::Result);
    ASSERT_GT(fr.leaves.size(), 10u);
    for (int l : fr.leaves) {
      const cli::FracturePiece& p = fr.pieces[static_cast<std::size_t>(l)];
      SCOPED_TRACE(p.name);
      EXPECT_TRUE(isClosed(p.mesh));
      const geom::MeshFile again = cli::toMeshFile(p.mesh);
      cli::FractureOptions two;
      // Two centres a quarter of the piece apart along its longest side.
      const Vec3 c = p.mass.centroid, s = p.mass.hi - p.mass.lo;
      const int axis = s.x >= s.y && s.x >= s.z ? 0 : (s.y >= s.z ? 1 : 2);
      Vec3 d{};
      (axis == 0 ? d.x : axis == 1 ? d.y : d.z) = s[axis] / 8;
      two.centres.fixed = {c - d, c + d};
      const cli::Fracture next = run(again, two);
      EXPECT_EQ(next.result.facts.outcome, cli::Outcome::Result);
      EXPECT_GE(next.leaves.size(), 1u);
    }
  }
}

TEST(GlbPivot, NodesSitAtTheirPivotsWithVerticesRelativeToThem) {
  const geom::MeshFile a = boxFile({10, 0, 0}, {12, 1, 1}), b = boxFile({-3, -3, -3}, {-2, -2, -2});
  cli::TopoMesh t;
  for (const auto* m : {&a, &b}) {
    const auto base = static_cast<std::int32_t>(t.points.size());
    for (const auto& p : floats(m->points)) t.points.push_back(p);
    for (const auto& f : m->polygons) {
      for (int v : f) t.polygons.push_back(base + v);
      t.polygons.push_back(-2);
    }
  }
  cli::ResultMesh r = cli::makeResult(t, cli::PieceMode::Solids);
  r.pieceNames = {"piece_3", "piece_3_1"};
  r.pieceExtras = {{{"volume", 2.0}}, {{"volume", 1.0}}};
  const auto pivots = cli::pieceCentroids(r);
  ASSERT_EQ(pivots.size(), 2u);
  EXPECT_NEAR(pivots[0].x, 11, 1e-9);
  EXPECT_NEAR(pivots[1].y, -2.5, 1e-9);
  std::ostringstream out;
  cli::NameTable names("inside");
  cli::writeGlb(r, names, 30, pivots, out);
  tinygltf::Model m;
  tinygltf::TinyGLTF loader;
  std::string err, warn;
  const std::string bytes = out.str();
  ASSERT_TRUE(loader.LoadBinaryFromMemory(&m, &err, &warn,
                                          reinterpret_cast<const unsigned char*>(bytes.data()),
                                          static_cast<unsigned>(bytes.size())))
      << err;
  ASSERT_EQ(m.nodes.size(), 2u);
  EXPECT_EQ(m.nodes[1].name, "piece_3_1");
  EXPECT_EQ(m.nodes[0].extras.Get("volume").GetNumberAsDouble(), 2.0);
  for (std::size_t n = 0; n < 2; ++n) {
    ASSERT_EQ(m.nodes[n].translation.size(), 3u);
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(m.nodes[n].translation[static_cast<std::size_t>(k)], pivots[n][k], 1e-6);
    // The accessor's bounds are the piece's own, about its pivot.
    const auto& mesh = m.meshes[static_cast<std::size_t>(m.nodes[n].mesh)];
    const auto& acc =
        m.accessors[static_cast<std::size_t>(mesh.primitives[0].attributes.at("POSITION"))];
    const cli::MassProperties mp = cli::massProperties(r.points, r.faces, cli::facesByPiece(r)[n]);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(acc.minValues[static_cast<std::size_t>(k)] + pivots[n][k], mp.lo[k], 1e-5);
      EXPECT_NEAR(acc.maxValues[static_cast<std::size_t>(k)] + pivots[n][k], mp.hi[k], 1e-5);
    }
  }
}

}  // namespace
