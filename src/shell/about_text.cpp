#include "shell/about_text.h"

#include <curl/curl.h>
#include <glib.h>
#include <gnu/libc-version.h>
#include <openssl/crypto.h>

#include <QFileInfo>
#include <QtGlobal>

#include "archive/archiver_wrapper.h"
#include "util/app_folders.h"
#include "util/app_globals.h"

#ifndef LM_GCAB_VERSION
#define LM_GCAB_VERSION ""
#endif
#ifndef LM_QTKEYCHAIN_VERSION
#define LM_QTKEYCHAIN_VERSION ""
#endif

namespace lm {
namespace {

const QString kMit = QStringLiteral("MIT ライセンス");

// One line of the list: "  name  version（licence）".
QString Line(const QString& name, const QString& version, const QString& licence) {
  return QStringLiteral("  ") + name + QStringLiteral("  ") + (version.isEmpty() ? QStringLiteral("?") : version) +
         QStringLiteral("（") + licence + QStringLiteral("）");
}

// An archiver library's version as its number reads: 100 is "1.00".
QString LibraryLine(cArchiver& library) {
  if (!library.Loaded()) return QStringLiteral("  ") + library.LibraryFile() + QStringLiteral("  見つかりません");
  const int v = library.Version();
  return Line(library.LibraryFile(), QStringLiteral("%1.%2").arg(v / 100).arg(v % 100, 2, 10, QLatin1Char('0')),
              QStringLiteral("Loftmark の一部、") + kMit);
}

// The licence of a library that libcurl names in its version text.
QString CurlPartLicence(const QString& name) {
  static const QList<QPair<QString, QString>> licences = {
      {QStringLiteral("libcurl"), QStringLiteral("curl ライセンス (MIT 系)")},
      {QStringLiteral("OpenSSL"), QStringLiteral("Apache License 2.0")},
      {QStringLiteral("zlib"), QStringLiteral("zlib ライセンス")},
      {QStringLiteral("brotli"), kMit},
      {QStringLiteral("zstd"), QStringLiteral("BSD 3条項ライセンスまたは GNU GPL v2")},
      {QStringLiteral("libidn2"), QStringLiteral("GNU LGPL v3 以降または GNU GPL v2 以降")},
      {QStringLiteral("libpsl"), kMit},
      {QStringLiteral("libssh2"), QStringLiteral("BSD 3条項ライセンス")},
      {QStringLiteral("nghttp2"), kMit},
      {QStringLiteral("librtmp"), QStringLiteral("GNU LGPL v2.1 以降")},
      {QStringLiteral("OpenLDAP"), QStringLiteral("OpenLDAP Public License")},
  };
  for (const auto& [library, licence] : licences)
    if (library == name) return licence;
  return QStringLiteral("ライセンスはライブラリの文書を参照");
}

// libcurl and each library it was built with, as its version text names
// them ("libcurl/7.88.1 OpenSSL/3.0.19 zlib/1.2.13 ... libssh2/1.10.0 ...").
// OpenSSL is reported by OpenSSL itself: the program also uses it directly
// to check a trusted server certificate.
QStringList CurlLines() {
  QStringList lines;
  const QStringList words = QString::fromLatin1(curl_version()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (const QString& word : words) {
    const qsizetype slash = word.indexOf(QLatin1Char('/'));
    if (slash <= 0 || word.startsWith(QLatin1Char('('))) continue;  // "(+libidn2/2.3.3)" repeats one named before
    const QString name = word.left(slash);
    QString version = word.mid(slash + 1);
    QString licence = CurlPartLicence(name);
    if (name == QLatin1String("OpenSSL")) {
      version = QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION)).section(QLatin1Char(' '), 1, 1);
      licence += QStringLiteral("。libcurl と証明書の確認が使用");
    } else if (name != QLatin1String("libcurl")) {
      licence += QStringLiteral("。libcurl が使用");
    }
    lines << Line(name, version, licence);
  }
  return lines;
}

}  // namespace

QString LicenceAndLibrariesText() {
  cUnLHA lha;
  cCAB cab;
  QStringList lines = {
      QStringLiteral("ライセンス: Loftmark は MIT ライセンスで公開されています。"),
      QStringLiteral("Copyright (c) 2026 The Loftmark authors"),
      QStringLiteral("ライセンスの全文はプログラムに添付の LICENSE にあります。"),
      QString(),
      QStringLiteral("使用しているライブラリ:"),
      LibraryLine(lha),
      LibraryLine(cab),
      Line(QStringLiteral("Qt"), QString::fromLatin1(qVersion()), QStringLiteral("GNU LGPL v3")),
  };
  lines << CurlLines();
  lines << Line(QStringLiteral("QtKeychain"), QStringLiteral(LM_QTKEYCHAIN_VERSION),
                QStringLiteral("BSD 2条項ライセンス。パスワードの保管に使用"))
        << Line(QStringLiteral("libgcab"), QStringLiteral(LM_GCAB_VERSION),
                QStringLiteral("GNU LGPL v2.1 以降。Cab32.DLL が使用"))
        << Line(QStringLiteral("GLib"),
                QStringLiteral("%1.%2.%3").arg(glib_major_version).arg(glib_minor_version).arg(glib_micro_version),
                QStringLiteral("GNU LGPL v2.1 以降。Qt と libgcab が使用"))
        << Line(QStringLiteral("GNU C ライブラリ"), QString::fromLatin1(gnu_get_libc_version()),
                QStringLiteral("GNU LGPL v2.1 以降"))
        << Line(QStringLiteral("libstdc++"), QStringLiteral("GCC %1").arg(_GLIBCXX_RELEASE),
                QStringLiteral("GNU GPL v3 と GCC ランタイムライブラリ例外"));
  lines << QString()
        << QStringLiteral("このほか Qt と libcurl が読み込むシステムのライブラリは、それぞれのライセンスに従います。");
  return lines.join(QLatin1Char('\n'));
}

QString AboutText(const QString& versionText) {
  return QStringLiteral("Loftmark ") + versionText + QLatin1Char('\n') +
         QStringLiteral("Quillet スクリプト配布用アーカイブ作成ツール") + QStringLiteral("\n\n") +
         LicenceAndLibrariesText() + QStringLiteral("\n\n") + FoldersText();
}

QStringList DocumentCandidates(const QString& fileName) {
  return {ExecutableDir() + QLatin1Char('/') + fileName, QStringLiteral("/usr/share/doc/loftmark/") + fileName};
}

QString FirstExistingFile(const QStringList& candidates) {
  for (const QString& path : candidates)
    if (QFileInfo(path).isFile()) return path;
  return QString();
}

QString DocumentPath(const QString& fileName) { return FirstExistingFile(DocumentCandidates(fileName)); }
QString ReadmePath() { return DocumentPath(QStringLiteral("README.md")); }
QString LicencePath() { return DocumentPath(QStringLiteral("LICENSE")); }

}  // namespace lm
