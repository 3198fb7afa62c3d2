// Times the stages a node's logic reports through tsl::Progress, for the benchmarks that print
// a node's stage split.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/progress.h"

namespace bench {

class StageTimes {
 public:
  // A progress whose stage reports close the stage before (the time before the first is
  // "checks"). Must not outlive this.
  tsl::Progress progress() {
    tsl::Progress p;
    p.stage = [this](const std::string& caption, std::size_t) {
      close();
      stages_.emplace_back(caption, 0.0);
    };
    return p;
  }
  // Closes the last stage and prints every stage's seconds after the row's indent.
  void print() {
    close();
    std::printf("%40s node stages (s):", "");
    for (const auto& [caption, seconds] : stages_)
      std::printf(" %s %.3f;", caption.c_str(), seconds);
    std::printf("\n");
  }

 private:
  using Clock = std::chrono::steady_clock;
  void close() {
    const Clock::time_point now = Clock::now();
    stages_.back().second += std::chrono::duration<double>(now - last_).count();
    last_ = now;
  }
  std::vector<std::pair<std::string, double>> stages_{{"checks", 0.0}};
  Clock::time_point last_ = Clock::now();
};

}  // namespace bench
