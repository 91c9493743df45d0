#include "util/app_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "util/app_globals.h"

namespace lm {
namespace {

const QString kAppFolderName = QStringLiteral("loftmark");

// An XDG base directory: the variable when it holds an absolute path (the
// XDG base directory rules ignore a relative one), else HOME + fallback.
QString XdgBase(const char* variable, const QString& fallback) {
  const QString value = qEnvironmentVariable(variable);
  if (!value.isEmpty() && QDir::isAbsolutePath(value)) return QDir::cleanPath(value);
  return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + fallback);
}

QString UserFolder(const char* variable, const QString& fallback) {
  return XdgBase(variable, fallback) + QLatin1Char('/') + kAppFolderName;
}

// Makes `dir` (with its parents) when missing; the last level is the user's
// alone.
void MakeUserFolder(const QString& dir) {
  if (QFileInfo(dir).isDir()) return;
  if (!QDir().mkpath(dir)) return;  // the write that needs it reports the failure
  ::chmod(QFile::encodeName(dir).constData(), 0700);
}

QString ConfigOf(bool beside) {
  return beside ? ProgramFolder() : UserFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}
QString CacheOf(bool beside) {
  return beside ? ProgramFolder() : UserFolder("XDG_CACHE_HOME", QStringLiteral(".cache"));
}

}  // namespace

QString ProgramFolder() { return programDir.isEmpty() ? ExecutableDir() : programDir; }

bool KeepsFilesBesideProgram() {
  const QString dir = QDir::cleanPath(QFileInfo(ProgramFolder()).absoluteFilePath());
  if (dir == QStringLiteral("/usr") || dir.startsWith(QStringLiteral("/usr/"))) return false;
  const QByteArray native = QFile::encodeName(dir);
  struct stat st {};
  if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  return ::access(native.constData(), W_OK | X_OK) == 0;
}

QString ConfigFolder() {
  const bool beside = KeepsFilesBesideProgram();
  const QString dir = ConfigOf(beside);
  if (!beside) MakeUserFolder(dir);
  return dir;
}

QString CacheFolder() {
  const bool beside = KeepsFilesBesideProgram();
  const QString dir = CacheOf(beside);
  if (!beside) MakeUserFolder(dir);
  return dir;
}

QString DefaultArchiveFolder() { return KeepsFilesBesideProgram() ? ProgramFolder() : QDir::homePath(); }

QString FoldersText() {
  const bool beside = KeepsFilesBesideProgram();
  const QString why = beside ? QStringLiteral("プログラムのフォルダに保存します")
                             : QStringLiteral("プログラムのフォルダに書き込めないため、利用者のフォルダに保存します");
  return QStringLiteral("設定ファイル (lfup.ini): ") + ConfigOf(beside) + QLatin1Char('\n') +
         QStringLiteral("作業ファイル (temp, install.txt, $, indexserver.fet): ") + CacheOf(beside) +
         QLatin1Char('\n') + QStringLiteral("（") + why + QStringLiteral("）");
}

}  // namespace lm
