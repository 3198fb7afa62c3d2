// The files a run writes: the result (-o: OBJ with its .mtl, PLY or GLB) and its picture
// (--preview). All are checked and opened before the node runs.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "cli/name_table.h"
#include "cli/output_file.h"
#include "cli/result_mesh.h"

namespace cli {

class RunOutputs {
 public:
  // Checks the formats and folders of options.output (and of the .mtl beside an .obj) and of
  // options.preview. Throws OutputError naming the file and the problem.
  explicit RunOutputs(const RunOptions& options);

  bool wanted() const { return mesh_.wanted() || preview_.wanted(); }

  // Writes every file asked for: the .mtl before its .obj, so a reader never finds an .obj
  // whose materials are missing. Throws WriteError; files already renamed stay.
  void write(const ResultMesh& result, const NameTable& names);

  // The files written, once write has returned.
  std::optional<std::string> meshPath() const { return meshDone_; }
  std::optional<std::string> previewPath() const { return previewDone_; }

 private:
  const RunOptions& options_;
  OutputFile mesh_;
  std::unique_ptr<OutputFile> mtl_;
  OutputFile preview_;
  std::optional<std::string> meshDone_, previewDone_;
};

// The material library beside an .obj path: the same name with .mtl.
std::string mtlPathFor(const std::string& objPath);

}  // namespace cli
