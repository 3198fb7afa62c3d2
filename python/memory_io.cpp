#include "python/memory_io.h"

#include <charconv>
#include <filesystem>
#include <sstream>

#include "cli/command_line.h"

namespace tslpy {

const cli::ResultMesh& Capture::resultMesh() {
  if (!result) {
    result = cli::makeResult(
        evaluation.mesh, pieceMode == "islands" ? cli::PieceMode::Islands : cli::PieceMode::Solids);
  }
  return *result;
}

nlohmann::ordered_json Capture::summary() {
  cli::NodeRun run(0);
  run.extra = extra;
  if (evaluation.hasRecord) resultMesh();
  return cli::summaryOf(evaluation, run, result, names);
}

MemoryIo::MemoryIo(std::string pluginDir, std::function<bool()> cancelled, bool keepManifest)
    : pluginDir_(std::move(pluginDir)),
      cancelled_(std::move(cancelled)),
      keepManifest_(keepManifest) {}

void MemoryIo::addMesh(const std::string& key, const Mesh& mesh) {
  meshes_[key] = &mesh;
}

void MemoryIo::addText(const std::string& key, std::string text) {
  texts_[key] = std::move(text);
}

std::string MemoryIo::plugin(const std::string& node) {
  if (node.find('/') != std::string::npos) return cli::locatePlugin(node);
  const std::filesystem::path p = std::filesystem::path(pluginDir_) / (node + ".so");
  if (!std::filesystem::exists(p))
    throw cli::UsageError(node + ": no plug-in of that name in " + pluginDir_);
  return p.string();
}

cli::InputMesh MemoryIo::mesh(const std::string& path, cli::NameTable& names, bool projectUv) {
  const auto it = meshes_.find(path);
  if (it == meshes_.end()) return VerbIo::mesh(path, names, projectUv);
  return toInputMesh(*it->second, names, projectUv);
}

cli::HostArrays MemoryIo::hostMesh(const std::string& path, cli::NameTable& names, bool projectUv) {
  const auto it = meshes_.find(path);
  if (it == meshes_.end()) return VerbIo::hostMesh(path, names, projectUv);
  return toHostArrays(*it->second, names, projectUv);
}

geom::MeshFile MemoryIo::meshFile(const std::string& path) {
  const auto it = meshes_.find(path);
  if (it == meshes_.end()) return VerbIo::meshFile(path);
  return toMeshFile(*it->second);
}

std::unique_ptr<std::istream> MemoryIo::text(const std::string& path) {
  const auto it = texts_.find(path);
  if (it == texts_.end()) return VerbIo::text(path);
  return std::make_unique<std::istringstream>(it->second);
}

std::unique_ptr<cli::NodeSession> MemoryIo::session(const cli::RunOptions& options) {
  return std::make_unique<cli::NodeSession>(options, cancelled_);
}

int MemoryIo::report(cli::Evaluation& e, const cli::NodeRun& run, const cli::RunOptions& options,
                     cli::RunOutputs& outputs, const cli::NameTable& names) {
  // The fracture's pieces hook refers to the verb's own state: use it while it lives. Any
  // other result is made only when asked for (a large Boolean's pieces take time).
  capture_.result = cli::publish(e, run, options, outputs, names, bool(run.pieces));
  if (e.hasRecord && run.manifest) capture_.manifest = run.manifest();
  capture_.status = cli::exitStatus(e.facts);
  capture_.names = names;
  capture_.pieceMode = options.pieces;
  capture_.extra = run.extra;
  capture_.evaluation = std::move(e);
  capture_.reported = true;
  return capture_.status;
}

std::string rowsText(const std::vector<std::vector<double>>& rows) {
  std::string out;
  char buf[32];
  for (const auto& row : rows) {
    for (std::size_t k = 0; k < row.size(); ++k) {
      const auto r = std::to_chars(buf, buf + sizeof buf, row[k]);
      if (k) out += ' ';
      out.append(buf, r.ptr);
    }
    out += '\n';
  }
  return out;
}

}  // namespace tslpy
