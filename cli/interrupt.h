// Ctrl-C while a node runs: the first asks the node to stop (it polls IsCancelPressed between
// its steps), a second ends the command at once as Ctrl-C usually does.
#pragma once

#include <signal.h>

namespace cli {

class CancelOnInterrupt {
 public:
  // Installs the handler for SIGINT; one object at a time.
  CancelOnInterrupt();
  // Puts the previous handler back.
  ~CancelOnInterrupt();
  CancelOnInterrupt(const CancelOnInterrupt&) = delete;
  CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

  // True once Ctrl-C was pressed while this object lived.
  bool requested() const;

 private:
  struct sigaction previous_ {};
};

}  // namespace cli
