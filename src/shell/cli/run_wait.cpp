#include "shell/cli/run_wait.h"

#include <chrono>
#include <thread>

#include "archive/build_progress.h"
#include "shell/cli/console_sink.h"
#include "util/message_box.h"

namespace lm::cli {

CommandRunWaiter::CommandRunWaiter(bool wait)
    : wait_(wait), listener_(AddRunNoteListener([](const QString& line) { PrintMessage(stderr, line, true); })) {
  SetRunLockWaiter(this);
}

CommandRunWaiter::~CommandRunWaiter() {
  SetRunLockWaiter(nullptr);
  RemoveRunNoteListener(listener_);
}

bool CommandRunWaiter::Wait(const QString& busy, const std::function<bool()>& tryNow) {
  if (!wait_) {
    MsgBox(BusyText(busy), style::Exclamation, kAppTitle);
    return false;
  }
  if (!told_) {
    RunNote(WaitingText(busy));
    told_ = true;
  }
  while (!tryNow()) {
    // Ctrl-C or SIGTERM while waiting: nothing was done yet.
    if (BuildCancelled()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

}  // namespace lm::cli
