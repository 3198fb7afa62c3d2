// tessellon voronoi MESH (--centers FILE | --count N [--seed S]) [--thickness T]
//                   [--uv-scale S] [--explode F] [-o OUT] [--json]
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/args.h"
#include "cli/mesh_output.h"
#include "cli/node_run.h"
#include "cli/record.h"
#include "cli/verbs.h"
#include "geom/error.h"
#include "geom/mesh_sampling.h"

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
  std::ifstream in(path);
  if (!in) throw geom::Error(path + ": cannot open the file");
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream s(line);
    std::vector<float> row;
    float v;
    while (s >> v) row.push_back(v);
    if (!s.eof() || (!row.empty() && row.size() != 3)) {
      throw geom::Error(path + ": line " + std::to_string(n) + " is not 'x y z'");
    }
    if (!row.empty()) out.push_back({row[0], row[1], row[2]});
  }
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

int runVoronoi(const std::vector<std::string>& argv) {
  const Args args(
      "voronoi", argv,
      {{"--centers", "--count", "--seed", "--thickness", "--uv-scale", "--explode", "-o"},
       {"--json"}});
  args.expectPositionals(1, "MESH");
  const auto centresFile = args.value("--centers");
  const auto count = args.integer("--count");
  if (centresFile.has_value() == count.has_value()) {
    throw UsageError("tessellon voronoi: give exactly one of --centers and --count");
  }
  if (count && (*count < 1 || *count > 10000000)) {
    throw UsageError("tessellon voronoi: --count must be between 1 and 10000000");
  }
  const auto seed = args.integer("--seed").value_or(1);
  const auto explodeBy = args.number("--explode");
  const geom::MeshFile file = geom::readMeshFile(args.positionals()[0]);
  const HostArrays mesh = toHostArrays(file);
  // The node jitters centres with rand(); seeding it here makes a whole run reproducible.
  std::srand(static_cast<unsigned>(seed));
  const std::vector<host::Vec3f> centres =
      centresFile ? readCentres(*centresFile) : scatter(file, *count, static_cast<unsigned>(seed));

  host::Host h(locatePlugin("TSL_Voronoi"));
  h.connectVector3Array(0, mesh.points);
  h.connectLongArray(1, mesh.description);
  if (!mesh.uvw.empty()) h.connectVector3Array(2, mesh.uvw);
  if (!mesh.faceIds.empty()) h.connectLongArray(6, mesh.faceIds);
  h.connectVector3Array(3, centres);
  if (const auto t = args.number("--thickness")) h.connectFloat(4, static_cast<float>(*t));
  h.connectFloat(7, static_cast<float>(args.number("--uv-scale").value_or(1.0)));
  h.beginEvaluate();
  h.evaluate(200);
  std::function<void(TopoMesh&)> adjust;
  if (explodeBy) adjust = [f = *explodeBy](TopoMesh& m) { explode(m, f); };
  return report(h, 200, args, adjust);
}

}  // namespace cli
