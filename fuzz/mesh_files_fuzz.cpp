// The command's files under the fuzzer: the first byte picks a format (.obj, .ply, .off, .stl),
// the rest is the file. What reads is checked and then written back in every format the command
// writes, and drawn, so the writers meet whatever a reader lets through. A reader may only refuse
// with geom::Error; anything else (a crash, a hang, a leak, another exception, a broken
// invariant) is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/gltf_output.h"
#include "cli/input_mesh.h"
#include "cli/name_table.h"
#include "cli/png_file.h"
#include "cli/preview.h"
#include "cli/result_mesh.h"
#include "cli/text_output.h"
#include "geom/error.h"

namespace {

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

void check(const cli::InputMesh& in) {
  const geom::MeshFile& m = in.file;
  std::size_t corners = 0;
  for (const auto& poly : m.polygons) {
    corners += poly.size();
    for (int v : poly) {
      if (v < 0 || static_cast<std::size_t>(v) >= m.points.size()) broken("index out of range");
    }
  }
  if (!m.uvw.empty() && m.uvw.size() != corners) broken("uvw is not one per corner");
  if (!m.faceNames.empty() && m.faceNames.size() != m.polygons.size())
    broken("faceNames is not one per face");
  for (int n : m.faceNames) {
    if (n != -1 && n != geom::MeshFile::kCutFace &&
        (n < 0 || static_cast<std::size_t>(n) >= m.names.size()))
      broken("faceNames refers past names");
  }
  if (!m.islands.empty() && m.islands.size() != m.polygons.size())
    broken("islands is not one per face");
  if (in.ids.size() != m.polygons.size()) broken("ids is not one per face");
}

// The file as the record a node would publish for it: the writers' input. (Faces without
// corners carry no UVW, so the UVW still lines up when they are left out.)
cli::TopoMesh asRecord(const cli::InputMesh& in) {
  cli::TopoMesh t;
  for (const auto& p : in.file.points) {
    t.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  }
  for (std::size_t f = 0; f < in.file.polygons.size(); ++f) {
    // No node publishes a face without corners (the Combiner refuses two separators in a row).
    if (in.file.polygons[f].empty()) continue;
    t.polygons.insert(t.polygons.end(), in.file.polygons[f].begin(), in.file.polygons[f].end());
    t.polygons.push_back(-2);
    t.faceInfo.push_back({0, in.ids[f]});
  }
  if (t.polygons.size() - t.faceInfo.size() == in.file.uvw.size()) t.uvw = in.file.uvw;
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {".obj", ".ply", ".off", ".stl"};
  const std::string path =
      "/tmp/tsl-fuzz-files-" + std::to_string(getpid()) + kExtensions[data[0] % 4];
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  cli::NameTable names("inside");
  cli::InputMesh in;
  try {
    in = cli::readInput(path, names, /*projectUv=*/(data[0] & 4) != 0);
  } catch (const geom::Error&) {
    std::remove(path.c_str());
    return 0;
  }
  std::remove(path.c_str());
  check(in);
  const cli::ResultMesh r = cli::makeResult(
      asRecord(in), (data[0] & 8) != 0 ? cli::PieceMode::Islands : cli::PieceMode::Solids);
  std::ostringstream out;
  cli::writeObj(r, names, "fuzz.mtl", out);
  cli::writeMtl(r, names, out);
  cli::writePly(r, names, out);
  cli::writeGlb(r, names, (data[0] & 16) != 0 ? 0.0 : 30.0, cli::pieceCentroids(r), out);
  cli::PreviewOptions po;
  po.width = 24;
  po.height = 16;
  cli::writePng(cli::renderPreview(r, po), out);
  return 0;
}
