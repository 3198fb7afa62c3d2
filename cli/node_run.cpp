#include "cli/node_run.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <iostream>

#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/progress_display.h"
#include "cli/record.h"
#include "cli/summary.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

fs::path executableDir() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return fs::current_path();
  buf[n] = '\0';
  return fs::path(buf).parent_path();
}

// Connects the display and Ctrl-C to the host for one evaluation and disconnects them on every
// way out: the host outlives both.
class Hookup {
 public:
  Hookup(host::Host& h, ProgressDisplay& display, const CancelOnInterrupt& interrupt) : h_(h) {
    h_.onProgress([&display](const host::ProgressReport& r) { display.show(r); });
    h_.onCancelQuery([&interrupt] { return interrupt.requested(); });
  }
  ~Hookup() {
    h_.onProgress({});
    h_.onCancelQuery({});
  }
  Hookup(const Hookup&) = delete;
  Hookup& operator=(const Hookup&) = delete;

 private:
  host::Host& h_;
};

int exitStatus(const RunFacts& facts) {
  if (facts.cancelled) return kExitCancelled;
  switch (facts.outcome) {
    case Outcome::Result:
      return kExitResult;
    case Outcome::PassThrough:
      return kExitPassThrough;
    case Outcome::Empty:
    case Outcome::Unwritten:
      break;
  }
  return kExitNoRecord;
}

}  // namespace

std::string locatePlugin(const std::string& nameOrPath) {
  if (nameOrPath.find('/') != std::string::npos || fs::path(nameOrPath).extension() == ".so") {
    if (!fs::exists(nameOrPath)) throw UsageError(nameOrPath + ": no such plug-in file");
    return nameOrPath;
  }
  const fs::path dir = executableDir();
  for (const fs::path& candidate : {dir / ".." / "plugins", dir / "plugins"}) {
    const fs::path p = candidate / (nameOrPath + ".so");
    if (fs::exists(p)) return fs::canonical(p).string();
  }
  throw UsageError(nameOrPath + ": no plug-in of that name beside " + dir.string());
}

HostArrays toHostArrays(const geom::MeshFile& mesh) {
  HostArrays a;
  a.points.reserve(mesh.points.size());
  for (const auto& p : mesh.points) {
    a.points.push_back({static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)});
  }
  for (const auto& poly : mesh.polygons) {
    a.description.insert(a.description.end(), poly.begin(), poly.end());
    a.description.push_back(-2);
  }
  a.uvw.assign(mesh.uvw.begin(), mesh.uvw.end());
  a.faceIds.assign(mesh.faceIds.begin(), mesh.faceIds.end());
  return a;
}

int runNode(host::Host& h, const NodeRun& run, const RunOptions& options, OutputFile& output) {
  RunFacts facts;
  bool interrupted = false;
  {
    ProgressDisplay display(ProgressDisplay::styleFor(options.quiet), std::cerr);
    const CancelOnInterrupt interrupt;
    const Hookup hookup(h, display, interrupt);
    h.beginEvaluate();
    const auto start = std::chrono::steady_clock::now();
    h.evaluate(run.port);
    facts.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    interrupted = interrupt.requested();
  }

  for (const auto& line : h.log()) {
    std::cerr << '[' << severityName(line.severity) << "] " << line.text << '\n';
  }
  for (const auto& e : h.escapedExceptions())
    std::cerr << "[host] exception escaped: " << e << '\n';

  const host::CustomOutput& out = h.customOutput(run.port);
  facts.outcome = classify(out.state, h.log());
  facts.reason = reasonFor(facts.outcome, h.log());
  // A node that finished before it looked at the request has a result worth keeping.
  facts.cancelled =
      interrupted && (facts.outcome == Outcome::Empty || facts.outcome == Outcome::Unwritten);
  TopoMesh mesh;
  if (out.state == host::OutputState::Data) {
    mesh = readRecord(out.bytes);
    if (run.adjust) run.adjust(mesh);
    if (output.wanted()) {
      output.commit(mesh);
      facts.output = output.path();
    }
  }
  if (options.json) {
    std::cout << summarize(facts, mesh, h.log(), run.extra)
                     .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
  }
  return exitStatus(facts);
}

}  // namespace cli
