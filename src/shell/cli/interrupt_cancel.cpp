#include "shell/cli/interrupt_cancel.h"

#include "archive/build_progress.h"

namespace lm::cli {
namespace {

// Only sets the build's lock-free cancel flag: safe in a signal handler.
void OnInterrupt(int) { RequestBuildCancel(); }

}  // namespace

CancelBuildOnInterrupt::CancelBuildOnInterrupt() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_RESETHAND;  // the second signal takes its default course
  ::sigaction(SIGINT, &sa, &previousInt_);
  ::sigaction(SIGTERM, &sa, &previousTerm_);
}

CancelBuildOnInterrupt::~CancelBuildOnInterrupt() {
  ::sigaction(SIGINT, &previousInt_, nullptr);
  ::sigaction(SIGTERM, &previousTerm_, nullptr);
}

}  // namespace lm::cli
