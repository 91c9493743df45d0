#include "archive/common/progress_meter.h"

namespace arc {

ProgressTarget& ThreadProgressTarget() {
  thread_local ProgressTarget target;
  return target;
}

int SetThreadProgress(ARC_PROGRESS_PROC proc, void* user) {
  ProgressTarget& target = ThreadProgressTarget();
  target.proc = proc;
  target.user = proc ? user : nullptr;
  return 1;
}

}  // namespace arc
