#include "util/trim_blanks.h"

namespace lm {
namespace {

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QChar(0x3000); }

}  // namespace

QString TrimBlanks(const QString& text) {
  qsizetype start = 0;
  qsizetype end = text.size();
  while (start < end && IsBlank(text.at(start))) ++start;
  while (end > start && IsBlank(text.at(end - 1))) --end;
  return text.mid(start, end - start);
}

}  // namespace lm
