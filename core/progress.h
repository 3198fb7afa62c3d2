// Progress sink of the node logic: a long evaluation announces its stages, counts its units of
// work and asks whether the user wants it to stop. The host binding forwards to the host's
// progress bar; a default-constructed Progress does nothing and never cancels.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

namespace tsl {

struct Progress {
  // A new stage of `units` units of work, shown under caption.
  std::function<void(const std::string& caption, std::size_t units)> stage;
  // `units` more units of the current stage are done.
  std::function<void(std::size_t units)> advance;
  // True once the user asked the evaluation to stop.
  std::function<bool()> cancelRequested;

  void begin(const std::string& caption, std::size_t units) const {
    if (stage) stage(caption, units);
  }
  void done(std::size_t units = 1) const {
    if (advance) advance(units);
  }
  bool cancelled() const { return cancelRequested && cancelRequested(); }
};

// Thrown inside a long step when the user asked it to stop; the node's logic catches it, logs
// one line and publishes the empty output.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("cancelled") {}
};

// Throws Cancelled when progress says the user asked to stop.
inline void stopIfCancelled(const Progress& progress) {
  if (progress.cancelled()) throw Cancelled();
}

// Progress on the host's progress bar (XSI::ProgressBar): a stage clears the caption, sets the
// value 0 and the maximum (clamped to the host's 32-bit range), then its caption;
// IsCancelPressed answers.
Progress hostProgress();

}  // namespace tsl
