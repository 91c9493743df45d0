#include "archive/common/progress_meter.h"

namespace arc {

ProgressTarget& ThreadProgressTarget() {
  // Initial-exec: the target sits in the static TLS block even in a
  // library loaded with dlopen (glibc keeps room for a few bytes like
  // these), so reaching it needs no __tls_get_addr call, and no block of
  // dynamic TLS is made for the leak checker to walk: the checker of our
  // compiler misread such a block at exit and crashed.
  thread_local ProgressTarget target __attribute__((tls_model("initial-exec")));
  return target;
}

int SetThreadProgress(ARC_PROGRESS_PROC proc, void* user) {
  ProgressTarget& target = ThreadProgressTarget();
  target.proc = proc;
  target.user = proc ? user : nullptr;
  return 1;
}

}  // namespace arc
