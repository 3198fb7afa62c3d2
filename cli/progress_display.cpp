#include "cli/progress_display.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace cli {

using Clock = std::chrono::steady_clock;

ProgressDisplay::Style ProgressDisplay::styleFor(bool quiet) {
  if (quiet) return Style::Off;
  return isatty(STDERR_FILENO) ? Style::Bar : Style::Lines;
}

std::string barText(const host::ProgressReport& r, double seconds, std::size_t width) {
  const double fraction =
      r.maximum > 0 ? std::clamp(static_cast<double>(r.value) / r.maximum, 0.0, 1.0) : 0.0;
  char counts[96];
  std::snprintf(counts, sizeof counts, " %d/%d %3d%% %4.0fs", r.value, r.maximum,
                static_cast<int>(fraction * 100.0), seconds);
  const std::size_t barWidth = 30;
  std::string text = r.caption.substr(0, std::min<std::size_t>(r.caption.size(), 24)) + " [";
  const auto filled = static_cast<std::size_t>(fraction * barWidth);
  text += std::string(filled, '#') + std::string(barWidth - filled, '.') + ']' + counts;
  return text.substr(0, width);
}

ProgressDisplay::ProgressDisplay(Style style, std::ostream& out) : style_(style), out_(out) {
  if (style_ != Style::Bar) return;
  ticker_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping_; })) {
      if (!last_.caption.empty()) draw(Clock::now());
    }
  });
}

ProgressDisplay::~ProgressDisplay() {
  finish();
}

void ProgressDisplay::draw(Clock::time_point now) {
  lastDraw_ = now;
  const double seconds = std::chrono::duration<double>(now - stageStart_).count();
  // Carriage return and erase-line: the bar stays on one line of the terminal.
  out_ << "\r\033[K" << barText(last_, seconds, 79) << std::flush;
  drawn_ = true;
}

void ProgressDisplay::show(const host::ProgressReport& r) {
  // Between stages the bar has no caption while the node sets value and maximum.
  if (style_ == Style::Off || r.caption.empty()) return;
  std::lock_guard lock(mutex_);
  const bool newStage = r.caption != last_.caption;
  last_ = r;
  const auto now = Clock::now();
  if (newStage) stageStart_ = now;
  if (style_ == Style::Lines) {
    if (newStage) out_ << "[progress] " << r.caption << " (" << r.maximum << ")" << std::endl;
    return;
  }
  if (newStage || r.value >= r.maximum || now - lastDraw_ >= std::chrono::milliseconds(100)) {
    draw(now);
  }
}

void ProgressDisplay::finish() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (ticker_.joinable()) ticker_.join();
  if (!drawn_) return;
  out_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

}  // namespace cli
