#include "sync/safe_names.h"

#include <QList>

#include "util/message_box.h"
#include "util/visible.h"

namespace lm {

bool IsSafeEntryName(const QString& name, QString* why) {
  auto refuse = [why](const QString& reason) {
    if (why) *why = reason;
    return false;
  };
  if (name.isEmpty()) return refuse(QStringLiteral("名前が空です。"));
  if (name == QLatin1String(".") || name == QLatin1String(".."))
    return refuse(QStringLiteral("「.」や「..」は名前に使えません。"));
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
      return refuse(QStringLiteral("制御文字を含んでいます。"));
    if (u == u'\\' || u == u'/' || u == u':')
      return refuse(QStringLiteral("「\\」「/」「:」を含む名前はフォルダの外を指します。"));
  }
  return true;
}

bool IsSafeIndexPath(const QString& path) {
  if (!path.startsWith(QLatin1Char('\\')) || path.size() < 2) return false;
  QStringView rest = QStringView(path).mid(1);
  if (rest.endsWith(QLatin1Char('\\'))) rest.chop(1);
  for (const QStringView part : rest.split(QLatin1Char('\\'))) {
    if (!IsSafeEntryName(part.toString())) return false;
  }
  return true;
}

QString UnsafeNameMessage(const QString& name, const QString& why, const QString& source) {
  return QStringLiteral("使えない名前があるため、処理を中止しました。") + CR + Bracketed(Visible(name)) + CR + why +
         (source.isEmpty() ? QString() : CR + source);
}

}  // namespace lm
