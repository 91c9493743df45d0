#include "archive/install_files.h"

#include "archive/archive_steps.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/app_globals.h"

namespace lm {
namespace {

const Profile* Current() { return HaveCurrentProfile() ? &profileTable[currentProfile] : nullptr; }

void SetError(FileError* error, const QString& message) {
  if (!error) return;
  *error = FileError{};
  error->kind = FileError::Kind::Io;
  error->message = message;
}

}  // namespace

QString InstallFilePath() { return programDir + QStringLiteral("/install.txt"); }

QString SfxOptionsPath() { return programDir + QStringLiteral("/$"); }

bool InstallFileLines(QStringList& lines) {
  lines.clear();
  const Profile* p = Current();
  if (!p) return false;
  QString name;
  if (ScriptNameOf(TrimBlanks(p->ugu), name) != 0) return false;
  lines << QStringLiteral("type,script") << QStringLiteral("name,") + TrimBlanks(p->profile)
        << QStringLiteral("directory,") + name << QStringLiteral("refresh,1");
  return true;
}

QStringList SfxOptionLines() {
  QStringList lines;
  const Profile* p = Current();
  if (p && !TrimBlanks(p->exewintitle).isEmpty()) {
    lines << QStringLiteral("$WindowTitle=") + TrimBlanks(p->exewintitle);
  }
  // The install directory and the command are written as stored: blanks in
  // them may be meant.
  if (p && !TrimBlanks(p->exeviewdir).isEmpty()) lines << QStringLiteral("$InstallDir=") + p->exeviewdir;
  lines << QStringLiteral("$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)");
  if (p && !TrimBlanks(p->autoview).isEmpty()) lines << QStringLiteral("$Command=") + p->autoview;
  return lines;
}

int16_t WriteInstallFile(FileError* error) {
  QStringList lines;
  if (!InstallFileLines(lines)) {
    SetError(error, QStringLiteral("スクリプト名が正しくありません。"));
    return -9;
  }
  return WriteTextLines(InstallFilePath(), lines, error) ? 0 : -9;
}

int16_t WriteSfxOptions(FileError* error) {
  return WriteTextLines(SfxOptionsPath(), SfxOptionLines(), error) ? 0 : -9;
}

}  // namespace lm
