// Running a real plug-in through the host face: finding it, feeding it mesh files, and
// reporting what it published (log lines on standard error, the JSON summary on standard
// output, the result file).
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/name_table.h"
#include "cli/run_outputs.h"
#include "host/host.h"

namespace cli {

// The path of a plug-in given by path (contains '/' or ends in .so) or by node name
// (TSL_Combiner), looked up beside this executable. Throws UsageError when not found.
std::string locatePlugin(const std::string& nameOrPath);

struct TopoMesh;

// One evaluation of a connected node and its report.
struct NodeRun {
  explicit NodeRun(std::uint32_t outputPort) : port(outputPort) {}
  std::uint32_t port;
  // Changes the copy that is written and summarized (the Voronoi verb's explode).
  std::function<void(TopoMesh&)> adjust;
  // The verb's own summary fields.
  nlohmann::ordered_json extra = nlohmann::ordered_json::object();
};

// Begin-evaluate and evaluate of run.port (timed), then: the log as "[severity] text" lines on
// standard error, the result and its picture written to outputs when the node published a
// record (identifiers named by names), the summary on standard output with --json. Returns
// the exit status (exit_status.h). Throws WriteError when a file cannot be written.
int runNode(host::Host& h, const NodeRun& run, const RunOptions& options, RunOutputs& outputs,
            const NameTable& names);

}  // namespace cli
