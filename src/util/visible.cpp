#include "util/visible.h"

#include <QStringList>

#include "util/text/visible_text.h"

namespace lm {

QString Visible(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return QString::fromStdString(visible::Escape(std::string_view(utf8.constData(), utf8.size())));
}

QString VisibleLines(const QString& text) {
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& line : lines) {
    const bool crlf = line.endsWith(QLatin1Char('\r'));
    if (crlf) line.chop(1);
    line = Visible(line);
    if (crlf) line += QLatin1Char('\r');
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace lm
