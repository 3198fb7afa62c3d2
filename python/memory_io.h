// A verb's run over meshes and rows held in memory, keeping what the node came to instead of
// printing it: the Python module's side of cli::VerbIo.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/verb_io.h"
#include "python/py_mesh.h"

namespace tslpy {

// What one run came to.
struct Capture {
  bool reported = false;
  int status = 0;                         // the command's exit status
  cli::Evaluation evaluation;             // facts, log, the record's arrays
  cli::NameTable names{"inside"};         // the run's identifiers
  std::string pieceMode = "solids";       // --pieces
  nlohmann::ordered_json extra;           // the verb's summary fields
  std::optional<cli::ResultMesh> result;  // made at once for a fracture (its pieces' names)
  std::optional<nlohmann::ordered_json> manifest;

  // The result made ready for files and pieces (made now when it was not). Requires a record.
  const cli::ResultMesh& resultMesh();
  // The summary the command prints with --json.
  nlohmann::ordered_json summary();
};

class MemoryIo : public cli::VerbIo {
 public:
  // Plug-ins are looked up in pluginDir; cancelled is polled while a node runs; keepManifest
  // asks the fracture for its manifest without a file.
  MemoryIo(std::string pluginDir, std::function<bool()> cancelled, bool keepManifest);

  // Inputs the verb's line names by key (such as "<mesh>"); other names are files. The mesh
  // must outlive the run.
  void addMesh(const std::string& key, const Mesh& mesh);
  void addText(const std::string& key, std::string text);

  std::string plugin(const std::string& node) override;
  cli::InputMesh mesh(const std::string& path, cli::NameTable& names, bool projectUv) override;
  cli::HostArrays hostMesh(const std::string& path, cli::NameTable& names, bool projectUv) override;
  geom::MeshFile meshFile(const std::string& path) override;
  std::unique_ptr<std::istream> text(const std::string& path) override;
  bool keepsManifest() const override { return keepManifest_; }
  std::unique_ptr<cli::NodeSession> session(const cli::RunOptions& options) override;
  int report(cli::Evaluation& e, const cli::NodeRun& run, const cli::RunOptions& options,
             cli::RunOutputs& outputs, const cli::NameTable& names) override;

  Capture& capture() { return capture_; }

 private:
  std::string pluginDir_;
  std::function<bool()> cancelled_;
  bool keepManifest_;
  std::map<std::string, const Mesh*> meshes_;
  std::map<std::string, std::string> texts_;
  Capture capture_;
};

// Rows as the text of a number file, every value written so that it reads back the same.
std::string rowsText(const std::vector<std::vector<double>>& rows);

}  // namespace tslpy
