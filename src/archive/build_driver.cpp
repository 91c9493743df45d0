#include "archive/build_driver.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "archive/archive_steps.h"
#include "archive/build_progress.h"
#include "archive/build_workspace.h"
#include "archive/cab_package_builder.h"
#include "archive/install_files.h"
#include "archive/lzh_builder.h"
#include "index/index_writer.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/run_lock.h"
#include "util/status.h"

namespace lm {

namespace {

bool g_buildRunning = false;
// The archives the last build wrote, one "path  size バイト" line each; set on
// the build's thread, read once it has ended.
QStringList g_written;

const QString kBuildCancelled = QStringLiteral("アーカイブの作成を中止しました。");

// "path  size バイト" for each archive the build was to write and did.
QStringList WrittenLines(const QStringList& paths) {
  QStringList lines;
  for (const QString& path : paths) {
    const QString real = ResolveExisting(path);
    if (real.isEmpty()) continue;
    lines << real + QStringLiteral("  ") + QLocale::c().toString(QFileInfo(real).size()) + QStringLiteral(" バイト");
  }
  return lines;
}

void LibraryMissing(const QString& upperName) {
  MsgBox(upperName + QStringLiteral("がインストールされていません。") + CR +
             QStringLiteral("この機能を使用するためには、") + Bracketed(upperName) + QStringLiteral("が必要です。"),
         style::Critical, kAppTitle);
}

// The message of a temporary file that could not be written; a text that
// Shift-JIS cannot hold is named on a line of its own.
void CannotWrite(const QString& what, const QString& path, const FileError& error) {
  QString text = what + Bracketed(path) + QStringLiteral("を作成できません。") + CR +
                 QStringLiteral("処理を中止します。");
  if (error.kind == FileError::Kind::NotEncodable) text += CR + error.message;
  MsgBox(text, style::OkOnly, kAppTitle);
}

bool WriteSfxOrSay(const Profile& profile) {
  FileError error;
  if (WriteSfxOptionsFor(profile, &error) == 0) return true;
  CannotWrite(QStringLiteral("自己解凍指定ファイル"), SfxOptionsPath(), error);
  return false;
}

// The archive names are this run's: what killed runs left is cleaned up,
// the archives are made in a staging folder and moved to their names when
// all of them were made.
void BuildLockedArchives(Profile& profile, const ScriptLayout& layout, int16_t package, int16_t sfx,
                         const QString& extraArguments, quintptr hwnd) {
  // One step per archiver command: the attachments, the script, install.txt,
  // the deletion; three more for the self-extractor, two for the package.
  ExpectMoreBuildSteps(std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity) + 3 + (sfx == 1 ? 3 : 0) +
                       (package == 1 ? 2 : 0));
  RecoverArchiveFolder(profile.dirarc, profile.namearc);
  KeepAttachments(profile, layout.folder);
  ArchiveStaging staging;
  QString failedPath;
  VbBool made = kVbFalse;
  if (!staging.Create(profile.dirarc, profile.namearc, failedPath)) {
    MsgBox(QStringLiteral("作業フォルダ") + Bracketed(failedPath) + QStringLiteral("を作成できません。"),
           style::Exclamation, kAppTitle);
  } else {
    // The builders write into the staging folder under the archives' own names.
    Profile staged = profile;
    staged.dirarc = staging.Path();
    made = package == 1 ? BuildCabPackageFor(staged, layout, sfx, extraArguments, hwnd)
                        : BuildLzhArchiveFor(staged, layout, sfx, extraArguments, hwnd);
  }
  if (BuildCancelled()) {
    MsgBox(kBuildCancelled, style::OkOnly, kAppTitle);
    return;
  }
  if (made != kVbFalse) {
    // The LZH build replaces both LHA archives (an older executable goes also
    // when none is made); the package build its cabinet too.
    QStringList kinds = {QStringLiteral(".lzh")};
    QStringList gone;
    (sfx == 1 ? kinds : gone) << QStringLiteral(".exe");
    if (package == 1) {
      kinds << QStringLiteral(".qsc");
      gone << QStringLiteral(".cab");
    }
    QStringList put, remove, wanted;
    for (const QString& ext : std::as_const(kinds)) {
      put << profile.namearc + ext;
      wanted << ArchiveNameOf(profile, ext).file;
    }
    for (const QString& ext : std::as_const(gone)) remove << profile.namearc + ext;
    if (!staging.Commit(put, remove, failedPath)) {
      MsgBox(QStringLiteral("ファイル") + Bracketed(failedPath) + QStringLiteral("を置き換えられません。"),
             style::Exclamation, kAppTitle);
      made = kVbFalse;
    } else {
      g_written = WrittenLines(wanted);
    }
  }
  MsgBox(made != kVbFalse ? QStringLiteral("配布用アーカイブを作成しました。")
                          : QStringLiteral("アーカイブ作成中にエラーが発生しました。"),
         style::OkOnly, kAppTitle);
}

}  // namespace

void BuildArchivesFor(Profile& profile, const QString& archiveType, quintptr hwnd) {
  g_written.clear();
  const cFile f;
  if (!f.CheckExistFile(QStringLiteral("UnLHA32.DLL"))) {
    LibraryMissing(QStringLiteral("UNLHA32.DLL"));
    return;
  }
  // install.txt, "$" and the unpacked tree of this build only; removed with
  // everything in it when the build ends.
  BuildWorkFolder work;
  {
    QString failedPath;
    if (!work.Create(failedPath)) {
      MsgBox(QStringLiteral("一時ディレクトリ") + Bracketed(failedPath) + QStringLiteral("を作成できません。") + CR +
                 QStringLiteral("処理を中止します。"),
             style::OkOnly, kAppTitle);
      return;
    }
  }
  {
    FileError error;
    if (WriteInstallFileFor(profile, &error) != 0) {
      CannotWrite(QStringLiteral("インストール指定ファイル"), InstallFilePath(), error);
      return;
    }
  }

  int16_t package = 0;
  int16_t sfx = 0;
  if (archiveType == kArchiveTypeAll) {
    if (!f.CheckExistFile(QStringLiteral("CAB32.DLL"))) {
      LibraryMissing(QStringLiteral("CAB32.DLL"));
      return;
    }
    package = 1;
    sfx = 1;
    if (!WriteSfxOrSay(profile)) return;
  } else if (archiveType == kArchiveTypeQsc) {
    if (!f.CheckExistFile(QStringLiteral("CAB32.DLL"))) {
      LibraryMissing(QStringLiteral("CAB32.DLL"));
      return;
    }
    package = 1;
  } else if (archiveType == kArchiveTypeExe) {
    sfx = 1;
    if (!WriteSfxOrSay(profile)) return;
  }

  QString extraArguments = TrimBlanks(profile.addarc);
  if (!extraArguments.isEmpty()) extraArguments += QLatin1Char(' ');
  QString message;
  ScriptLayout layout;
  if (CheckScriptLayout(TrimBlanks(profile.ugu), layout, message) != 0) {
    MsgBox(message, style::OkOnly, kAppTitle);
  } else {
    if (profile.dirarc.isEmpty()) {
      MsgBox(QStringLiteral("配布用アーカイブ作成ディレクトリが定義されていません。") + CR +
                 QStringLiteral("アーカイブ作成ディレクトリを下記に設定します。") + CR + Bracketed(DefaultArchiveFolder()),
             style::OkOnly, kAppTitle);
      profile.dirarc = DefaultArchiveFolder();
    }
    if (profile.namearc.isEmpty()) {
      MsgBox(QStringLiteral("配布用アーカイブ名が定義されていません。") + CR +
                 QStringLiteral("アーカイブ名を下記とします。") + CR + Bracketed(layout.name.toLower()),
             style::OkOnly, kAppTitle);
      profile.namearc = layout.name.toLower();
    }
    RunLocks names;
    if (TakeRunLocks({ArchiveNamesResource(profile.dirarc, profile.namearc)}, names)) {
      BuildLockedArchives(profile, layout, package, sfx, extraArguments, hwnd);
    }
  }
  EndBuildSteps();
}

void BuildArchives(const QString& archiveType, quintptr hwnd) {
  // Without a current profile the build stops at its first check (no script
  // name for install.txt), as it always did.
  Profile none;
  BuildArchivesFor(HaveCurrentProfile() ? profileTable[currentProfile] : none, archiveType, hwnd);
}

QString ArchiveFolderOfCurrentProfile() {
  if (!HaveCurrentProfile()) return DefaultArchiveFolder();
  const QString dir = TrimBlanks(profileTable[currentProfile].dirarc);
  return dir.isEmpty() ? DefaultArchiveFolder() : dir;
}

std::vector<RunResource> RunResourcesOf(const Profile& profile) {
  QString message;
  ScriptLayout layout;
  if (CheckScriptLayout(TrimBlanks(profile.ugu), layout, message) != 0) return {};
  // The defaults the build fills in where the profile has none.
  const QString folder = profile.dirarc.isEmpty() ? DefaultArchiveFolder() : profile.dirarc;
  const QString name = profile.namearc.isEmpty() ? layout.name.toLower() : profile.namearc;
  std::vector<RunResource> resources = {IndexFilesResource(layout.datDir)};
  if (!name.isEmpty()) resources.push_back(ArchiveNamesResource(folder, name));
  return resources;
}

bool ArchiveBuildRunning() { return g_buildRunning; }

ArchiveBuildScope::ArchiveBuildScope(ArchiveRunView& view) : view_(view), active_(!g_buildRunning) {
  if (!active_) return;
  g_buildRunning = true;
  view_.SetBuildRunning(true);
}

ArchiveBuildScope::~ArchiveBuildScope() {
  if (!active_) return;
  view_.SetBuildRunning(false);
  g_buildRunning = false;
}

int16_t RunOption2(NextUpdateBoxes& boxes, IndexRunView& indexView, ArchiveRunView& archiveView) {
  ArchiveBuildScope scope(archiveView);
  if (!scope.Active()) return kAborted;
  g_written.clear();
  // The script's index files and the archive names stay this run's from the
  // index to the last archive: another run that wants either waits.
  RunLocks locks;
  if (!TakeRunLocks(RunResourcesOf(CurrentProfileOrEmpty()), locks)) return kAborted;
  BeginBuildSteps(1);
  ReportBuildStep(IndexStepText());
  const int16_t status = WriteIndexForProfile(1, boxes, indexView);
  if (status == kOk) {
    if (BuildCancelled()) {
      MsgBox(kBuildCancelled, style::OkOnly, kAppTitle);
    } else {
      // Read on this thread: the view belongs to the window.
      const QString type = archiveView.ArchiveTypeText();
      const quintptr hwnd = archiveView.WindowHandle();
      archiveView.RunBuild([type, hwnd] { BuildArchives(type, hwnd); });
      if (!g_written.isEmpty()) archiveView.ShowArchivesWritten(g_written);
    }
  }
  EndBuildSteps();
  return status;
}

}  // namespace lm
