// The Voronoi node (the mesh cut by all cells in one intersection) against the same fracture
// done cell by cell (each cell intersected with the mesh on its own, with the same engine),
// for bunny00.off and a 4x subdivided copy, into 50, 200 and 1,000 pieces. Each row is followed
// by the node's stages (from the stage reports of its logic) and the engine's own split of the
// one intersection.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "geom/csg.h"
#include "geom/mesh_files.h"
#include "geom/mesh_sampling.h"
#include "harness.h"
#include "host/host.h"
#include "stage_times.h"
#include "voronoi/voronoi_cells.h"
#include "voronoi/voronoi_fragments.h"

namespace {

// Every triangle split into four at its edge midpoints (shared midpoints, so still closed).
geom::MeshFile subdivide(const geom::MeshFile& m) {
  geom::MeshFile out;
  out.points = m.points;
  std::map<std::pair<int, int>, int> mid;
  auto midpoint = [&](int a, int b) {
    const auto key = std::minmax(a, b);
    const auto it = mid.find(key);
    if (it != mid.end()) return it->second;
    const geom::Vec3 p =
        (m.points[static_cast<std::size_t>(a)] + m.points[static_cast<std::size_t>(b)]) * 0.5;
    out.points.push_back(p);
    return mid[key] = static_cast<int>(out.points.size()) - 1;
  };
  for (const auto& f : m.polygons) {
    const int a = f[0], b = f[1], c = f[2];
    const int ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
    out.polygons.push_back({a, ab, ca});
    out.polygons.push_back({ab, b, bc});
    out.polygons.push_back({ca, bc, c});
    out.polygons.push_back({ab, bc, ca});
  }
  return out;
}

struct Input {
  std::vector<host::Vec3f> points;
  std::vector<std::int32_t> description;
  std::vector<tsl::Float3> centres;
  geom::Polyhedron mesh;
};

Input makeInput(const geom::MeshFile& file, std::size_t pieces) {
  Input in;
  std::vector<geom::Vec3> pts;
  for (const auto& p : file.points) {
    in.points.push_back({float(p.x), float(p.y), float(p.z)});
    pts.push_back({float(p.x), float(p.y), float(p.z)});
  }
  std::vector<std::uint32_t> offsets{0};
  std::vector<int> corners;
  for (const auto& f : file.polygons) {
    for (int v : f) {
      in.description.push_back(v);
      corners.push_back(v);
    }
    in.description.push_back(-2);
    offsets.push_back(static_cast<std::uint32_t>(corners.size()));
  }
  in.mesh = geom::Polyhedron(std::move(pts), std::move(offsets), std::move(corners));
  for (const auto& c : geom::scatterInside(file, pieces, 5)) {
    in.centres.push_back({float(c.x), float(c.y), float(c.z)});
  }
  return in;
}

// One run of the node's logic, timed stage by stage through its stage reports, and the engine's
// split of the same intersection of the mesh with all cells.
void printStages(const Input& in) {
  bench::StageTimes times;
  std::vector<tsl::Float3> points;
  for (const auto& p : in.points) points.push_back({p[0], p[1], p[2]});
  tsl::voronoi::VoronoiInput v;
  v.points = points;
  v.description = in.description;
  v.centres = in.centres;
  tsl::TopoStore store;
  std::vector<tsl::LogLine> lines;
  tsl::voronoi::fracture(v, store, tsl::collectInto(lines), times.progress());
  times.print();

  const tsl::voronoi::CellMesh cells =
      tsl::voronoi::voronoi_cells(in.centres, v.thickness, in.mesh.aabb());
  geom::Csg csg;
  csg.publishAsFloat();
  csg.skipSelfIntersectionCheck(geom::Csg::OPERAND_B);
  csg.compute(in.mesh, cells.mesh, geom::Csg::INTERSECTION, geom::Csg::CLASSIFY_EDGE);
  const geom::CsgTimings& t = csg.timings();
  std::printf(
      "%40s its cut (s): validate %.3f self-int %.3f corefine %.3f classify %.3f assemble %.3f "
      "result %.3f\n",
      "", t.validate, t.selfIntersection, t.corefine, t.classify, t.assemble, t.hooks);
  std::fflush(stdout);  // printed in a child, which ends without flushing
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(TSL_TEST_MESH_DIR) + "/data/meshes/bunny00.off";
  const geom::MeshFile bunny = geom::readMeshFile(path);
  const geom::MeshFile fine = subdivide(bunny);
  for (const geom::MeshFile* file : {&bunny, &fine}) {
    std::printf("mesh of %zu triangles\n", file->polygons.size());
    for (std::size_t pieces : {50, 200, 1000}) {
      std::optional<Input> in;
      std::unique_ptr<host::Host> h;
      const bench::Measurement node = bench::measure(
          [&] {
            in = makeInput(*file, pieces);
            h = std::make_unique<host::Host>(std::string(TSL_PLUGIN_DIR) + "/TSL_Voronoi.so");
            h->connectVector3Array(0, in->points);
            h->connectLongArray(1, in->description);
            std::vector<host::Vec3f> c;
            for (const auto& p : in->centres) c.push_back({p.x, p.y, p.z});
            h->connectVector3Array(3, c);
          },
          [&] {
            h->beginEvaluate();
            h->evaluate(200);
            if (h->customOutput(200).state != host::OutputState::Data) std::abort();
            h->clearLog();
          },
          1);
      // Cell by cell is slow: measure it for 50 and 200 pieces only.
      bench::Measurement byCell;
      if (pieces <= 200) {
        byCell = bench::measure(
            [&] { in = makeInput(*file, pieces); },
            [&] {
              const tsl::voronoi::CellMesh cells =
                  tsl::voronoi::voronoi_cells(in->centres, 0.001f, in->mesh.aabb());
              for (std::size_t c = 0; c + 1 < cells.cellFaceStart.size(); ++c) {
                std::vector<std::size_t> faces;
                for (std::size_t f = cells.cellFaceStart[c]; f < cells.cellFaceStart[c + 1]; ++f) {
                  faces.push_back(f);
                }
                const geom::Polyhedron cell = cells.mesh.subMesh(faces);
                geom::Csg csg;
                csg.skipSelfIntersectionCheck(geom::Csg::OPERAND_B);
                csg.compute(in->mesh, cell, geom::Csg::INTERSECTION, geom::Csg::CLASSIFY_EDGE);
              }
            },
            1);
      }
      char name[64];
      std::snprintf(name, sizeof name, "%zu pieces: node vs cell by cell", pieces);
      bench::printRow(name, node, byCell);
      std::printf("%40s node %.0f pieces/s\n", "", pieces / node.seconds);
      std::fflush(stdout);  // or the child prints what is still buffered again
      bench::inChild<int>([&] {
        printStages(makeInput(*file, pieces));
        return 0;
      });
    }
  }
  return 0;
}
