#include "shell/cli/progress_line.h"

#include <algorithm>
#include <cstdio>

#include "archive/build_progress.h"
#include "shell/cli/command_context.h"

namespace lm::cli {
namespace {

// Columns of most terminals less one; longer step texts (archiver command
// lines) are cut so the line does not wrap and stays rewritable.
constexpr int kLineWidth = 79;

// Terminal columns of a character: East Asian wide characters take two
// (half-width katakana one).
int Columns(QChar c) {
  const char16_t u = c.unicode();
  if (u >= 0xFF61 && u <= 0xFF9F) return 1;
  return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3) ||
                 (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                 (u >= 0xFFE0 && u <= 0xFFE6)
             ? 2
             : 1;
}

// The text cut to `width` columns, an ellipsis marking the cut.
QString CutToColumns(const QString& text, int width) {
  int used = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    used += Columns(text[i]);
    if (used > width) return text.left(i > 0 ? i - 1 : 0) + QStringLiteral("...");
  }
  return text;
}

}  // namespace

ProgressLine::ProgressLine() : enabled_(ProgressWanted()) {}

ProgressLine::~ProgressLine() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void ProgressLine::Show(const QString& text, int done, int total) {
  if (!enabled_) return;
  QString line = total > 0 ? QStringLiteral("[%1/%2] ").arg(done).arg(total) : QString();
  line += QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  line = CutToColumns(line, kLineWidth - 2);
  std::fputs("\r\033[K", stderr);
  std::fputs(line.toUtf8().constData(), stderr);
  std::fflush(stderr);
  shown_ = true;
}

BuildStepsOnLine::BuildStepsOnLine() {
  if (!line_.Enabled()) return;
  listener_ = AddBuildStepListener([this](const QString& text, int done, int total) {
    words_ = ArchiverStepWords(text);
    done_ = done;
    total_ = total;
    line_.Show(words_, done, total);
    lastDrawn_.start();
  });
  bytesListener_ = AddBuildBytesListener([this](const BuildBytes& b) {
    if (b.commandTotal == 0 || (lastDrawn_.isValid() && lastDrawn_.elapsed() < 100)) return;
    lastDrawn_.start();
    const quint64 doneBytes = std::min(b.commandDone, b.commandTotal);
    const auto mb = [](quint64 n) { return QString::number(double(n) / 1e6, 'f', 1); };
    line_.Show(words_ + QStringLiteral(" %1% (%2/%3 MB) ").arg(doneBytes * 100 / b.commandTotal).arg(mb(doneBytes), mb(b.commandTotal)) +
                   b.member,
               done_, total_);
  });
}

BuildStepsOnLine::~BuildStepsOnLine() {
  if (listener_ >= 0) RemoveBuildStepListener(listener_);
  if (bytesListener_ >= 0) RemoveBuildBytesListener(bytesListener_);
}

}  // namespace lm::cli
