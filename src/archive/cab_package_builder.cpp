#include "archive/cab_package_builder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "archive/archive_steps.h"
#include "archive/archiver_wrapper.h"
#include "archive/build_workspace.h"
#include "archive/lzh_builder.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/status.h"

namespace lm {

QStringList dirList;
int dirCount = 0;

namespace {

QString CannotClearMessage() {
  return QStringLiteral("一時ディレクトリ内をクリアできません。") + QStringLiteral("\r\n") +
         QStringLiteral("処理をおこないませんでした。");
}

// Repeats `operation` while it fails and the user answers Retry.
template <typename Operation>
bool WithRetry(Operation operation) {
  while (!operation()) {
    if (MsgBox(QStringLiteral("一時ディレクトリ内を消去できません。再試行しますか。"), style::RetryCancel,
               kAppTitle) != button::Retry) {
      return false;
    }
  }
  return true;
}

QString WithSlash(const QString& dir) {
  return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

// The names of a directory's entries ("." and ".." left out); false when it
// cannot be listed. Hidden entries are included: the work directory is the
// program's own and is emptied completely.
bool EntryNames(const QString& dir, QStringList& names) {
  names.clear();
  DIR* d = ::opendir(QFile::encodeName(dir).constData());
  if (!d) return false;
  while (dirent* e = ::readdir(d)) {
    const QString name = QFile::decodeName(e->d_name);
    if (name != QLatin1String(".") && name != QLatin1String("..")) names << name;
  }
  ::closedir(d);
  names.sort();
  return true;
}

bool IsRealDirectory(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Deletes the files (and symbolic links) of one directory. A read-only file
// is refused as the read-only attribute would refuse it, unless
// `dropReadOnly` allows the attribute to be cleared first.
bool DeleteFilesIn(const QString& dir, bool dropReadOnly) {
  QStringList names;
  if (!EntryNames(dir, names)) return false;
  for (const QString& name : names) {
    const QByteArray path = QFile::encodeName(dir + name);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) continue;
    if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0) {
      if (!dropReadOnly || ::chmod(path.constData(), st.st_mode | S_IWUSR) != 0) return false;
    }
    if (::unlink(path.constData()) != 0) return false;
  }
  return true;
}

bool RemoveDirectory(const QString& path) {
  if (!IsRealDirectory(path)) return true;  // already gone
  return ::rmdir(QFile::encodeName(path).constData()) == 0;
}

// Shows the message of a failed step; the builder's answer for it.
VbBool ReportStepFailure(const QString& text) {
  MsgBox(text, style::Exclamation, kAppTitle);
  return kVbFalse;
}

}  // namespace

QString WorkDirPath() { return CurrentBuildWorkDir() + QStringLiteral("/temp/"); }

bool ListDirTree(const QString& dir) {
  dirList = QStringList{dir};
  dirCount = 1;
  bool complete = true;
  for (int k = 0; k < dirCount; ++k) {
    const QString base = WithSlash(dirList[k]);
    QStringList names;
    if (!EntryNames(base, names)) {
      complete = false;
      continue;
    }
    for (const QString& name : names) {
      if (IsRealDirectory(base + name)) {
        dirList << base + name + QLatin1Char('/');
        ++dirCount;
      }
    }
  }
  return complete;
}

namespace {

// Empties `dir`, keeping it. With `dropReadOnly` read-only files are made
// writable and deleted without asking.
int32_t ClearDirectory(const QString& dir, bool dropReadOnly) {
  const QString root = ResolveExisting(dir).isEmpty() ? NativePath(dir) : WithSlash(ResolveExisting(dir));
  if (!WithRetry([&] { return ListDirTree(root); })) return -1;
  for (int i = 0; i < dirCount; ++i) {
    const QString d = WithSlash(dirList[i]);
    if (!WithRetry([&] { return DeleteFilesIn(d, dropReadOnly); })) return -1;
  }
  if (!WithRetry([&] { return ListDirTree(root); })) return -1;
  // Deepest first: every subdirectory goes before its parent; the directory
  // itself stays.
  for (int i = dirCount - 1; i >= 1; --i) {
    QString d = dirList[i];
    if (d.endsWith(QLatin1Char('/'))) d.chop(1);
    if (!WithRetry([&] { return RemoveDirectory(d); })) return -1;
  }
  return 0;
}

}  // namespace

int32_t ClearTempDir(const QString& dir) { return ClearDirectory(dir, false); }

VbBool BuildCabPackageFor(const Profile& profile, const ScriptLayout& layout, const ArchiveNames& names,
                          int16_t sfx, const QString& extraArguments, quintptr hwnd) {
  if (BuildLzhArchiveFor(profile, layout, names, sfx, extraArguments, hwnd) == kVbFalse) return kVbFalse;

  const cFile f;
  const ArchiveName& lzh = names.lzh;
  const ArchiveName& cab = names.cab;
  const ArchiveName& qsc = names.qsc;
  if (!DeleteIfExists(cab.file)) {
    return ReportStepFailure(QStringLiteral("ファイル") + Bracketed(cab.file) + QStringLiteral("を削除できません。"));
  }
  if (!f.FileExists(lzh.file)) return kVbFalse;

  const QString work = WorkDirPath();
  if (!f.DirExists(work) && !f.MakeDirs(work)) {
    return ReportStepFailure(QStringLiteral("一時ディレクトリ") + Bracketed(work) + QStringLiteral("を作成できません。"));
  }
  if (ClearTempDir(work) != 0) {
    MsgBox(CannotClearMessage(), style::OkOnly, kAppTitle);
    return kVbFalse;
  }

  // The work directory on the command lines, joined as the libraries read it.
  const QString shortWork = f.GetDosShortPathName(CurrentBuildWorkDir() + QStringLiteral("\\temp\\"));
  {
    cUnLHA lha;
    lha.setHwnd(hwnd);
    if (!RunArchiverStep(lha, QStringLiteral("e ") + lzh.command + QLatin1Char(' ') + shortWork +
                                  QStringLiteral(" *.* ") + QStringLiteral(" -xr2 -jyc -jyo"))) {
      return kVbFalse;
    }
  }
  {
    cCAB cabinet;
    cabinet.setHwnd(hwnd);
    if (!RunArchiverStep(cabinet, QStringLiteral("-a -r ") + cab.command + QLatin1Char(' ') + shortWork +
                                      QStringLiteral(" *.*"))) {
      return kVbFalse;
    }
  }
  // Everything in the work directory now was unpacked by this build: files
  // that keep the read-only attribute of their originals go without asking.
  if (ClearDirectory(work, true) != 0) {
    MsgBox(CannotClearMessage(), style::OkOnly, kAppTitle);
    return kVbFalse;
  }

  if (!DeleteIfExists(qsc.file)) {
    return ReportStepFailure(QStringLiteral("ファイル") + Bracketed(qsc.file) + QStringLiteral("を削除できません。"));
  }
  const QString cabReal = ResolveExisting(cab.file);
  const QString qscTarget = cabReal.left(cabReal.lastIndexOf(QLatin1Char('/')) + 1) +
                            names.name + QStringLiteral(".qsc");
  if (cabReal.isEmpty() || !QFile::rename(cabReal, qscTarget)) {
    return ReportStepFailure(QStringLiteral("ファイル") + Bracketed(cab.file) + QStringLiteral("の名前を") + Bracketed(qsc.file) +
                             QStringLiteral("に変更できません。"));
  }
  return kVbTrue;
}

}  // namespace lm
