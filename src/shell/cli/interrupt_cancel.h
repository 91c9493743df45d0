// Ctrl-C (SIGINT) or a termination request (SIGTERM) during a build asks the
// build to stop after its current archiver call, as the progress dialog's
// cancel button does: the build then removes what it wrote, puts back the
// earlier archives and says so. A second signal ends the process at once.
#pragma once

#include <csignal>

namespace lm::cli {

class CancelBuildOnInterrupt {
 public:
  CancelBuildOnInterrupt();
  ~CancelBuildOnInterrupt();  // the previous handlers again
  CancelBuildOnInterrupt(const CancelBuildOnInterrupt&) = delete;
  CancelBuildOnInterrupt& operator=(const CancelBuildOnInterrupt&) = delete;

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

}  // namespace lm::cli
