// How a command waits for another run (a window or a command) that holds
// the script or the archive names it needs, and how it shows the notes of a
// run: both on standard error, as they happen.
#pragma once

#include "util/run_lock.h"

namespace lm::cli {

// While it lives: a run that finds something busy prints
// "別の処理が終わるのを待っています…" once and waits (Ctrl-C gives up), or
// with `wait` false gives up at once with the message naming what is busy.
// Run notes are printed as they come, each introduced by "loftmark: ".
class CommandRunWaiter final : public RunLockWaiter {
 public:
  explicit CommandRunWaiter(bool wait);
  ~CommandRunWaiter() override;
  CommandRunWaiter(const CommandRunWaiter&) = delete;
  CommandRunWaiter& operator=(const CommandRunWaiter&) = delete;

  bool Wait(const QString& busy, const std::function<bool()>& tryNow) override;

 private:
  bool wait_;
  bool told_ = false;
  int listener_;
};

}  // namespace lm::cli
