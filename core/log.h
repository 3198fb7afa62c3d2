// Log sink of the node logic: plain functions emit lines through it, the host binding forwards
// them to the host's log and tests collect them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tsl {

// Host severity codes.
enum class Severity : int { Error = 2, Warning = 4, Info = 8, Verbose = 16 };

struct LogLine {
  Severity severity;
  std::string text;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

using Logger = std::function<void(Severity, const std::string&)>;

// A logger that appends to lines (which must outlive it).
inline Logger collectInto(std::vector<LogLine>& lines) {
  return [&lines](Severity s, const std::string& text) { lines.push_back({s, text}); };
}

// A logger that writes every line to the host's log.
Logger hostLogger();

}  // namespace tsl
