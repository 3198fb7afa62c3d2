// Running a real plug-in through the host face: finding it, feeding it mesh files, and
// reporting what it published (log lines on standard error, the JSON summary on standard
// output, the result file).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/name_table.h"
#include "cli/record.h"
#include "cli/result_mesh.h"
#include "cli/run_outputs.h"
#include "cli/summary.h"
#include "host/host.h"

namespace cli {

// The path of a plug-in given by path (contains '/' or ends in .so) or by node name
// (TSL_Combiner), looked up beside this executable. Throws UsageError when not found.
std::string locatePlugin(const std::string& nameOrPath);

// What one evaluation of a node came to.
struct Evaluation {
  RunFacts facts;  // outcome, reason, seconds, cancelled (output and preview not yet)
  bool hasRecord = false;
  TopoMesh mesh;                   // the record's arrays, copied; empty without one
  std::vector<host::LogLine> log;  // the lines of this evaluation (and of loading, the first time)
  std::vector<std::string> escaped;  // exceptions that escaped into the host
};

// The progress display and the Ctrl-C handler of one command, kept over all its evaluations.
class NodeSession {
 public:
  explicit NodeSession(const RunOptions& options);
  // The same display, with cancelled polled for the node's cancel requests instead of Ctrl-C
  // (no signal handler is installed: a Python interpreter keeps its own).
  NodeSession(const RunOptions& options, std::function<bool()> cancelled);
  ~NodeSession();
  NodeSession(const NodeSession&) = delete;
  NodeSession& operator=(const NodeSession&) = delete;

  // Begin-evaluate and evaluate of port (timed), with the display showing the node's stages
  // (each caption after captionPrefix) and Ctrl-C asking the node to stop. Takes the log lines
  // out of h, so each evaluation gets its own.
  Evaluation evaluate(host::Host& h, std::uint32_t port, const std::string& captionPrefix = "");
  // Ctrl-C was pressed.
  bool interrupted() const;
  // Clears the display's line; later output starts on a clean one.
  void finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// How a verb has its evaluation reported.
struct NodeRun {
  explicit NodeRun(std::uint32_t outputPort) : port(outputPort) {}
  std::uint32_t port;
  // Changes the copy that is written and summarized (the Voronoi verb's explode).
  std::function<void(TopoMesh&)> adjust;
  // Names, pivots and properties of the pieces written, once they are made (the fracture's).
  std::function<void(ResultMesh&)> pieces;
  // Called once the files are written, when there is a record (the fracture's manifest).
  std::function<void()> afterWrite;
  // The fracture's manifest, when one was asked for (made on demand: bonds cost time).
  std::function<nlohmann::ordered_json()> manifest;
  // The verb's own summary fields.
  nlohmann::ordered_json extra = nlohmann::ordered_json::object();
};

// What report does besides printing: run.adjust applied to e.mesh; when there is a record and
// outputs want it, keep is set or the summary will be printed (summarized), the result made
// (pieces by options.pieces, then run.pieces), written to outputs (e.facts get the paths); then
// run.afterWrite. Returns the result when one was made. Throws WriteError.
std::optional<ResultMesh> publish(Evaluation& e, const NodeRun& run, const RunOptions& options,
                                  RunOutputs& outputs, const NameTable& names, bool keep);

// The summary the command prints with --json for e, after publish gave result.
nlohmann::ordered_json summaryOf(const Evaluation& e, const NodeRun& run,
                                 const std::optional<ResultMesh>& result, const NameTable& names);

// The exit status for an evaluation's facts (exit_status.h).
int exitStatus(const RunFacts& facts);

// The log as "[severity] text" lines on standard error, the result and its picture written to
// outputs when there is a record (identifiers named by names), the summary on standard output
// with --json. Returns the exit status (exit_status.h). Throws WriteError when a file cannot be
// written.
int report(Evaluation& e, const NodeRun& run, const RunOptions& options, RunOutputs& outputs,
           const NameTable& names);

}  // namespace cli
