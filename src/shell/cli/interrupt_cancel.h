// Ctrl-C (SIGINT) or a termination request (SIGTERM) while a build or an
// upload runs asks it to stop at its next safe point, as the window's cancel
// buttons do: a build after its current archiver call (it then removes what
// it wrote; the earlier archives keep their names), an upload before its next
// piece (the server's index stays as it was). A second signal ends the
// process at once.
#pragma once

#include <csignal>

namespace lm::cli {

class CancelOnInterrupt {
 public:
  CancelOnInterrupt();
  ~CancelOnInterrupt();  // the previous handlers again
  CancelOnInterrupt(const CancelOnInterrupt&) = delete;
  CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

  // True once a signal came.
  static bool Interrupted();

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

}  // namespace lm::cli
