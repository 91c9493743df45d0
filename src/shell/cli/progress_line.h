// One line of progress on standard error, rewritten in place; only when
// standard error is a terminal, so logs and pipes get nothing extra.
#pragma once

#include <QString>

namespace lm::cli {

class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();  // ends the line when anything was shown
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool Enabled() const { return enabled_; }
  void Show(const QString& text, int done, int total);

 private:
  bool enabled_;
  bool shown_ = false;
};

// Shows every step of an archive build on a ProgressLine while it lives.
class BuildStepsOnLine {
 public:
  BuildStepsOnLine();
  ~BuildStepsOnLine();
  BuildStepsOnLine(const BuildStepsOnLine&) = delete;
  BuildStepsOnLine& operator=(const BuildStepsOnLine&) = delete;

 private:
  ProgressLine line_;
  int listener_ = -1;
};

}  // namespace lm::cli
