// A small benchmark harness: every case runs in its own forked process so that its peak memory
// can be read from the kernel's high-water mark without the other cases' allocations.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace bench {

struct Measurement {
  double seconds = 0.0;   // median over the repetitions
  double extraMiB = 0.0;  // peak resident memory above what the set-up left
};

// Runs job in a forked child and returns what it returned, sent back through a pipe (so
// Result must be trivially copyable); a value-initialised Result when the child fails.
template <class Result>
Result inChild(const std::function<Result()>& job) {
  static_assert(std::is_trivially_copyable_v<Result>);
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Result r = job();
    if (write(fds[1], &r, sizeof r) != sizeof r) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  Result r;
  if (read(fds[0], &r, sizeof r) != sizeof r) r = {};
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return r;
}

// Runs setup once, then body reps times, in a child process. Returns the median time and the
// peak memory the bodies added.
inline Measurement measure(const std::function<void()>& setup, const std::function<void()>& body,
                           int reps) {
  return inChild<Measurement>([&] {
    setup();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      body();
      times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::sort(times.begin(), times.end());
    return Measurement{times[times.size() / 2], (after.ru_maxrss - before.ru_maxrss) / 1024.0};
  });
}

// The sample of median time among several (any type with `seconds` and `extraMiB`), with the
// largest memory figure of them all.
template <class Sample>
Sample median(std::vector<Sample> all) {
  std::sort(all.begin(), all.end(),
            [](const Sample& x, const Sample& y) { return x.seconds < y.seconds; });
  Sample m = all[all.size() / 2];
  for (const Sample& x : all) m.extraMiB = std::max(m.extraMiB, x.extraMiB);
  return m;
}

inline void printRow(const std::string& name, const Measurement& ours, const Measurement& base) {
  std::printf("%-40s ours %9.4f s %8.1f MiB | baseline %9.4f s %8.1f MiB | time ratio %.3f\n",
              name.c_str(), ours.seconds, ours.extraMiB, base.seconds, base.extraMiB,
              base.seconds > 0 ? ours.seconds / base.seconds : 0.0);
}

}  // namespace bench
