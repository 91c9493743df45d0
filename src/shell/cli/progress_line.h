// One line of progress on standard error, rewritten in place; only when
// standard error is a terminal, so logs and pipes get nothing extra.
#pragma once

#include <QElapsedTimer>
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

// Shows every step of an archive build on a ProgressLine while it lives:
// the step in words with its number, and while an archiver packs, the
// percentage of its bytes, the bytes and the file being packed.
class BuildStepsOnLine {
 public:
  BuildStepsOnLine();
  ~BuildStepsOnLine();
  BuildStepsOnLine(const BuildStepsOnLine&) = delete;
  BuildStepsOnLine& operator=(const BuildStepsOnLine&) = delete;

 private:
  ProgressLine line_;
  int listener_ = -1;
  int bytesListener_ = -1;
  QString words_;
  int done_ = 0, total_ = 0;
  QElapsedTimer lastDrawn_;  // the line is drawn at most ten times a second
};

}  // namespace lm::cli
