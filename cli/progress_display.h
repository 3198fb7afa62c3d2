// The node's progress on standard error while it runs: a bar redrawn in place on a terminal,
// one plain line per stage otherwise, nothing with --quiet.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "host/records.h"

namespace cli {

class ProgressDisplay {
 public:
  enum class Style { Bar, Lines, Off };
  // Off when quiet, Bar when standard error is a terminal, else Lines.
  static Style styleFor(bool quiet);

  // A bar also gets a thread that redraws it twice a second with the stage's elapsed time, so
  // a long single step (one engine call) still shows that the run goes on.
  ProgressDisplay(Style style, std::ostream& out);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // The bar as the node set it. A bar is redrawn at most ten times a second, at every new stage
  // and when a stage completes; a line is printed for every new stage.
  void show(const host::ProgressReport& report);
  // Stops the redrawing and clears the bar's line so that what follows starts on a clean one.
  void finish();

 private:
  void draw(std::chrono::steady_clock::time_point now);  // requires mutex_ held

  Style style_;
  std::ostream& out_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool drawn_ = false;
  host::ProgressReport last_;
  std::chrono::steady_clock::time_point stageStart_{}, lastDraw_{};
  std::thread ticker_;
};

// The bar's text, width columns wide at most: caption, bar, value/maximum, percent, seconds.
std::string barText(const host::ProgressReport& report, double seconds, std::size_t width);

}  // namespace cli
