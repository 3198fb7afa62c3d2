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
  Hookup(host::Host& h, ProgressDisplay& display, std::function<bool()> interrupted,
         const std::string& prefix)
      : h_(h) {
    h_.onProgress([&display, prefix](const host::ProgressReport& r) {
      if (prefix.empty() || r.caption.empty()) {
        display.show(r);
      } else {
        host::ProgressReport p = r;
        p.caption = prefix + r.caption;
        display.show(p);
      }
    });
    h_.onCancelQuery(std::move(interrupted));
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

}  // namespace

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

struct NodeSession::Impl {
  Impl(const RunOptions& o, std::function<bool()> query)
      : display(ProgressDisplay::styleFor(o.quiet), std::cerr), cancelled(std::move(query)) {
    if (!cancelled) interrupt.emplace();
  }
  ProgressDisplay display;
  std::optional<CancelOnInterrupt> interrupt;
  std::function<bool()> cancelled;
  bool asked = false;  // the query said yes once: the node stops, later polls agree
};

NodeSession::NodeSession(const RunOptions& options)
    : impl_(std::make_unique<Impl>(options, nullptr)) {}
NodeSession::NodeSession(const RunOptions& options, std::function<bool()> cancelled)
    : impl_(std::make_unique<Impl>(options, std::move(cancelled))) {}
NodeSession::~NodeSession() = default;

bool NodeSession::interrupted() const {
  if (impl_->interrupt) return impl_->interrupt->requested();
  if (!impl_->asked && impl_->cancelled()) impl_->asked = true;
  return impl_->asked;
}

void NodeSession::finish() {
  impl_->display.finish();
}

Evaluation NodeSession::evaluate(host::Host& h, std::uint32_t port, const std::string& prefix) {
  Evaluation e;
  {
    const Hookup hookup(
        h, impl_->display, [this] { return interrupted(); }, prefix);
    h.beginEvaluate();
    const auto start = std::chrono::steady_clock::now();
    h.evaluate(port);
    e.facts.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  e.log = h.log();
  h.clearLog();
  e.escaped = h.escapedExceptions();
  const host::CustomOutput& out = h.customOutput(port);
  e.facts.outcome = classify(out.state, e.log);
  e.facts.reason = reasonFor(e.facts.outcome, e.log);
  // A node that finished before it looked at the request has a result worth keeping.
  e.facts.cancelled =
      interrupted() && (e.facts.outcome == Outcome::Empty || e.facts.outcome == Outcome::Unwritten);
  if (out.state == host::OutputState::Data) {
    e.mesh = readRecord(out.bytes);
    e.hasRecord = true;
  }
  return e;
}

std::optional<ResultMesh> publish(Evaluation& e, const NodeRun& run, const RunOptions& options,
                                  RunOutputs& outputs, const NameTable& names, bool keep) {
  std::optional<ResultMesh> result;
  if (!e.hasRecord) return result;
  if (run.adjust) run.adjust(e.mesh);
  if (outputs.wanted() || options.json || keep) {
    result =
        makeResult(e.mesh, options.pieces == "islands" ? PieceMode::Islands : PieceMode::Solids);
    if (run.pieces) run.pieces(*result);
    outputs.write(*result, names);
    e.facts.output = outputs.meshPath();
    e.facts.preview = outputs.previewPath();
  }
  if (run.afterWrite) run.afterWrite();
  return result;
}

nlohmann::ordered_json summaryOf(const Evaluation& e, const NodeRun& run,
                                 const std::optional<ResultMesh>& result, const NameTable& names) {
  nlohmann::ordered_json extra = run.extra;
  extra["pieces"] = result ? result->pieces.count : 0;
  extra["identifiers"] = names.toJson();
  return summarize(e.facts, e.mesh, e.log, extra);
}

int report(Evaluation& e, const NodeRun& run, const RunOptions& options, RunOutputs& outputs,
           const NameTable& names) {
  for (const auto& line : e.log) {
    std::cerr << '[' << severityName(line.severity) << "] " << line.text << '\n';
  }
  for (const auto& x : e.escaped) std::cerr << "[host] exception escaped: " << x << '\n';
  const std::optional<ResultMesh> result = publish(e, run, options, outputs, names, false);
  if (options.json) {
    std::cout << summaryOf(e, run, result, names)
                     .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
  }
  return exitStatus(e.facts);
}

}  // namespace cli
