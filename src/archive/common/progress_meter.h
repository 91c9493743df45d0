// Counting a command's progress for the caller's progress procedure and
// asking it, between blocks of work, whether to go on. The procedure is set
// per thread (SetProgressProc of each library) and taken by the meter that a
// command creates on that thread; without one the meter only counts.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/archiver_api.h"

namespace arc {

// The procedure set for commands run on the calling thread (null: none).
struct ProgressTarget {
  ARC_PROGRESS_PROC proc = nullptr;
  void* user = nullptr;
};
ProgressTarget& ThreadProgressTarget();
// The body of the libraries' SetProgressProc: sets (or, with null, removes)
// the calling thread's procedure; returns 1.
int SetThreadProgress(ARC_PROGRESS_PROC proc, void* user);

class ProgressMeter {
 public:
  // Bytes of input between two reports.
  static constexpr uint64_t kReportEvery = uint64_t{1} << 16;

  ProgressMeter() : target_(ThreadProgressTarget()) {}
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // True when a procedure listens: callers may then spend a little work
  // (such as finding the total) that is not needed otherwise.
  bool Active() const { return target_.proc != nullptr; }
  void SetCommandTotal(uint64_t total) { commandTotal_ = total; }

  // Starts a member (name in code page 932) and reports it. False when the
  // command is to stop.
  bool BeginMember(const std::string& name, uint64_t size) {
    name_ = name;
    memberDone_ = 0;
    memberTotal_ = size;
    nextReport_ = kReportEvery;
    return Report();
  }

  // Counts `n` bytes of input of the current member; reports after every
  // kReportEvery bytes and when the member is complete. False when the
  // command is to stop.
  bool Add(uint64_t n) {
    if (n == 0) return !cancelled_;
    memberDone_ += n;
    commandDone_ += n;
    if (memberDone_ < nextReport_ && memberDone_ < memberTotal_) return !cancelled_;
    nextReport_ = memberDone_ + kReportEvery;
    return Report();
  }

  // Asks the procedure whether to go on, with the counts as they are: for
  // work that reads no member data but takes its time (setting up a command
  // of many files). False when the command is to stop.
  bool Poll() { return Report(); }

  bool Cancelled() const { return cancelled_; }
  uint64_t CommandDone() const { return commandDone_; }

 private:
  bool Report() {
    if (!target_.proc || cancelled_) return !cancelled_;
    const ArchiverProgress p{name_.c_str(), memberDone_, memberTotal_, commandDone_, commandTotal_};
    if (target_.proc(&p, target_.user) != 0) cancelled_ = true;
    return !cancelled_;
  }

  const ProgressTarget target_;
  std::string name_;
  uint64_t memberDone_ = 0, memberTotal_ = 0, nextReport_ = kReportEvery;
  uint64_t commandDone_ = 0, commandTotal_ = 0;
  bool cancelled_ = false;
};

}  // namespace arc
