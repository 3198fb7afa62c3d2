#include "cli/summary.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <set>

#include "cli/pieces.h"

namespace cli {

const char* outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Result:
      return "result";
    case Outcome::PassThrough:
      return "pass-through";
    case Outcome::Empty:
      return "empty";
    case Outcome::Unwritten:
      break;
  }
  return "unwritten";
}

namespace {

constexpr std::uint32_t kError = 2, kWarning = 4, kVerbose = 16;

// The Boolean node's fixed pass-through warning.
bool isPassThroughWarning(const host::LogLine& line) {
  return line.severity == kWarning &&
         line.text.find("A input data is passed to out") != std::string::npos;
}

}  // namespace

Outcome classify(host::OutputState state, const std::vector<host::LogLine>& log) {
  switch (state) {
    case host::OutputState::Data:
      for (const auto& line : log) {
        if (isPassThroughWarning(line)) return Outcome::PassThrough;
      }
      return Outcome::Result;
    case host::OutputState::Empty:
      return Outcome::Empty;
    case host::OutputState::Unwritten:
      break;
  }
  return Outcome::Unwritten;
}

std::optional<std::string> reasonFor(Outcome outcome, const std::vector<host::LogLine>& log) {
  if (outcome == Outcome::Result) return std::nullopt;
  if (outcome == Outcome::PassThrough) {
    for (std::size_t i = 0; i < log.size(); ++i) {
      if (!isPassThroughWarning(log[i])) continue;
      if (i + 1 < log.size() && log[i + 1].severity == kVerbose) return log[i + 1].text;
      return log[i].text;
    }
    return std::nullopt;
  }
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    if (it->severity == kError || it->severity == kWarning) return it->text;
  }
  return std::nullopt;
}

const char* severityName(std::uint32_t severity) {
  switch (severity) {
    case 2:
      return "error";
    case 4:
      return "warning";
    case 8:
      return "info";
    case 16:
      return "verbose";
  }
  return "unknown";
}

nlohmann::ordered_json jsonFloat(float value) {
  if (!std::isfinite(value)) return nullptr;
  // The shortest float text, read back as a double, prints as that text again.
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  *end = '\0';
  return std::strtod(buf, nullptr);
}

nlohmann::ordered_json summarize(const RunFacts& facts, const TopoMesh& written,
                                 const std::vector<host::LogLine>& log,
                                 const nlohmann::ordered_json& extra) {
  nlohmann::ordered_json j;
  j["outcome"] = outcomeName(facts.outcome);
  j["reason"] = facts.reason ? nlohmann::ordered_json(*facts.reason) : nullptr;
  j["cancelled"] = facts.cancelled;
  j["seconds"] = std::round(facts.seconds * 1000.0) / 1000.0;
  j["output"] = facts.output ? nlohmann::ordered_json(*facts.output) : nullptr;
  j["preview"] = facts.preview ? nlohmann::ordered_json(*facts.preview) : nullptr;
  j["points"] = written.points.size();
  j["faces"] = written.faceCount();
  std::set<int> islands;
  if (written.faceCount() > 0) {
    for (int i : faceIslands(written)) islands.insert(i);
  }
  j["islands"] = islands.size();
  j["uvw"] = written.uvw.size();
  j["faceInfo"] = written.faceInfo.size();
  if (written.points.empty()) {
    j["bounds"] = nullptr;
  } else {
    std::array<float, 3> lo = written.points.front(), hi = lo;
    for (const auto& p : written.points) {
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
      }
    }
    auto triple = [](float x, float y, float z) {
      return nlohmann::ordered_json::array({jsonFloat(x), jsonFloat(y), jsonFloat(z)});
    };
    auto mid = [&](int k) { return static_cast<float>((double{lo[k]} + double{hi[k]}) / 2.0); };
    j["bounds"] = {{"min", triple(lo[0], lo[1], lo[2])},
                   {"centre", triple(mid(0), mid(1), mid(2))},
                   {"max", triple(hi[0], hi[1], hi[2])}};
  }
  for (const auto& [key, value] : extra.items()) j[key] = value;
  j["log"] = nlohmann::ordered_json::array();
  for (const auto& line : log) {
    j["log"].push_back({{"severity", severityName(line.severity)}, {"text", line.text}});
  }
  return j;
}

}  // namespace cli
