#include "archive/install_files.h"

#include "archive/archive_steps.h"
#include "profiles/profile.h"
#include "profiles/script_check.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/trim_blanks.h"

namespace lm {
namespace {

void SetError(FileError* error, const QString& message) {
  if (!error) return;
  *error = FileError{};
  error->kind = FileError::Kind::Io;
  error->message = message;
}

}  // namespace

QString InstallFilePath() { return CacheFolder() + QStringLiteral("/install.txt"); }

QString SfxOptionsPath() { return CacheFolder() + QStringLiteral("/$"); }

bool InstallFileLinesFor(const Profile& profile, QStringList& lines) {
  lines.clear();
  QString name;
  if (ScriptNameOf(TrimBlanks(profile.ugu), name) != 0) return false;
  lines << QStringLiteral("type,script") << QStringLiteral("name,") + TrimBlanks(profile.profile)
        << QStringLiteral("directory,") + name << QStringLiteral("refresh,1");
  return true;
}

QStringList SfxOptionLinesFor(const Profile& profile) {
  QStringList lines;
  if (!TrimBlanks(profile.exewintitle).isEmpty()) {
    lines << QStringLiteral("$WindowTitle=") + TrimBlanks(profile.exewintitle);
  }
  // The install directory and the command are written as stored: blanks in
  // them may be meant.
  if (!TrimBlanks(profile.exeviewdir).isEmpty()) lines << QStringLiteral("$InstallDir=") + profile.exeviewdir;
  lines << QStringLiteral("$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)");
  if (!TrimBlanks(profile.autoview).isEmpty()) lines << QStringLiteral("$Command=") + profile.autoview;
  return lines;
}

int16_t WriteInstallFileFor(const Profile& profile, FileError* error) {
  QStringList lines;
  if (!InstallFileLinesFor(profile, lines)) {
    SetError(error, QStringLiteral("スクリプト名が正しくありません。"));
    return -9;
  }
  return WriteTextLines(InstallFilePath(), lines, error) ? 0 : -9;
}

int16_t WriteSfxOptionsFor(const Profile& profile, FileError* error) {
  return WriteTextLines(SfxOptionsPath(), SfxOptionLinesFor(profile), error) ? 0 : -9;
}

}  // namespace lm
