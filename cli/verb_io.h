// Where a verb's run takes its inputs and sends what its node came to. The command reads files
// and prints the log and the summary; the Python module hands meshes and rows over in memory and
// keeps what the node published. Either way the verb parses, checks and runs the same.
#pragma once

#include <functional>
#include <istream>
#include <memory>
#include <string>

#include "cli/command_line.h"
#include "cli/input_mesh.h"
#include "cli/name_table.h"
#include "cli/node_run.h"
#include "cli/run_outputs.h"
#include "geom/mesh_files.h"
#include "host/host.h"

namespace cli {

class VerbIo {
 public:
  virtual ~VerbIo() = default;

  // The plug-in file of a node (TSL_Voronoi). Throws UsageError when there is none.
  virtual std::string plugin(const std::string& node);

  // The input mesh at path: readInput. Throws geom::Error.
  virtual InputMesh mesh(const std::string& path, NameTable& names, bool projectUv);

  // The same mesh as the node's arrays, equal to toHostArrays(mesh(path, names, projectUv)); an
  // implementation may make them without the MeshFile. Throws geom::Error.
  virtual HostArrays hostMesh(const std::string& path, NameTable& names, bool projectUv);

  // A mesh file as it is (a knife, the points of a centres file). Throws geom::Error.
  virtual geom::MeshFile meshFile(const std::string& path);

  // A text file of number rows, open for reading. Throws geom::Error "PATH: cannot open the
  // file".
  virtual std::unique_ptr<std::istream> text(const std::string& path);

  // Whether the fracture's manifest is wanted although no file is named for it.
  virtual bool keepsManifest() const { return false; }

  // The display and cancelling for the evaluations of one run: the command's progress on
  // standard error and Ctrl-C.
  virtual std::unique_ptr<NodeSession> session(const RunOptions& options);

  // What the node came to: report (log on standard error, the files, the summary with --json).
  // manifest, when set, makes the fracture's manifest. Returns the exit status.
  virtual int report(Evaluation& e, const NodeRun& run, const RunOptions& options,
                     RunOutputs& outputs, const NameTable& names);
};

// One evaluation of run.port in a session of io, and io's report of it.
int runNode(VerbIo& io, host::Host& h, const NodeRun& run, const RunOptions& options,
            RunOutputs& outputs, const NameTable& names);

}  // namespace cli
