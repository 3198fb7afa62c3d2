#include "cli/interrupt.h"

#include <unistd.h>

#include <cstring>

namespace cli {
namespace {

volatile sig_atomic_t g_requested = 0;

void onInterrupt(int) {
  g_requested = 1;
  // Only async-signal-safe calls here: write, not streams.
  static const char kNote[] =
      "\ntessellon: stopping at the node's next step (Ctrl-C again to quit at once)\n";
  [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

}  // namespace

CancelOnInterrupt::CancelOnInterrupt() {
  g_requested = 0;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // The handler runs once; the next Ctrl-C meets the default action and ends the process.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, &previous_);
}

CancelOnInterrupt::~CancelOnInterrupt() {
  sigaction(SIGINT, &previous_, nullptr);
}

bool CancelOnInterrupt::requested() const {
  return g_requested != 0;
}

}  // namespace cli
