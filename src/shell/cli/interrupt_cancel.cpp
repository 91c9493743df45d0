#include "shell/cli/interrupt_cancel.h"

#include <atomic>

#include "archive/build_progress.h"

namespace lm::cli {
namespace {

std::atomic<bool> g_interrupted{false};

// Only sets lock-free flags: safe in a signal handler.
void OnInterrupt(int) {
  g_interrupted = true;
  RequestBuildCancel();
}

}  // namespace

CancelOnInterrupt::CancelOnInterrupt() {
  g_interrupted = false;
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART | SA_RESETHAND;  // the second signal takes its default course
  ::sigaction(SIGINT, &sa, &previousInt_);
  ::sigaction(SIGTERM, &sa, &previousTerm_);
}

CancelOnInterrupt::~CancelOnInterrupt() {
  ::sigaction(SIGINT, &previousInt_, nullptr);
  ::sigaction(SIGTERM, &previousTerm_, nullptr);
}

bool CancelOnInterrupt::Interrupted() { return g_interrupted; }

}  // namespace lm::cli
