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

int runNode(host::Host& h, const NodeRun& run, const RunOptions& options, RunOutputs& outputs,
            const NameTable& names) {
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
  std::size_t pieces = 0;
  if (out.state == host::OutputState::Data) {
    mesh = readRecord(out.bytes);
    if (run.adjust) run.adjust(mesh);
    if (outputs.wanted() || options.json) {
      const ResultMesh result =
          makeResult(mesh, options.pieces == "islands" ? PieceMode::Islands : PieceMode::Solids);
      pieces = result.pieces.count;
      outputs.write(result, names);
      facts.output = outputs.meshPath();
      facts.preview = outputs.previewPath();
    }
  }
  if (options.json) {
    nlohmann::ordered_json extra = run.extra;
    extra["pieces"] = pieces;
    extra["identifiers"] = names.toJson();
    std::cout << summarize(facts, mesh, h.log(), extra)
                     .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
  }
  return exitStatus(facts);
}

}  // namespace cli
