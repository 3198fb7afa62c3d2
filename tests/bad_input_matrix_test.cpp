// Every node fed every kind of bad input, end to end through the host face on the real
// plug-ins. One row per input, one column per node; each cell names the log lines (severity and
// text) other than the mesh-count lines and the output state: published, published with mesh A
// passed through (Boolean), empty, or unwritten. Cells that publish are held to the record's
// invariants, the count lines are logged exactly when a record is published, and no call may
// leak an exception or an acquired array. README.md ("Bad input") shows this table.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "boolean/ports.h"
#include "combiner/ports.h"
#include "continuous/ports.h"
#include "support/demo_meshes.h"
#include "support/mesh_builders.h"
#include "support/mesh_measures.h"
#include "support/plugin_session.h"
#include "support/record_invariants.h"
#include "voronoi/ports.h"

namespace {

using namespace tsl::test;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---------------------------------------------------------------------------------------------
// The nodes and how each is wired around the mesh under test.

enum class Node { Combiner, Boolean, Voronoi, Continuous };
const char* nodeName(Node n);
void PrintTo(Node n, std::ostream* os) {
  *os << nodeName(n);
}
constexpr Node kNodes[] = {Node::Combiner, Node::Boolean, Node::Voronoi, Node::Continuous};

// Name and output port of each node, in the order of Node.
struct NodeFacts {
  const char* name;
  std::uint32_t output;
};
constexpr NodeFacts kNodeFacts[] = {{"TSL_Combiner", tsl::combiner::port::kOutput},
                                    {"TSL_ICE_Boolean", tsl::boolean::port::kOutput},
                                    {"TSL_Voronoi", tsl::voronoi::port::kOutput},
                                    {"TSL_Continuous", tsl::continuous::port::kOutput}};

const char* nodeName(Node n) {
  return kNodeFacts[static_cast<int>(n)].name;
}

std::uint32_t outputPort(Node n) {
  return kNodeFacts[static_cast<int>(n)].output;
}

enum class Role {
  Points,
  Description,
  Uvw,
  FaceId,
  Filter,  // Combiner
  BPoints,
  BDescription,
  BUvw,
  Function,
  Classification,
  Triangulate,
  Canonicalize,  // Boolean
  Centres,
  Thickness,
  UvScale,  // Voronoi
  KnifePoints,
  KnifeDescriptor,
  KnifeUvw,  // Continuous
};

std::optional<std::uint32_t> portOf(Node n, Role r) {
  static const std::map<Role, std::uint32_t> combiner{{Role::Points, 0},
                                                      {Role::Description, 1},
                                                      {Role::Uvw, 2},
                                                      {Role::FaceId, 3},
                                                      {Role::Filter, 5}};
  static const std::map<Role, std::uint32_t> boolean{
      {Role::Points, 0},      {Role::Description, 1},  {Role::Uvw, 2},
      {Role::FaceId, 9},      {Role::BPoints, 3},      {Role::BDescription, 4},
      {Role::BUvw, 5},        {Role::Function, 6},     {Role::Classification, 7},
      {Role::Triangulate, 8}, {Role::Canonicalize, 11}};
  static const std::map<Role, std::uint32_t> voronoi{
      {Role::Points, 0},  {Role::Description, 1}, {Role::Uvw, 2},    {Role::FaceId, 6},
      {Role::Centres, 3}, {Role::Thickness, 4},   {Role::UvScale, 7}};
  static const std::map<Role, std::uint32_t> continuous{
      {Role::Points, 0},      {Role::Description, 1},     {Role::Uvw, 2},     {Role::FaceId, 3},
      {Role::KnifePoints, 4}, {Role::KnifeDescriptor, 5}, {Role::KnifeUvw, 6}};
  // In the order of Node.
  static const std::map<Role, std::uint32_t>* const ports[] = {&combiner, &boolean, &voronoi,
                                                               &continuous};
  const std::map<Role, std::uint32_t>* m = ports[static_cast<int>(n)];
  const auto it = m->find(r);
  if (it == m->end()) return std::nullopt;
  return it->second;
}

// Box of the mesh's finite points as centre and half extent; a unit box at the origin when
// there is none or it is flat (so the partner inputs stay usable whatever the mesh is).
struct Frame {
  Float3 c{0, 0, 0};
  Float3 e{1, 1, 1};
};
Frame frameOf(const HostMesh& m) {
  Float3 lo{kInf, kInf, kInf}, hi{-kInf, -kInf, -kInf};
  for (const Float3& p : m.points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return {};
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  if (!(hi.x > lo.x && hi.y > lo.y && hi.z > lo.z)) return {};
  return {{(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2},
          {(hi.x - lo.x) / 2, (hi.y - lo.y) / 2, (hi.z - lo.z) / 2}};
}

// Boolean operand B: a box over the upper octant of A's box and half as far again beyond it,
// so it cuts A without sharing a plane with a box-shaped A.
HostMesh partnerBox(const Frame& f) {
  return box(f.c, {f.c.x + 1.5f * f.e.x, f.c.y + 1.5f * f.e.y, f.c.z + 1.5f * f.e.z});
}

// Voronoi: two centres a quarter extent either side of the centre along x.
std::vector<Float3> twoCentres(const Frame& f) {
  return {{f.c.x - 0.25f * f.e.x, f.c.y, f.c.z}, {f.c.x + 0.25f * f.e.x, f.c.y, f.c.z}};
}

// Continuous: a tetrahedron centred on A's +x side, so it notches the surface.
Knife notchKnife(const Frame& f) {
  const float r = 0.4f * std::min({f.e.x, f.e.y, f.e.z});
  Knife shape = tetrahedron(r);
  Knife k;
  k.descriptor = shape.descriptor;
  k.addInstance(shape.points, {f.c.x + f.e.x, f.c.y, f.c.z});
  return k;
}
constexpr std::size_t kKnifeTriangles = 4;

// What a cell may change besides the mesh: the ports by role, on top of the node's wiring.
class Wiring {
 public:
  Wiring(host::Host& h, Node n) : h_(h), n_(n) {}
  host::Host& host() { return h_; }
  Node node() const { return n_; }
  // The port of r; the cell does not apply to this node when it has none.
  std::uint32_t port(Role r) const { return *portOf(n_, r); }

 private:
  host::Host& h_;
  Node n_;
};

void wire(Wiring& w, const HostMesh& m) {
  host::Host& h = w.host();
  connectMesh(h, 0, 1, m);
  const Frame f = frameOf(m);
  switch (w.node()) {
    case Node::Combiner:
      break;
    case Node::Boolean:
      connectMesh(h, 3, 4, partnerBox(f));
      break;
    case Node::Voronoi:
      h.connectVector3Array(3, toVec3f(twoCentres(f)));
      break;
    case Node::Continuous: {
      const Knife k = notchKnife(f);
      h.connectVector3Array(4, toVec3f(k.points));
      h.connectLongArray(5, k.descriptor);
      break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Expectations.

enum class State { Published, PassThrough, Empty, Unwritten };

const char* stateName(State s) {
  constexpr const char* kNames[] = {"published", "published (A passed through)", "empty",
                                    "unwritten"};
  return kNames[static_cast<int>(s)];
}

struct Line {
  std::uint32_t severity;
  std::string text;
  bool prefix = false;  // the text continues with the kernel's own detail
};
Line warning(std::string t) {
  return {4, std::move(t)};
}
Line error(std::string t) {
  return {2, std::move(t)};
}
Line errorStarting(std::string t) {
  return {2, std::move(t), true};
}
Line verboseStarting(std::string t) {
  return {16, std::move(t), true};
}

struct Observed {
  State state = State::Unwritten;
  std::vector<LogLine> lines;  // all but the mesh-count lines
  std::vector<LogLine> counts;
  RecordCopy record;
  RecordShape shape;
};

struct Expect {
  State state;
  std::vector<Line> lines;
  std::function<void(const Observed&)> check = nullptr;
};

// One input, with what each node does with it (nothing: the input does not apply to the node).
struct Row {
  std::string name;  // test name
  HostMesh mesh;
  std::function<void(Wiring&)> tweak;  // after the node's wiring
  std::map<Node, Expect> cells;
};

const char* kBoolFallback =
    "ICE BOOLEAN: Boolean core is corrupted , A input data is passed to out. Grow up size and "
    "after resize back or check Geo for self-intersections";
const char* kVoroOpen =
    "TSL VORONOI: Input Geo has one or more negativeopen Polyislands , bypassed";
const char* kVoroNoCell = "TSL VORONOI: No voronoi cell inside the container box , skipped";
const char* kVoroNoCentres = "TSL VORONOI: No voro-points for calculation , skipped";
const char* kContOpen = "TSL Continuous: Input Geo has one or more open Polyislands , bypassed";
const char* kFaceIdWarning = "Faces ID Array size doesn't much faces count , bypassed";
const char* kUvWarning = "UV samples count doesn't much faces count, UV bypassed";
const char* kKnifeUvWarning = "Knife UV samples count doesn't much faces count, UV bypassed";
const char* kCombinerNonFinite =
    "TSL COMBINER: Input Geo has non-finite point coordinates , bypassed";
const char* kVoroNonFinite = "TSL VORONOI: Input Geo has non-finite point coordinates , bypassed";
const char* kContNonFinite = "TSL CONT: Input Geo has non-finite point coordinates , bypassed";

std::string skipped(int n) {
  return "TSL CONT: Invalid interations: " + std::to_string(n) + " , skipped";
}

// ---------------------------------------------------------------------------------------------
// Inputs.

HostMesh withEntry(HostMesh m, std::size_t at, std::int32_t value) {
  m.description[at] = value;
  return m;
}

HostMesh withPoint(HostMesh m, std::size_t i, Float3 p) {
  m.points[i] = p;
  return m;
}

HostMesh scaled(HostMesh m, float s) {
  for (Float3& p : m.points) p = {p.x * s, p.y * s, p.z * s};
  return m;
}

HostMesh withPolygon(HostMesh m, std::vector<std::int32_t> polygon) {
  m.description.insert(m.description.end(), polygon.begin(), polygon.end());
  m.description.push_back(-2);
  return m;
}

// The cube with its first face (0, 2, 3, 1) using vertex 2 twice.
HostMesh repeatedIndexCube() {
  HostMesh m = cube();
  m.description.insert(m.description.begin() + 1, 2);
  return m;
}

// A closed, consistently wound cube with one face of zero area: the midpoint m of edge 0-2
// splits the first face into a pentagon (0, m, 2, 3, 1), and the triangle (m, 0, 2) closes the
// gap along the old edge with three collinear corners.
HostMesh zeroAreaCube() {
  HostMesh m = cube();
  m.points.push_back({-1, 0, -1});  // 8: midpoint of points 0 (-1,-1,-1) and 2 (-1,1,-1)
  m.description.insert(m.description.begin() + 1, 8);
  m.description.insert(m.description.end(), {8, 0, 2, -2});
  return m;
}

HostMesh withoutSeparators(HostMesh m) {
  std::erase(m.description, -2);
  return m;
}

std::vector<host::Vec3f> uvwOf(std::size_t n) {
  std::vector<host::Vec3f> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = {0.1f * float(i % 10), 0.5f, 0.0f};
  return v;
}

std::vector<std::int32_t> idsOf(std::size_t n) {
  std::vector<std::int32_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::int32_t>(10 + i);
  return v;
}

// The cube: 8 points, 6 quads, description length 30, 24 polygon nodes.
constexpr std::size_t kCubeFaces = 6;
constexpr std::size_t kCubeCorners = 24;

// Shorthands for the common outcomes.
Expect published(std::vector<Line> lines = {},
                 std::function<void(const Observed&)> check = nullptr) {
  return {State::Published, std::move(lines), std::move(check)};
}
Expect empty(std::vector<Line> lines = {}) {
  return {State::Empty, std::move(lines)};
}
Expect passThrough(std::function<void(const Observed&)> check = nullptr) {
  return {State::PassThrough,
          {warning(kBoolFallback), verboseStarting("ICE BOOLEAN: operand A ")},
          std::move(check)};
}

std::map<Node, Expect> forAll(const Expect& e) {
  std::map<Node, Expect> m;
  for (Node n : kNodes) m.emplace(n, e);
  return m;
}

void expectFaces(const Observed& o, std::size_t faces) {
  EXPECT_EQ(o.shape.faces, faces);
}
// A solid: every island of the record closed. The engine mended or resolved its operand.
void expectClosedSolid(const Observed& o) {
  const geom::Polyhedron p = polyhedronOf(o.record.points, o.record.polygons);
  EXPECT_GT(p.faceCount(), 0u);
  for (bool closed : p.manifold_is_closed()) EXPECT_TRUE(closed);
}
void expectNothing(const Observed& o) {
  EXPECT_EQ(o.shape.faces, 0u);
  EXPECT_TRUE(o.record.points.empty());
}
// The cube and one degenerate polygon beside it, which pairs with none of its faces.
void expectCubeAndDegeneratePolygon(const Observed& o) {
  expectFaces(o, 7);
  EXPECT_EQ(o.shape.islands, 2u);
}

std::vector<Row> meshRows() {
  std::vector<Row> rows;
  auto add = [&rows](std::string name, HostMesh m, std::map<Node, Expect> cells) {
    rows.push_back({std::move(name), std::move(m), nullptr, std::move(cells)});
  };
  const HostMesh c = cube();

  auto badIndex = [](const char* node, std::int32_t v) {
    return errorStarting(std::string(node) + "face 2: vertex index " + std::to_string(v) +
                         " is out of range (the mesh has 8 points)");
  };
  for (std::int32_t v : {-1, 8, 1 << 30}) {
    const std::string name = v < 0    ? "IndexMinusOne"
                             : v == 8 ? "IndexEqualToPointCount"
                                      : "IndexFarBeyondPointCount";
    add(name, withEntry(c, 11, v),
        {{Node::Combiner, empty({badIndex("TSL COMBINER: Invalid input mesh, ", v)})},
         {Node::Boolean, empty({badIndex("ICE BOOLEAN: Invalid A input, ", v)})},
         {Node::Voronoi, empty({badIndex("TSL VORONOI: Invalid input mesh, ", v)})},
         {Node::Continuous, empty({badIndex("TSL CONT: Invalid input mesh, ", v)})}});
  }

  // The Boolean node hands a non-finite operand to the engine, which refuses it: A is passed
  // through. The others name the fault before any work.
  for (float bad : {kNaN, kInf, -kInf}) {
    const bool nan = std::isnan(bad);
    const std::string name = nan       ? "NaNCoordinate"
                             : bad > 0 ? "InfiniteCoordinate"
                                       : "NegativeInfiniteCoordinate";
    add(name, withPoint(c, 7, {1, bad, 1}),
        {{Node::Combiner, empty({warning(kCombinerNonFinite)})},
         {Node::Boolean, passThrough([](const Observed& o) {
            EXPECT_TRUE(o.record.bounds.empty());
            EXPECT_EQ(o.record.points.size(), 8u);
          })},
         {Node::Voronoi, empty({warning(kVoroNonFinite)})},
         {Node::Continuous, empty({warning(kContNonFinite)})}});
  }

  add("CoordinatesOf1e30", scaled(c, 1e30f),
      {{Node::Combiner, published({},
                                  [](const Observed& o) {
                                    EXPECT_FLOAT_EQ(o.record.bounds[2].x, 1e30f);
                                    expectFaces(o, 6);
                                  })},
       {Node::Boolean, published()},
       // A valid closed cube: the pieces must come out at any scale the floats can hold.
       {Node::Voronoi, published({}, [](const Observed& o) { EXPECT_GE(o.shape.faces, 6u); })},
       {Node::Continuous, published()}});
  add("CoordinatesOf1eMinus30", scaled(c, 1e-30f),
      {{Node::Combiner,
        published({}, [](const Observed& o) { EXPECT_FLOAT_EQ(o.record.bounds[2].x, 1e-30f); })},
       {Node::Boolean, published()},
       {Node::Voronoi, published({}, [](const Observed& o) { EXPECT_GE(o.shape.faces, 6u); })},
       {Node::Continuous, published()}});

  // No faces at all: the Combiner publishes the points alone; the Boolean union is B; the
  // cutting nodes publish a record without faces.
  for (auto [name, m] : {std::pair{"EmptyDescription", HostMesh{c.points, {}}},
                         std::pair{"DescriptionWithoutSeparator", withoutSeparators(c)}}) {
    add(name, m,
        {{Node::Combiner, published({},
                                    [](const Observed& o) {
                                      expectFaces(o, 0);
                                      EXPECT_EQ(o.record.points.size(), 8u);
                                    })},
         {Node::Boolean, published({}, [](const Observed& o) { expectFaces(o, 6); })},
         {Node::Voronoi, published({}, expectNothing)},
         {Node::Continuous, published({}, expectNothing)}});
  }

  // The Boolean engine mends what needs no judgement: polygons of fewer than three corners go,
  // repeated corners in a row are one, faces without area go into their neighbours.
  add("PolygonOfOneVertex", withPolygon(c, {0}),
      {{Node::Combiner, published({}, expectCubeAndDegeneratePolygon)},
       {Node::Boolean, published({}, expectClosedSolid)},
       {Node::Voronoi, empty({warning(kVoroOpen)})},
       {Node::Continuous, empty({warning(kContOpen)})}});
  add("PolygonOfTwoVertices", withPolygon(c, {0, 1}),
      {{Node::Combiner, published({}, expectCubeAndDegeneratePolygon)},
       {Node::Boolean, published({}, expectClosedSolid)},
       {Node::Voronoi, empty({warning(kVoroOpen)})},
       {Node::Continuous, empty({warning(kContOpen)})}});
  add("RepeatedIndex", repeatedIndexCube(),
      {{Node::Combiner, published({}, [](const Observed& o) { expectFaces(o, 6); })},
       {Node::Boolean, published({}, expectClosedSolid)},
       {Node::Voronoi, empty({warning(kVoroOpen)})},
       {Node::Continuous, empty({warning(kContOpen)})}});
  add("ZeroAreaFace", zeroAreaCube(),
      {{Node::Combiner, published({}, [](const Observed& o) { expectFaces(o, 7); })},
       {Node::Boolean, published({}, expectClosedSolid)},
       {Node::Voronoi, published({}, expectClosedSolid)},
       {Node::Continuous, published({}, expectClosedSolid)}});
  // A closed mesh that crosses itself stands for the union of its parts.
  add("SelfIntersectingClosedMesh", demoMesh("man.off"),
      {{Node::Combiner, published()},
       {Node::Boolean, published({}, expectClosedSolid)},
       {Node::Voronoi, published({}, expectClosedSolid)},
       {Node::Continuous, published({}, expectClosedSolid)}});
  // An open surface is attempted by the Boolean node (the solid its winding number bounds).
  add("OpenMesh", withoutFace(c, 0),
      {{Node::Combiner, published({}, [](const Observed& o) { expectFaces(o, 5); })},
       {Node::Boolean,
        published({}, [](const Observed& o) { EXPECT_FALSE(o.record.polygons.empty()); })},
       {Node::Voronoi, empty({warning(kVoroOpen)})},
       {Node::Continuous, empty({warning(kContOpen)})}});
  add("InconsistentlyOrientedMesh", demoMesh("blobby-shuffled.off"),
      // Edges used twice in one direction pair nothing, which cuts the surface into pieces.
      {{Node::Combiner,
        published({}, [](const Observed& o) { EXPECT_EQ(o.shape.islands, 1119u); })},
       {Node::Boolean, passThrough()},
       {Node::Voronoi, empty({warning(kVoroOpen)})},
       {Node::Continuous, empty({warning(kContOpen)})}});
  return rows;
}

// Rows on the cube that change one port.
std::vector<Row> portRows() {
  std::vector<Row> rows;
  auto add = [&rows](std::string name, std::function<void(Wiring&)> tweak,
                     std::map<Node, Expect> cells) {
    rows.push_back({std::move(name), cube(), std::move(tweak), std::move(cells)});
  };
  auto onPort = [](Role r, std::function<void(host::Host&, std::uint32_t)> f) {
    return [r, f](Wiring& w) { f(w.host(), w.port(r)); };
  };

  // UVW of mesh A (Continuous: with a valid knife UVW, so only A's length decides).
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, kCubeCorners - 1,
                        kCubeCorners + 1, 2 * kCubeCorners}) {
    const bool silent = n <= 1;
    std::map<Node, Expect> cells{
        {Node::Combiner, published({},
                                   [n](const Observed& o) {
                                     EXPECT_EQ(o.record.uvw.size(),
                                               n >= 3 ? n : 0u);  // handed on as given
                                   })},
        {Node::Boolean, published({}, [n](const Observed& o) {
           EXPECT_EQ(o.record.uvw.size(), o.shape.corners);  // (0, 0, 0) where none came
           if (n < 2) {
             for (const Float3& t : o.record.uvw) EXPECT_EQ(t, (Float3{0, 0, 0}));
           }
         })}};
    for (Node node : {Node::Voronoi, Node::Continuous}) {
      cells.emplace(node,
                    published(silent ? std::vector<Line>{} : std::vector<Line>{warning(kUvWarning)},
                              [](const Observed& o) { EXPECT_TRUE(o.record.uvw.empty()); }));
    }
    add(
        "UvwOf" + std::to_string(n) + "Entries",
        [n](Wiring& w) {
          w.host().connectVector3Array(w.port(Role::Uvw), uvwOf(n));
          if (w.node() == Node::Continuous) {
            w.host().connectVector3Array(w.port(Role::KnifeUvw), uvwOf(3 * kKnifeTriangles));
          }
        },
        cells);
  }

  // Face identifiers of mesh A.
  for (std::size_t n :
       {std::size_t{0}, std::size_t{1}, kCubeFaces - 1, kCubeFaces + 1, 2 * kCubeFaces}) {
    std::map<Node, Expect> cells{
        {Node::Combiner, published({},
                                   [n](const Observed& o) {
                                     ASSERT_EQ(o.record.faceInfo.size(), 6u);
                                     // One entry labels every face; a short list leaves the faces
                                     // beyond it without one.
                                     for (std::size_t f = 0; f < 6; ++f) {
                                       const std::int32_t want =
                                           n == 1  ? 10
                                           : f < n ? static_cast<std::int32_t>(10 + f)
                                                   : -2;
                                       EXPECT_EQ(o.record.faceInfo[f].faceId, want) << "face " << f;
                                     }
                                   })},
        {Node::Boolean, published({}, [](const Observed& o) {
           EXPECT_EQ(o.record.faceInfo.size(), o.shape.faces);
         })}};
    for (Node node : {Node::Voronoi, Node::Continuous}) {
      cells.emplace(
          node, published(n == 0 ? std::vector<Line>{} : std::vector<Line>{warning(kFaceIdWarning)},
                          [](const Observed& o) { EXPECT_TRUE(o.record.faceInfo.empty()); }));
    }
    add("FaceIdsOf" + std::to_string(n) + "Entries",
        onPort(Role::FaceId,
               [n](host::Host& h, std::uint32_t p) { h.connectLongArray(p, idsOf(n)); }),
        cells);
  }

  // Knife UVW of every wrong length, with A's UVW valid.
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, 3 * kKnifeTriangles - 1,
                        3 * kKnifeTriangles + 1, 6 * kKnifeTriangles}) {
    add("KnifeUvwOf" + std::to_string(n) + "Entries",
        [n](Wiring& w) {
          w.host().connectVector3Array(w.port(Role::Uvw), uvwOf(kCubeCorners));
          w.host().connectVector3Array(w.port(Role::KnifeUvw), uvwOf(n));
        },
        {{Node::Continuous, published({warning(kKnifeUvWarning)}, [](const Observed& o) {
            EXPECT_TRUE(o.record.uvw.empty());
          })}});
  }

  // Single values where arrays are expected. The mesh and knife ports give up without a word;
  // attribute ports connected to a single value carry nothing (the Combiner and the Boolean
  // give one identifier to every face).
  for (Role r : {Role::Points, Role::Description, Role::BPoints, Role::BDescription, Role::Centres,
                 Role::KnifePoints, Role::KnifeDescriptor}) {
    static const std::map<Role, const char*> names{{Role::Points, "Points"},
                                                   {Role::Description, "Description"},
                                                   {Role::BPoints, "BPoints"},
                                                   {Role::BDescription, "BDescription"},
                                                   {Role::Centres, "Centres"},
                                                   {Role::KnifePoints, "KnifePoints"},
                                                   {Role::KnifeDescriptor, "KnifeDescriptor"}};
    std::map<Node, Expect> cells;
    for (Node n : kNodes) {
      if (portOf(n, r)) cells.emplace(n, empty());
    }
    const bool vector =
        r == Role::Points || r == Role::BPoints || r == Role::Centres || r == Role::KnifePoints;
    add(
        std::string("SingleValueFor") + names.at(r),
        [r, vector](Wiring& w) {
          if (vector) {
            w.host().connectVector3(w.port(r), {0, 0, 0});
          } else {
            w.host().connectLong(w.port(r), 0);
          }
        },
        cells);
    add(
        std::string("SingleValueWithoutDataFor") + names.at(r),
        [r](Wiring& w) { w.host().connectNoData(w.port(r)); }, cells);
  }
  add("SingleValueForUvw",
      onPort(Role::Uvw,
             [](host::Host& h, std::uint32_t p) {
               h.connectVector3(p, {0.5f, 0.5f, 0.5f});
             }),
      forAll(published({}, [](const Observed& o) { EXPECT_TRUE(o.record.uvw.empty()); })));
  add("SingleValueForFaceId",
      onPort(Role::FaceId, [](host::Host& h, std::uint32_t p) { h.connectLong(p, 7); }),
      {{Node::Combiner, published({},
                                  [](const Observed& o) {
                                    for (const FaceInfo& fi : o.record.faceInfo)
                                      EXPECT_EQ(fi.faceId, 7);
                                  })},
       {Node::Boolean, published({},
                                 [](const Observed& o) {
                                   ASSERT_FALSE(o.record.faceInfo.empty());
                                   bool any7 = false;
                                   for (const FaceInfo& fi : o.record.faceInfo)
                                     any7 = any7 || fi.faceId == 7;
                                   EXPECT_TRUE(any7);
                                 })},
       {Node::Voronoi,
        published({}, [](const Observed& o) { EXPECT_TRUE(o.record.faceInfo.empty()); })},
       {Node::Continuous,
        published({}, [](const Observed& o) { EXPECT_TRUE(o.record.faceInfo.empty()); })}});
  add("SingleValueForKnifeUvw",
      [](Wiring& w) {
        w.host().connectVector3Array(w.port(Role::Uvw), uvwOf(kCubeCorners));
        w.host().connectVector3(w.port(Role::KnifeUvw), {0.5f, 0.5f, 0.5f});
      },
      {{Node::Continuous,
        published({}, [](const Observed& o) { EXPECT_TRUE(o.record.uvw.empty()); })}});

  // Arrays where single values are expected: the first entry counts, an empty array reads as
  // the port's neutral value.
  add("FilterAsArray",
      onPort(Role::Filter,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{12, 99});
               h.connectLongArray(3, idsOf(6));
             }),
      {{Node::Combiner, published({}, [](const Observed& o) {
          ASSERT_EQ(o.record.faceInfo.size(), 1u);
          EXPECT_EQ(o.record.faceInfo[0], (FaceInfo{0, 12}));
        })}});
  add("FilterAsEmptyArray",
      onPort(Role::Filter,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{});
             }),
      {{Node::Combiner, published({}, [](const Observed& o) { expectFaces(o, 6); })}});
  add("FunctionAsArray",
      onPort(Role::Function,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{1, 0});  // intersection
             }),
      {{Node::Boolean, published({}, [](const Observed& o) {
          expectFaces(o, 6);
          EXPECT_FLOAT_EQ(o.record.bounds[0].x, 0.0f);  // only the shared octant
        })}});
  add("FunctionAsEmptyArray",
      onPort(Role::Function,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{});  // union
             }),
      {{Node::Boolean, published({}, [](const Observed& o) {
          EXPECT_FLOAT_EQ(o.record.bounds[0].x, -1.0f);
          EXPECT_FLOAT_EQ(o.record.bounds[2].x, 1.5f);
        })}});
  add("ClassificationAsArray",
      onPort(Role::Classification,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{0});
             }),
      {{Node::Boolean, published()}});
  add("TriangulateAsArray",
      onPort(Role::Triangulate,
             [](host::Host& h, std::uint32_t p) {
               h.connectBoolArray(p, {true, false});
             }),
      {{Node::Boolean, published({}, [](const Observed& o) {
          EXPECT_EQ(3 * o.shape.faces, o.shape.corners);  // every face a triangle
        })}});
  add("CanonicalizeAsArray",
      onPort(Role::Canonicalize,
             [](host::Host& h, std::uint32_t p) { h.connectBoolArray(p, {true}); }),
      {{Node::Boolean, published({}, [](const Observed& o) {
          EXPECT_TRUE(o.record.faceInfo.empty());
          EXPECT_TRUE(o.record.uvw.empty());
        })}});
  add("ThicknessAsArray",
      onPort(Role::Thickness,
             [](host::Host& h, std::uint32_t p) {
               h.connectFloatArray(p, std::vector<float>{0.5f, 0.0f});
             }),
      {{Node::Voronoi, published({}, [](const Observed& o) {
          // A wide gap: the pieces end well short of the middle.
          float nearest = 1;
          for (const Float3& q : o.record.points) nearest = std::min(nearest, std::abs(q.x));
          EXPECT_GT(nearest, 0.05f);
        })}});
  add("ThicknessAsEmptyArray",
      onPort(Role::Thickness,
             [](host::Host& h, std::uint32_t p) { h.connectFloatArray(p, std::vector<float>{}); }),
      {{Node::Voronoi, published()}});
  add("UvScaleAsArray",
      [](Wiring& w) {
        w.host().connectVector3Array(w.port(Role::Uvw), uvwOf(kCubeCorners));
        w.host().connectFloatArray(w.port(Role::UvScale), std::vector<float>{2.0f, 5.0f});
      },
      {{Node::Voronoi, published({}, [](const Observed& o) {
          EXPECT_EQ(o.record.uvw.size(), o.shape.corners);
        })}});

  // Node-specific inputs: centres and knives.
  add("NoCentres",
      onPort(Role::Centres,
             [](host::Host& h, std::uint32_t p) {
               h.connectVector3Array(p, std::vector<host::Vec3f>{});
             }),
      {{Node::Voronoi, empty({warning(kVoroNoCentres)})}});
  add("CentresAllNonFinite",
      onPort(Role::Centres,
             [](host::Host& h, std::uint32_t p) {
               h.connectVector3Array(
                   p, std::vector<host::Vec3f>{{kNaN, 0, 0}, {0, kInf, 0}, {0, 0, -kInf}});
             }),
      {{Node::Voronoi, empty({warning(kVoroNoCell)})}});
  add("CentresHugeAndOutside",
      onPort(Role::Centres,
             [](host::Host& h, std::uint32_t p) {
               h.connectVector3Array(
                   p, std::vector<host::Vec3f>{{1e30f, 0, 0}, {0, -3e38f, 0}, {5, 0, 0}});
             }),
      {{Node::Voronoi, empty({warning(kVoroNoCell)})}});
  add("CentresDuplicatedAndCospherical",
      onPort(Role::Centres,
             [](host::Host& h, std::uint32_t p) {
               // The eight corners of a cube around the origin lie on one sphere; each is given
               // twice.
               std::vector<host::Vec3f> c;
               for (int rep = 0; rep < 2; ++rep) {
                 for (int k = 0; k < 8; ++k) {
                   c.push_back({k & 1 ? 0.5f : -0.5f, k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f});
                 }
               }
               h.connectVector3Array(p, c);
             }),
      {{Node::Voronoi, published({}, [](const Observed& o) {
          // One piece per distinct centre; the record carries no island labels, the count does.
          ASSERT_EQ(o.counts.size(), 3u);
          EXPECT_EQ(o.counts[2].text, "Total num of PolyIslands:8");
        })}});
  add("KnifeDescriptorNotAMultipleOfFour",
      onPort(Role::KnifeDescriptor,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{0, 1, 2, -2, 0, 3});
             }),
      {{Node::Continuous,
        {State::Unwritten, {warning("Invalid Knife Geometry , TRACE POINT 0")}}}});
  add("KnifeDescriptorWithMisplacedSeparators",
      onPort(Role::KnifeDescriptor,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{0, 1, 2, 3, 0, 3, 1, -2});
             }),
      {{Node::Continuous,
        {State::Unwritten, {warning("Invalid Knife Geometry , TRACE POINT 1")}}}});
  add("KnifeIndexOutsideTheInstance",
      onPort(Role::KnifeDescriptor,
             [](host::Host& h, std::uint32_t p) {
               h.connectLongArray(p, std::vector<std::int32_t>{0, 1, 2, -2, 0, 3, 1, -2, 0, 2, 3,
                                                               -2, 1, 3, 4, -2});
             }),
      {{Node::Continuous, empty({warning("Invalid Knife Geometry , TRACE POINT 0")})}});
  add("KnifeWithNonFinitePoint",
      onPort(Role::KnifePoints,
             [](host::Host& h, std::uint32_t p) {
               Knife k = notchKnife(Frame{});
               std::vector<host::Vec3f> pts = toVec3f(k.points);
               pts[2][1] = kNaN;
               h.connectVector3Array(p, pts);
             }),
      {{Node::Continuous, published({error(skipped(1))}, [](const Observed& o) {
          expectFaces(o, 6);  // nothing cut: A itself
        })}});
  return rows;
}

// ---------------------------------------------------------------------------------------------
// The runner.

struct Cell {
  const Row* row;
  Node node;
};

void PrintTo(const Cell& c, std::ostream* os) {
  *os << c.row->name << " on " << nodeName(c.node);
}

const std::vector<Row>& allRows() {
  static const std::vector<Row> rows = [] {
    std::vector<Row> r = meshRows();
    for (Row& p : portRows()) r.push_back(std::move(p));
    return r;
  }();
  return rows;
}

std::vector<Cell> allCells() {
  std::vector<Cell> cells;
  for (const Row& r : allRows()) {
    for (Node n : kNodes) {
      if (r.cells.count(n)) cells.push_back({&r, n});
    }
  }
  return cells;
}

RecordRules rulesFor(Node n, State s) {
  RecordRules rules;
  rules.faceInfoRequired = n == Node::Combiner;
  rules.uvwPerCorner = n != Node::Combiner && s != State::PassThrough;
  rules.boundsRequired = s != State::PassThrough;
  return rules;
}

bool isCountLine(const LogLine& l) {
  return l.severity == 8 && l.text.rfind("Total num of ", 0) == 0;
}

// Evaluates the node once and reads back what it did.
Observed evaluate(host::Host& h, Node node) {
  h.clearLog();
  h.beginEvaluate();
  h.evaluate(outputPort(node));
  expectCleanCalls(h);

  Observed o;
  for (const LogLine& l : h.log()) (isCountLine(l) ? o.counts : o.lines).push_back(l);
  const host::CustomOutput& out = h.customOutput(outputPort(node));
  switch (out.state) {
    case OutputState::Unwritten:
      o.state = State::Unwritten;
      break;
    case OutputState::Empty:
      o.state = State::Empty;
      break;
    case OutputState::Data: {
      o.state = State::Published;
      for (const LogLine& l : o.lines) {
        if (node == Node::Boolean && l.text == kBoolFallback) o.state = State::PassThrough;
      }
      const tsl::VastaTopoRecord refs = recordRefs(out);
      std::vector<std::string> violations;
      o.shape = checkRecord(refs, rulesFor(node, o.state), violations);
      for (const std::string& v : violations) ADD_FAILURE() << "record invariant: " << v;
      o.record = readRecord(out);
      break;
    }
  }
  // The counts are logged for every published record and for nothing else (the Combiner logs
  // its input's counts, the other nodes their result's).
  if (o.state == State::Published) {
    EXPECT_EQ(o.counts.size(), 3u);
    if (node != Node::Combiner && o.counts.size() == 3) {
      EXPECT_EQ(o.counts[0].text, "Total num of points:" + std::to_string(o.record.points.size()));
      EXPECT_EQ(o.counts[1].text, "Total num of faces:" + std::to_string(o.shape.faces));
    }
  } else {
    EXPECT_TRUE(o.counts.empty()) << o.counts.size() << " count lines for a " << stateName(o.state)
                                  << " output";
  }
  return o;
}

void expectLines(const std::vector<LogLine>& got, const std::vector<Line>& want) {
  std::string all;
  for (const LogLine& l : got) all += "\n  [" + std::to_string(l.severity) + "] " + l.text;
  ASSERT_EQ(got.size(), want.size()) << "log lines:" << all;
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].severity, want[i].severity) << got[i].text;
    if (want[i].prefix) {
      EXPECT_EQ(got[i].text.rfind(want[i].text, 0), 0u) << got[i].text;
    } else {
      EXPECT_EQ(got[i].text, want[i].text);
    }
  }
}

class BadInputMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(BadInputMatrix, StatesItsLogLinesAndOutput) {
  const Cell& cell = GetParam();
  const Expect& want = cell.row->cells.at(cell.node);
  host::Host h(pluginPath(nodeName(cell.node)));
  Wiring w(h, cell.node);
  wire(w, cell.row->mesh);
  if (cell.row->tweak) cell.row->tweak(w);

  const Observed o = evaluate(h, cell.node);
  EXPECT_EQ(stateName(o.state), std::string(stateName(want.state)));
  expectLines(o.lines, want.lines);
  if (want.check && (o.state == State::Published || o.state == State::PassThrough)) {
    want.check(o);
  }

  // The plug-in is still usable afterwards: a good cube goes through.
  h.disconnectAll();
  wire(w, cube());
  const Observed again = evaluate(h, cell.node);
  EXPECT_EQ(stateName(again.state), std::string(stateName(State::Published)));
  h.unload();
  expectCleanCalls(h);
}

std::string cellName(const ::testing::TestParamInfo<Cell>& info) {
  std::string node = std::string(nodeName(info.param.node)).substr(4);  // without "TSL_"
  std::erase(node, '_');
  return info.param.row->name + "_" + node;
}

INSTANTIATE_TEST_SUITE_P(Cells, BadInputMatrix, ::testing::ValuesIn(allCells()), cellName);

// ---------------------------------------------------------------------------------------------
// A mesh of two million triangles, once per node.

// Closed UV sphere of radius 1: two poles, (stacks - 1) rings of slices points, 2 * slices *
// (stacks - 1) outward triangles.
HostMesh sphere(int slices, int stacks) {
  HostMesh m;
  m.points.reserve(static_cast<std::size_t>(slices) * (stacks - 1) + 2);
  m.points.push_back({0, 0, 1});
  for (int i = 1; i < stacks; ++i) {
    const double theta = std::numbers::pi * i / stacks;
    for (int j = 0; j < slices; ++j) {
      const double phi = 2 * std::numbers::pi * j / slices;
      m.points.push_back({static_cast<float>(std::sin(theta) * std::cos(phi)),
                          static_cast<float>(std::sin(theta) * std::sin(phi)),
                          static_cast<float>(std::cos(theta))});
    }
  }
  m.points.push_back({0, 0, -1});
  const int south = static_cast<int>(m.points.size()) - 1;
  auto ring = [slices](int i, int j) { return 1 + (i - 1) * slices + (j % slices); };
  m.description.reserve(static_cast<std::size_t>(8) * slices * stacks);
  for (int j = 0; j < slices; ++j)
    m.description.insert(m.description.end(), {0, ring(1, j), ring(1, j + 1), -2});
  for (int i = 1; i + 1 < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      const int a = ring(i, j), b = ring(i, j + 1), c = ring(i + 1, j), d = ring(i + 1, j + 1);
      m.description.insert(m.description.end(), {a, c, d, -2, a, d, b, -2});
    }
  }
  for (int j = 0; j < slices; ++j) {
    m.description.insert(m.description.end(),
                         {south, ring(stacks - 1, j + 1), ring(stacks - 1, j), -2});
  }
  return m;
}

const HostMesh& twoMillionTriangles() {
  static const HostMesh m = sphere(1000, 1001);
  return m;
}

class TwoMillionTriangles : public ::testing::TestWithParam<Node> {};

TEST_P(TwoMillionTriangles, PublishesTheResult) {
  const Node node = GetParam();
  const HostMesh& m = twoMillionTriangles();
  ASSERT_EQ(m.faceCount(), 2'000'000u);
  host::Host h(pluginPath(nodeName(node)));
  Wiring w(h, node);
  wire(w, m);
  const auto start = std::chrono::steady_clock::now();
  const Observed o = evaluate(h, node);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("seconds", std::to_string(seconds));
  std::printf("[ timing   ] %s on 2,000,000 triangles: %.1f s\n", nodeName(node), seconds);
  EXPECT_EQ(stateName(o.state), std::string(stateName(State::Published)));
  expectLines(o.lines, {});
  EXPECT_EQ(o.counts.size(), 3u);
  if (node == Node::Combiner) {
    EXPECT_EQ(o.shape.faces, 2'000'000u);
    EXPECT_EQ(o.shape.islands, 1u);
  } else {
    // Every node cuts the sphere somewhere and keeps most of it.
    EXPECT_GT(o.shape.faces, 1'000'000u);
  }
}

INSTANTIATE_TEST_SUITE_P(Nodes, TwoMillionTriangles, ::testing::ValuesIn(kNodes),
                         [](const ::testing::TestParamInfo<Node>& info) {
                           std::string node = std::string(nodeName(info.param)).substr(4);
                           std::erase(node, '_');
                           return node;
                         });

}  // namespace
