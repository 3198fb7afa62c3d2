// tessellon voronoi MESH (--centers FILE | --count N [--seed S]) [--thickness T]
//                   [--uv-scale S] [--explode F] [-o OUT] [--json]
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "cli/input_mesh.h"
#include "cli/node_run.h"
#include "cli/number_rows.h"
#include "cli/pieces.h"
#include "cli/record.h"
#include "cli/verbs.h"
#include "geom/error.h"
#include "geom/mesh_sampling.h"
#include "voronoi/ports.h"

namespace cli {
namespace {

std::vector<host::Vec3f> readCentres(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<host::Vec3f> out;
  if (ext == ".obj" || ext == ".off" || ext == ".ply" || ext == ".stl") {
    for (const auto& p : geom::readMeshFile(path).points) {
      out.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
    }
    return out;
  }
  forEachNumberRow<float>(path, "'x y z'", [&](int n, std::vector<float>& row) {
    if (row.size() != 3) throw geom::Error(atLine(path, n) + " is not 'x y z'");
    out.push_back({row[0], row[1], row[2]});
  });
  return out;
}

std::vector<host::Vec3f> scatter(const geom::MeshFile& m, long long count, unsigned seed) {
  std::vector<host::Vec3f> out;
  for (const auto& p : geom::scatterInside(m, static_cast<std::size_t>(count), seed)) {
    out.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  }
  return out;
}

// Moves every island away from the mesh centre by factor times the offset of its centre.
void explode(TopoMesh& m, double factor) {
  const std::vector<int> islands = faceIslands(m);
  std::map<int, std::array<double, 4>> sums;  // x, y, z, count per island
  std::vector<int> islandOfPoint(m.points.size(), -1);
  std::size_t f = 0;
  for (std::int32_t v : m.polygons) {
    if (v == -2) {
      ++f;
      continue;
    }
    islandOfPoint[static_cast<std::size_t>(v)] = islands[f];
  }
  double c[3] = {0, 0, 0};
  for (std::size_t i = 0; i < m.points.size(); ++i) {
    if (islandOfPoint[i] < 0) continue;
    auto& s = sums[islandOfPoint[i]];
    for (int k = 0; k < 3; ++k) s[k] += m.points[i][k];
    s[3] += 1;
  }
  for (int k = 0; k < 3; ++k) c[k] = m.bounds.size() == 3 ? m.bounds[1][k] : 0.0;
  for (std::size_t i = 0; i < m.points.size(); ++i) {
    if (islandOfPoint[i] < 0) continue;
    const auto& s = sums[islandOfPoint[i]];
    for (int k = 0; k < 3; ++k) {
      m.points[i][k] += static_cast<float>(factor * (s[k] / s[3] - c[k]));
    }
  }
}

}  // namespace

Verb addVoronoi(CLI::App& app) {
  struct Options {
    std::string mesh, centres;
    std::optional<std::int64_t> count;
    std::uint32_t seed = 1;
    std::optional<float> thickness;
    float uvScale = 1.0f;
    double explode = 0.0;
    RunOptions run;
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("voronoi", "Break a closed mesh into Voronoi pieces.");
  cmd->footer(
      wrap("Runs TSL_Voronoi: one piece per Voronoi cell of the centres, every cell "
           "shrunk towards its centre so that neighbouring pieces are parted by a gap. "
           "Faces of the mesh keep their UVs and identifiers; the new inner faces get "
           "planar UVs. Example: tessellon voronoi bunny.off --count 50 --explode 0.5 "
           "-o pieces.obj --json",
           80));
  cmd->add_option("MESH", o->mesh, wrap("The closed mesh to break (.obj, .off, .ply, .stl)."))
      ->required();
  auto* centres = once(cmd->add_option("--centers", o->centres,
                                       wrap("File of cell centres: one 'x y z' a line (# starts "
                                            "a comment), or the points of a mesh file. One of "
                                            "--centers and --count is required."))
                           ->type_name("FILE"));
  auto* count =
      once(cmd->add_option("--count", o->count,
                           wrap("Scatter N centres uniformly inside the mesh instead; 1 to "
                                "10000000. Pieces made can be fewer than N: centres closer "
                                "than the jitter step merge, and a cell can miss the mesh."))
               ->type_name("N")
               ->check(CLI::Range(std::int64_t{1}, std::int64_t{10000000})));
  centres->excludes(count);
  count->excludes(centres);
  once(cmd->add_option("--seed", o->seed,
                       wrap("Seed of the scatter and of the node's jitter of the centres: the "
                            "same seed gives the same pieces. 0 to 4294967295. Default: 1."))
           ->type_name("S"));
  numberOnce(
      cmd->add_option("--thickness", o->thickness,
                      wrap("Knife thickness: the fraction by which each cell shrinks towards "
                           "its centre, so two pieces are parted by a gap of T times the "
                           "distance between their centres. 0.0001 to 0.9999 (the node clamps "
                           "its factor 1 - T to that range). Default: 0.001.")),
      "T", CLI::Range(0.0001f, 0.9999f));
  numberOnce(cmd->add_option("--uv-scale", o->uvScale,
                             wrap("Scale of the planar UVs of the new inner faces, in UV units per "
                                  "scene unit; at least 1 (the node's minimum). Default: 1.")),
             "S", CLI::Range(1.0f, 1.0e6f));
  numberOnce(
      cmd->add_option("--explode", o->explode,
                      wrap("Move every piece away from the mesh centre by F times its offset "
                           "from it, before the file is written and the bounds are taken; "
                           "0 or more. Default: 0 (pieces in place).")),
      "F", CLI::NonNegativeNumber);
  addRunOptions(*cmd, o->run);

  return {cmd, [o] {
            if (o->centres.empty() && !o->count) {
              throw UsageError("give one of --centers FILE and --count N");
            }
            RunOutputs outputs(o->run);
            NameTable names(o->run.innerName);
            const InputMesh input = readInput(o->mesh, names, o->run.missingUv == "box");
            const geom::MeshFile& file = input.file;
            const HostArrays mesh = toHostArrays(input);
            // The node jitters centres with rand(); seeding it here makes a whole run
            // reproducible.
            std::srand(o->seed);
            const std::vector<host::Vec3f> centres =
                o->count ? scatter(file, *o->count, o->seed) : readCentres(o->centres);

            host::Host h(locatePlugin("TSL_Voronoi"));
            namespace port = tsl::voronoi::port;
            connectMesh(h, mesh, port::kPoints, port::kDescription, port::kUvw, port::kFaceId);
            h.connectVector3Array(port::kCentres, centres);
            if (o->thickness) h.connectFloat(port::kThickness, *o->thickness);
            h.connectFloat(port::kUvScale, o->uvScale);
            NodeRun run(port::kOutput);
            if (o->explode != 0.0) run.adjust = [f = o->explode](TopoMesh& m) { explode(m, f); };
            run.extra["centres"] = centres.size();
            return runNode(h, run, o->run, outputs, names);
          }};
}

}  // namespace cli
