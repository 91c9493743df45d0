#include "shell/about_text.h"

#include <QFileInfo>
#include <QStringList>
#include <QtGlobal>

#include "archive/archiver_wrapper.h"
#include "util/app_folders.h"

#ifndef LM_GCAB_VERSION
#define LM_GCAB_VERSION ""
#endif
#ifndef LM_README_PATH
#define LM_README_PATH ""
#endif

namespace lm {
namespace {

// An archiver library's version as its number reads: 100 is "1.00".
QString LibraryLine(cArchiver& library) {
  if (!library.Loaded()) return library.LibraryFile() + QStringLiteral("  見つかりません");
  const int v = library.Version();
  return library.LibraryFile() + QStringLiteral("  ") + QStringLiteral("%1.%2").arg(v / 100).arg(v % 100, 2, 10, QLatin1Char('0'));
}

}  // namespace

QString AboutText(const QString& versionText) {
  cUnLHA lha;
  cCAB cab;
  QStringList lines = {
      QStringLiteral("Loftmark ") + versionText,
      QStringLiteral("Quillet スクリプト配布用アーカイブ作成ツール"),
      QString(),
      QStringLiteral("ライセンス: Loftmark 本体のライセンスは定められていません。"),
      QStringLiteral("Qt と libgcab は GNU LGPL に従って使用しています。"),
      QString(),
      QStringLiteral("使用しているライブラリ:"),
      QStringLiteral("  ") + LibraryLine(lha),
      QStringLiteral("  ") + LibraryLine(cab),
      QStringLiteral("  Qt  ") + QString::fromLatin1(qVersion()) + QStringLiteral("（GNU LGPL v3）"),
  };
  const QString gcab = QStringLiteral(LM_GCAB_VERSION);
  lines << QStringLiteral("  libgcab  ") + (gcab.isEmpty() ? QStringLiteral("?") : gcab) +
               QStringLiteral("（GNU LGPL v2.1 以降。Cab32.DLL が使用）");
  lines << QString() << FoldersText();
  return lines.join(QLatin1Char('\n'));
}

QString ReadmePath() {
  const QString path = QStringLiteral(LM_README_PATH);
  return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

}  // namespace lm
