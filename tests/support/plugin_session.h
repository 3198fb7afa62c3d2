// End-to-end helpers: the real plug-ins driven through host::Host, and the published record
// read back through its five references as a consumer node would.
#pragma once

#include <algorithm>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "core/topo_store.h"
#include "host/host.h"
#include "support/mesh_builders.h"

namespace host {
// Readable failure messages for log comparisons.
inline void PrintTo(const LogLine& line, std::ostream* os) {
  *os << '[' << line.severity << "] " << line.text;
}
}  // namespace host

namespace tsl::test {

// The vocabulary of the end-to-end tests, for files that use this namespace.
using ::host::LogLine;
using ::host::OutputState;
using ::tsl::FaceInfo;
using ::tsl::Float3;

inline std::string pluginPath(const std::string& node) {
  return std::string(TSL_PLUGIN_DIR) + "/" + node + ".so";
}

inline std::vector<host::Vec3f> toVec3f(const std::vector<Float3>& v) {
  std::vector<host::Vec3f> out;
  out.reserve(v.size());
  for (const Float3& p : v) out.push_back({p.x, p.y, p.z});
  return out;
}

inline void connectMesh(host::Host& h, std::uint32_t pointsPort, std::uint32_t descriptionPort,
                        const HostMesh& m) {
  h.connectVector3Array(pointsPort, toVec3f(m.points));
  h.connectLongArray(descriptionPort, m.description);
}

// A copy of what a record refers to, taken while the plug-in is loaded.
struct RecordCopy {
  std::vector<Float3> points;
  std::vector<std::int32_t> polygons;
  std::vector<Float3> uvw;
  std::vector<FaceInfo> faceInfo;
  std::vector<Float3> bounds;
};

// The record's references as published. Requires a 40-byte output.
inline VastaTopoRecord recordRefs(const host::CustomOutput& out) {
  VastaTopoRecord r{};
  EXPECT_EQ(out.state, host::OutputState::Data);
  EXPECT_EQ(out.bytes.size(), sizeof r);
  if (out.bytes.size() == sizeof r) std::memcpy(&r, out.bytes.data(), sizeof r);
  return r;
}

inline RecordCopy readRecord(const host::CustomOutput& out) {
  const VastaTopoRecord r = recordRefs(out);
  if (r.points == nullptr) return {};
  return {*r.points, *r.polygons, *r.uvw, *r.faceInfo, *r.bounds};
}

// Checks what must hold after every callback: nothing escaped, nothing left acquired, no
// failed assertion.
inline void expectCleanCalls(const host::Host& h) {
  EXPECT_TRUE(h.escapedExceptions().empty());
  EXPECT_EQ(h.unreleasedArraysTotal(), 0u);
  EXPECT_TRUE(h.failedAsserts().empty());
  EXPECT_TRUE(h.sdkErrors().empty()) << (h.sdkErrors().empty() ? "" : h.sdkErrors().front());
}

// One real plug-in loaded through the host face for a test, evaluated as the host evaluates
// it: the fixture of every end-to-end test of a node.
class PluginSession : public ::testing::Test {
 protected:
  // Loads <node>.so; evaluate() pulls output. With init, every evaluation starts with the
  // node's init callback, as a host does for a new node instance.
  PluginSession(const std::string& node, std::uint32_t output, bool init = false)
      : h(pluginPath(node)), out(output), init_(init) {}

  // A fresh log, then (init,) begin-evaluate and evaluate; every call must be clean.
  void evaluate() {
    h.clearLog();
    if (init_) h.init();
    h.beginEvaluate();
    h.evaluate(out);
    expectCleanCalls(h);
  }
  // What the latest evaluation published. Requires a record.
  RecordCopy record() const { return readRecord(h.customOutput(out)); }
  OutputState state() const { return h.customOutput(out).state; }

  // The log without the information lines (the counts).
  std::vector<LogLine> nonInfo() const {
    std::vector<LogLine> lines;
    for (const LogLine& l : h.log()) {
      if (l.severity != 8) lines.push_back(l);
    }
    return lines;
  }
  // The three count lines of a published mesh.
  static std::vector<LogLine> countLines(int points, int faces, int islands) {
    return {{8, "Total num of points:" + std::to_string(points)},
            {8, "Total num of faces:" + std::to_string(faces)},
            {8, "Total num of PolyIslands:" + std::to_string(islands)}};
  }

  host::Host h;
  const std::uint32_t out;
  // The mesh (A) most evaluations start from: a cube of side 2 about the origin.
  HostMesh a = cube();

 private:
  bool init_;
};

// A stage of a plug-in's progress bar as the host saw it: its caption, the maximum it started
// with and the highest value it reached.
struct ProgressStage {
  std::string caption;
  std::int32_t maximum = 0;
  std::int32_t reached = 0;
  friend bool operator==(const ProgressStage&, const ProgressStage&) = default;
};

// The stages of a run, in order. Between stages the bar has no caption (value and maximum are
// set then), so those reports count for nobody.
inline std::vector<ProgressStage> progressStages(const std::vector<host::ProgressReport>& reports) {
  std::vector<ProgressStage> stages;
  for (const auto& r : reports) {
    if (r.caption.empty()) continue;
    if (stages.empty() || stages.back().caption != r.caption) {
      stages.push_back({r.caption, r.maximum, r.value});
    } else {
      stages.back().reached = std::max(stages.back().reached, r.value);
    }
  }
  return stages;
}

}  // namespace tsl::test
