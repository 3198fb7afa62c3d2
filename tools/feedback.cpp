// What the nodes publish, fed back: every piece of a fracture, the carved mesh of a series of
// knives, and a mesh minus a copy of itself turned by a hair, each checked with CGAL's own
// verdict in float and cut again through the Boolean node's logic.
//
//   tessellon_feedback fracture MESH COUNT [SEED]   pieces of a Voronoi fracture
//   tessellon_feedback carve MESH KNIVES [SEED]     octahedron knives carved by the Continuous node
//   tessellon_feedback sliver MESH                  the mesh minus its copy turned by 1e-5 rad
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "continuous/continuous.h"
#include "geom/mesh_sampling.h"
#include "support/real_sweep.h"
#include "voronoi/voronoi_fragments.h"

namespace {

using namespace tsl;
using namespace tsl::test;

// The published record's islands, each as a mesh of its own.
std::vector<HostMesh> piecesOf(const HostMesh& m) {
  const geom::Polyhedron p = polyhedronOf(m.points, m.description);
  std::vector<HostMesh> pieces(p.manifoldCount());
  std::vector<std::vector<int>> index(p.manifoldCount(), std::vector<int>(m.points.size(), -1));
  for (std::size_t f = 0; f < p.faceCount(); ++f) {
    const int i = p.manifold_id(f);
    for (int v : p.face(f)) {
      int& k = index[i][v];
      if (k < 0) {
        k = static_cast<int>(pieces[i].points.size());
        pieces[i].points.push_back(m.points[v]);
      }
      pieces[i].description.push_back(k);
    }
    pieces[i].description.push_back(-2);
  }
  return pieces;
}

// A knife through the middle of the mesh's box: a box turned a little, so that it meets the
// pieces' faces at general angles.
HostMesh middleKnife(const HostMesh& m) {
  HostMesh box = cube({0, 0, 0}, 1.0f);
  const HostBox b = boxOf(m);
  const float lo[3] = {float(b.lo[0]), float(b.lo[1]), float(b.lo[2])};
  const float hi[3] = {float(b.hi[0]), float(b.hi[1]), float(b.hi[2])};
  for (Float3& p : box.points) {
    p = {lo[0] + (hi[0] - lo[0]) * (0.5f + 0.3f * p.x + 0.05f * p.y),
         lo[1] + (hi[1] - lo[1]) * (0.5f + 0.3f * p.y - 0.04f * p.z),
         lo[2] + (hi[2] - lo[2]) * (0.5f + 0.1f * p.z + 0.03f * p.x)};
  }
  return box;
}

struct Tally {
  int pieces = 0, good = 0;
  void check(const HostMesh& piece, const HostMesh& knife, const std::string& what) {
    ++pieces;
    const geom::SolidVerdict v = verdictOf(piece);
    const BooleanRun again = runBoolean(piece, knife, 2);
    const bool ok = v.valid() && again.outcome == Outcome::Published;
    good += ok;
    if (!ok) {
      std::printf("  %s: %s%s\n", what.c_str(), v.valid() ? "" : v.problem.c_str(),
                  again.outcome == Outcome::Published
                      ? ""
                      : (" refused: " + again.reason).c_str());
    }
  }
};

int fracture(const std::string& path, std::size_t count, std::uint64_t seed) {
  const geom::MeshFile file = geom::readMeshFile(path);
  const HostMesh a = hostMeshFromFile(path);
  std::vector<Float3> centres;
  for (const geom::Vec3& c : geom::scatterInside(file, count, seed)) {
    centres.push_back({float(c.x), float(c.y), float(c.z)});
  }
  voronoi::VoronoiInput in;
  in.points = a.points;
  in.description = a.description;
  in.centres = centres;
  in.thickness = 0.02f;
  TopoStore store;
  std::vector<LogLine> lines;
  if (voronoi::fracture(in, store, collectInto(lines)) != Outcome::Published) {
    std::printf("fracture refused\n");
    return 1;
  }
  const HostMesh all{store.points, store.polygons};
  const std::vector<HostMesh> pieces = piecesOf(all);
  Tally t;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    t.check(pieces[i], middleKnife(pieces[i]), "piece " + std::to_string(i));
  }
  // One piece fractured again.
  std::size_t biggest = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].faceCount() > pieces[biggest].faceCount()) biggest = i;
  }
  const HostMesh& p = pieces[biggest];
  std::vector<Float3> inner;
  for (std::size_t k = 0; k < p.points.size() && inner.size() < 6; k += p.points.size() / 6 + 1) {
    // Towards the piece's first point from each sampled corner: inside a convex-ish piece.
    const Float3 q = p.points[k], r = p.points[(k + p.points.size() / 2) % p.points.size()];
    inner.push_back({(q.x + r.x) / 2, (q.y + r.y) / 2, (q.z + r.z) / 2});
  }
  voronoi::VoronoiInput again;
  again.points = p.points;
  again.description = p.description;
  again.centres = inner;
  TopoStore store2;
  lines.clear();
  const bool refractured =
      voronoi::fracture(again, store2, collectInto(lines)) == Outcome::Published;
  bool closed = refractured;
  if (refractured) {
    const geom::Polyhedron q = polyhedronOf(store2.points, store2.polygons);
    for (bool c : q.manifold_is_closed()) closed = closed && c;
  }
  std::printf(
      "%s: %zu pieces, %d of %d valid in float and cut again; piece %zu fractured again: %s\n",
      path.c_str(), pieces.size(), t.good, t.pieces, biggest,
      refractured ? (closed ? "closed pieces" : "OPEN pieces") : "REFUSED");
  return t.good == t.pieces && closed ? 0 : 1;
}

int carve(const std::string& path, int knives, std::uint64_t seed) {
  const HostMesh a = hostMeshFromFile(path);
  Knife o = octahedron(1.0f);
  const HostBox b = boxOf(a);
  const float lo[3] = {float(b.lo[0]), float(b.lo[1]), float(b.lo[2])};
  const float hi[3] = {float(b.hi[0]), float(b.hi[1]), float(b.hi[2])};
  const float size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<float> u(0, 1);
  Knife k;
  k.descriptor = o.descriptor;
  std::vector<Float3> shape;
  for (const Float3& p : o.points)
    shape.push_back({p.x * size * 0.15f, p.y * size * 0.15f, p.z * size * 0.15f});
  for (int i = 0; i < knives; ++i) {
    k.addInstance(shape, {lo[0] + (hi[0] - lo[0]) * u(rng), lo[1] + (hi[1] - lo[1]) * u(rng),
                          lo[2] + (hi[2] - lo[2]) * u(rng)});
  }
  continuous::ContinuousInput in;
  in.points = a.points;
  in.description = a.description;
  in.knifePoints = k.points;
  in.knifeDescriptor = k.descriptor;
  TopoStore store;
  std::vector<LogLine> lines;
  if (continuous::carve(in, store, collectInto(lines)) != Outcome::Published) {
    std::printf("carve refused\n");
    return 1;
  }
  for (const LogLine& l : lines) {
    if (l.severity == Severity::Error) std::printf("  %s\n", l.text.c_str());
  }
  const HostMesh r{store.points, store.polygons};
  Tally t;
  t.check(r, middleKnife(r), "carved mesh");
  std::printf("%s minus %d knives: %s\n", path.c_str(), knives,
              t.good == 1 ? "valid in float and cut again" : "FAILED");
  return t.good == 1 ? 0 : 1;
}

int sliver(const std::string& path) {
  const HostMesh a = hostMeshFromFile(path);
  const HostBox box = boxOf(a);
  // Moved by 1e-6 along z in absolute terms: the move is a fraction of the half size.
  const double move[3] = {0, 0, 1e-6 / ((box.hi[2] - box.lo[2]) / 2)};
  const HostMesh b = placedCopy(a, 1e-5, move);
  const HostMesh knife = placedCopy(a, -0.3, move);
  int bad = 0;
  for (int f : {0, 1, 2}) {
    const SweepStep s = sweepStep(a, b, f, false, knife);
    std::printf("%s sliver, function %d: %s\n", path.c_str(), f,
                s.good() ? "ok" : s.problem().c_str());
    bad += !s.good();
  }
  return bad == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s fracture|carve|sliver MESH [N] [SEED]\n", argv[0]);
    return 64;
  }
  const std::string verb = argv[1], path = argv[2];
  const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
  if (verb == "fracture")
    return fracture(path, argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 100, seed);
  if (verb == "carve") return carve(path, argc > 3 ? std::atoi(argv[3]) : 12, seed);
  if (verb == "sliver") return sliver(path);
  std::fprintf(stderr, "unknown verb %s\n", verb.c_str());
  return 64;
}
