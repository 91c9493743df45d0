#include "shell/cli/progress_line.h"

#include <cstdio>

#include "archive/build_progress.h"
#include "shell/cli/command_context.h"

namespace lm::cli {
namespace {

// Wide enough for most terminals; longer step texts (archiver command lines)
// are cut so the line does not wrap and stays rewritable.
constexpr int kLineWidth = 78;

}  // namespace

ProgressLine::ProgressLine() : enabled_(ProgressWanted()) {}

ProgressLine::~ProgressLine() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void ProgressLine::Show(const QString& text, int done, int total) {
  if (!enabled_) return;
  QString line = total > 0 ? QStringLiteral("[%1/%2] ").arg(done).arg(total) : QString();
  line += QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (line.size() > kLineWidth) line = line.left(kLineWidth - 1) + QChar(0x2026);
  std::fputs("\r\033[K", stderr);
  std::fputs(line.toUtf8().constData(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

BuildStepsOnLine::BuildStepsOnLine() {
  if (!line_.Enabled()) return;
  listener_ = AddBuildStepListener([this](const QString& text, int done, int total) { line_.Show(text, done, total); });
}

BuildStepsOnLine::~BuildStepsOnLine() {
  if (listener_ >= 0) RemoveBuildStepListener(listener_);
}

}  // namespace lm::cli
