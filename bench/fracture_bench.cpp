// The fracture job of the command against its plain runs, on libcgal-demo's bunny, each row a
// ratio against its baseline measured in the same run (the two alternate, five times, and
// each column is the median):
//   impact:   200 centres about an impact on the surface   / 200 uniform centres
//   levels:   two levels, 50 then 20 in the largest quarter / one level of 1,000 centres
//   manifest: 1,000 pieces with their bonds and manifest    / the same 1,000 pieces without
// Every run drives the real Voronoi plug-in through the host face, as the command does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/fracture.h"
#include "cli/manifest.h"
#include "geom/mesh_files.h"

namespace {

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Bunny {
  geom::MeshFile file;
  cli::HostArrays arrays;
};

Bunny load() {
  Bunny b;
  cli::InputMesh in;
  in.file = geom::readMeshFile(std::string(TSL_TEST_MESH_DIR) + "/data/meshes/bunny00.off");
  in.ids.assign(in.file.polygons.size(), 0);
  b.file = in.file;
  b.arrays = cli::toHostArrays(in);
  return b;
}

double timed(host::Host& h, const Bunny& b, const cli::FractureOptions& o, bool manifest,
             std::size_t* pieces) {
  cli::RunOptions quiet;
  quiet.quiet = true;
  cli::NodeSession session(quiet);
  const auto t0 = std::chrono::steady_clock::now();
  const cli::Fracture fr = cli::fracture(h, session, b.file, b.arrays, o);
  if (manifest) {
    const std::string text = cli::manifestJson(fr, "bunny00.off", o.seed, 0.001, o.levels).dump(1);
    if (text.empty()) std::puts("empty manifest");
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (pieces) *pieces = fr.leaves.size();
  return s;
}

void row(host::Host& h, const Bunny& b, const char* name, const cli::FractureOptions& ours,
         bool oursManifest, const cli::FractureOptions& base, bool baseManifest) {
  std::vector<double> a, c;
  std::size_t pa = 0, pc = 0;
  for (int i = 0; i < 5; ++i) {
    a.push_back(timed(h, b, ours, oursManifest, &pa));
    c.push_back(timed(h, b, base, baseManifest, &pc));
  }
  std::printf("%-9s %8.3f s (%5zu pieces)  baseline %8.3f s (%5zu pieces)  ratio %.2f\n", name,
              median(a), pa, median(c), pc, median(a) / median(c));
}

}  // namespace

int main() {
  const Bunny b = load();
  host::Host h(std::string(TSL_PLUGIN_DIR) + "/TSL_Voronoi.so");

  cli::FractureOptions uniform;
  uniform.centres.count = 200;
  cli::FractureOptions impact;
  // A vertex of the bunny's flank: the impact sits on the surface, as a user would put it.
  impact.centres.impacts = {{b.file.points[999], std::nullopt}};
  impact.centres.impactCount = 200;
  row(h, b, "impact", impact, false, uniform, false);

  cli::FractureOptions levels;
  levels.centres.count = 50;
  levels.levels = 2;
  levels.levelCount = 20;
  cli::FractureOptions thousand;
  thousand.centres.count = 1000;
  row(h, b, "levels", levels, false, thousand, false);

  cli::FractureOptions withBonds = thousand;
  withBonds.bonds = true;
  row(h, b, "manifest", withBonds, true, thousand, false);

  // The manifest's own work on one fracture, without the node's noise around it: the bonds
  // found again on the leaves, and the JSON written.
  cli::RunOptions quiet;
  quiet.quiet = true;
  cli::NodeSession session(quiet);
  cli::Fracture fr = cli::fracture(h, session, b.file, b.arrays, thousand);
  std::vector<double> bonds, text;
  for (int i = 0; i < 5; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    fr.bonds = cli::bondsBetween(fr.pieces, fr.leaves, 0.001 * 1.25 * 1.2);
    auto t1 = std::chrono::steady_clock::now();
    const std::string j = cli::manifestJson(fr, "bunny00.off", 1, 0.001, 1).dump(1);
    auto t2 = std::chrono::steady_clock::now();
    bonds.push_back(std::chrono::duration<double>(t1 - t0).count());
    text.push_back(std::chrono::duration<double>(t2 - t1).count());
  }
  std::printf("manifest  of which: bonds %.3f s (%zu), JSON %.3f s\n", median(bonds),
              fr.bonds.size(), median(text));
  return 0;
}
