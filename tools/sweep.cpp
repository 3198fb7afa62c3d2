// The real-mesh sweep over a directory of mesh files: every closed, outward mesh combined
// with its turned and moved copy by union, intersection and A minus B, each result checked
// in float with CGAL's own tests and cut again. Prints one line per mesh and a summary.
//
// With --open, the meshes that are not closed outward solids instead: each result must exist
// (no pass-through) and be accepted again; islands may be open.
//
//   tessellon_sweep DIR [--max-faces N] [--triangulate] [--only NAME] [--open]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/real_sweep.h"

namespace {
void writeOff(const std::string& path, const tsl::test::HostMesh& m) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return;
  const auto faces = tsl::test::facesOf(m.description);
  std::fprintf(f, "OFF\n%zu %zu 0\n", m.points.size(), faces.size());
  for (const auto& p : m.points) std::fprintf(f, "%.9g %.9g %.9g\n", p.x, p.y, p.z);
  for (const auto& face : faces) {
    std::fprintf(f, "%zu", face.size());
    for (int v : face) std::fprintf(f, " %d", v);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
}
}  // namespace

int main(int argc, char** argv) {
  using namespace tsl::test;
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [--max-faces N] [--triangulate] [--only NAME] [--open]\n",
                 argv[0]);
    return 64;
  }
  std::size_t maxFaces = SIZE_MAX;
  bool triangulate = false;
  bool open = false;
  std::string only;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--max-faces" && i + 1 < argc) {
      maxFaces = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--triangulate") {
      triangulate = true;
    } else if (arg == "--open") {
      open = true;
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 64;
    }
  }
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (!std::filesystem::is_directory(argv[1], ec)) {
    std::fprintf(stderr, "%s: not a directory\n", argv[1]);
    return 66;
  }
  for (const auto& e : std::filesystem::directory_iterator(argv[1], ec)) {
    const std::string ext = e.path().extension().string();
    if (ext == ".off" || ext == ".obj" || ext == ".ply" || ext == ".stl") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  const double move[3] = {0.3, 0.2, 0.1}, knifeMove[3] = {-0.2, 0.25, -0.15};
  const char* opNames[3] = {"union", "intersection", "a-minus-b"};
  int meshes = 0, steps = 0, good = 0, results = 0;
  for (const auto& path : files) {
    if (!only.empty() && path.filename().string() != only) continue;
    HostMesh a;
    try {
      a = hostMeshFromFile(path.string());
    } catch (const std::exception& e) {
      std::printf("%-32s unreadable: %s\n", path.filename().c_str(), e.what());
      continue;
    }
    const std::size_t nf = a.faceCount();
    if (nf > maxFaces) continue;
    if (open == isClosedOutwardSolid(a)) {
      std::printf(open ? "%-32s %7zu faces: a closed outward mesh, skipped\n"
                       : "%-32s %7zu faces: not a closed outward mesh, skipped\n",
                  path.filename().c_str(), nf);
      continue;
    }
    ++meshes;
    const HostMesh b = placedCopy(a, 0.5, move);
    const HostMesh knife = placedCopy(a, -0.3, knifeMove);
    std::printf("%-32s %7zu faces:", path.filename().c_str(), nf);
    if (const geom::SolidVerdict v = verdictOf(a); !v.valid()) {
      std::printf(" (input %s%s)", v.problem.c_str(),
                  v.polygonMesh && v.selfIntersects ? ", self-intersecting" : "");
    }
    if (const char* dir = std::getenv("TSL_SWEEP_DUMP")) {
      for (int op = 0; op < 3; ++op) {
        const BooleanRun r = runBoolean(a, b, op, triangulate);
        writeOff(std::string(dir) + "/" + path.stem().string() + "_" + opNames[op] + ".off",
                 r.result);
      }
      writeOff(std::string(dir) + "/" + path.stem().string() + "_b.off", b);
    }
    std::fflush(stdout);
    std::string problems;
    const auto t0 = std::chrono::steady_clock::now();
    for (int op = 0; op < 3; ++op) {
      const int function = op;  // 0 union, 1 intersection, 2 A - B
      const SweepStep s = sweepStep(a, b, function, triangulate, knife);
      ++steps;
      if (open && s.run.outcome == tsl::Outcome::Published && !s.attempted()) {
        ++results;
        std::printf(" %s result", opNames[op]);
        problems += std::string("\n    ") + opNames[op] + ": " + s.problem();
      } else if (open ? s.attempted() : s.good()) {
        ++good;
        std::printf(" %s ok", opNames[op]);
      } else {
        std::printf(" %s FAIL", opNames[op]);
        problems += std::string("\n    ") + opNames[op] + ": " + s.problem();
      }
      std::fflush(stdout);
    }
    const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("  (%.2f s)%s\n", sec, problems.c_str());
    std::fflush(stdout);
  }
  std::printf("\n%d meshes, %d of %d steps good", meshes, good, steps);
  if (open) std::printf(", %d more with a result not taken again", results);
  std::printf("\n");
  return good + results == steps ? 0 : 1;
}
