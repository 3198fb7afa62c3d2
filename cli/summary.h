// What a run came to, and the JSON summary that says so (nlohmann-json, keys in a fixed order).
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/record.h"
#include "host/records.h"

namespace cli {

enum class Outcome {
  Result,       // a record of the node's own result
  PassThrough,  // the Boolean node refused its operands and published mesh A as given
  Empty,        // the node gave up and published the empty output
  Unwritten,    // the node left its output unwritten
};

// The summary's name for an outcome: "result", "pass-through", "empty", "unwritten".
const char* outcomeName(Outcome outcome);

// The outcome of an evaluation from the output's state and the log of the run. Only the
// Boolean node passes A through, and it always says so with its warning.
Outcome classify(host::OutputState state, const std::vector<host::LogLine>& log);

// Why there is no result: for a pass-through the engine's reason (the verbose line after the
// warning, else the warning), for the empty or unwritten output the last error or warning
// line; nothing for a result or when the node gave no line.
std::optional<std::string> reasonFor(Outcome outcome, const std::vector<host::LogLine>& log);

// "error", "warning", "info", "verbose" for the host's severity codes, else "unknown".
const char* severityName(std::uint32_t severity);

struct RunFacts {
  Outcome outcome = Outcome::Empty;
  std::optional<std::string> reason;
  double seconds = 0.0;                // wall time of the node's evaluation
  std::optional<std::string> output;   // the result file written, when one was
  std::optional<std::string> preview;  // the picture written, when one was
  bool cancelled = false;
};

// The summary: outcome, reason, cancelled, seconds, output, preview, points, faces, islands,
// uvw, faceInfo, bounds ({"min", "centre", "max"} of the points written, null without points), the
// verb's own fields (extra, an object), log (severity and text per line).
nlohmann::ordered_json summarize(const RunFacts& facts, const TopoMesh& written,
                                 const std::vector<host::LogLine>& log,
                                 const nlohmann::ordered_json& extra);

// A float as the shortest decimal that reads back as the same float (null when not finite).
nlohmann::ordered_json jsonFloat(float value);

}  // namespace cli
