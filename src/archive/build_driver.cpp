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
  // The cause follows on a line of its own: a text Shift-JIS cannot hold,
  // a script name the install file cannot take, the system's reason.
  if (!error.message.isEmpty()) text += CR + error.message;
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
void BuildLockedArchives(Profile& profile, const ScriptLayout& layout, const ArchiveNames& names, int16_t package,
                         int16_t sfx, const QString& extraArguments, quintptr hwnd) {
  // One step per archiver command: the attachments, the script, install.txt,
  // the deletion; three more for the self-extractor, two for the package.
  ExpectMoreBuildSteps(std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity) + 3 + (sfx == 1 ? 3 : 0) +
                       (package == 1 ? 2 : 0));
  RecoverArchiveFolder(names.folder, names.name);
  KeepAttachments(profile, layout.folder);
  ArchiveStaging staging;
  QString failedPath;
  VbBool made = kVbFalse;
  if (!staging.Create(names.folder, names.name, failedPath)) {
    MsgBox(QStringLiteral("作業フォルダ") + Bracketed(failedPath) + QStringLiteral("を作成できません。"),
           style::Exclamation, kAppTitle);
  } else {
    // The builders write into the staging folder under the archives' own names.
    const ArchiveNames staged = ArchiveNamesIn(staging.Path(), names.name);
    made = package == 1 ? BuildCabPackageFor(profile, layout, staged, sfx, extraArguments, hwnd)
                        : BuildLzhArchiveFor(profile, layout, staged, sfx, extraArguments, hwnd);
  }
  if (BuildCancelled()) {
    MsgBox(kBuildCancelled, style::OkOnly, kAppTitle);
    return;
  }
  if (made != kVbFalse) {
    // The LZH build replaces both LHA archives (an older executable goes also
    // when none is made); the package build its cabinet too.
    const QString lzh = QStringLiteral(".lzh"), exe = QStringLiteral(".exe"), qsc = QStringLiteral(".qsc"),
                  cab = QStringLiteral(".cab");
    QStringList put = {names.name + lzh};
    QStringList wanted = {names.lzh.file};
    QStringList remove;
    if (sfx == 1) {
      put << names.name + exe;
      wanted << names.exe.file;
    } else {
      remove << names.name + exe;
    }
    if (package == 1) {
      put << names.name + qsc;
      wanted << names.qsc.file;
      remove << names.name + cab;
    }
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

// The folder and base name of the archives of `profile`: the overrides',
// else the profile's, else (for what the profile leaves empty) the defaults
// the build fills in.
QString ArchiveFolderOf(const Profile& profile, const BuildOverrides& overrides) {
  if (!overrides.folder.isEmpty()) return overrides.folder;
  return profile.dirarc.isEmpty() ? DefaultArchiveFolder() : profile.dirarc;
}
QString ArchiveBaseNameOf(const Profile& profile, const ScriptLayout& layout, const BuildOverrides& overrides) {
  if (!overrides.name.isEmpty()) return overrides.name;
  return profile.namearc.isEmpty() ? layout.name.toLower() : profile.namearc;
}

}  // namespace

void BuildArchivesFor(Profile& profile, const QString& archiveType, quintptr hwnd, const BuildOverrides& overrides) {
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
  // The library's switch of its fast mode after the profile's own arguments.
  if (overrides.fast) extraArguments += extraArguments.isEmpty() ? QStringLiteral("-f") : QStringLiteral(" -f");
  if (!extraArguments.isEmpty()) extraArguments += QLatin1Char(' ');
  QString message;
  ScriptLayout layout;
  if (CheckScriptLayout(TrimBlanks(profile.ugu), layout, message) != 0) {
    MsgBox(message, style::OkOnly, kAppTitle);
  } else {
    // The profile keeps the defaults filled in here; a folder or name of the
    // overrides is this build's only.
    if (overrides.folder.isEmpty() && profile.dirarc.isEmpty()) {
      MsgBox(QStringLiteral("配布用アーカイブ作成ディレクトリが定義されていません。") + CR +
                 QStringLiteral("アーカイブ作成ディレクトリを下記に設定します。") + CR + Bracketed(DefaultArchiveFolder()),
             style::OkOnly, kAppTitle);
      profile.dirarc = DefaultArchiveFolder();
    }
    if (overrides.name.isEmpty() && profile.namearc.isEmpty()) {
      MsgBox(QStringLiteral("配布用アーカイブ名が定義されていません。") + CR +
                 QStringLiteral("アーカイブ名を下記とします。") + CR + Bracketed(layout.name.toLower()),
             style::OkOnly, kAppTitle);
      profile.namearc = layout.name.toLower();
    }
    const ArchiveNames names =
        ArchiveNamesIn(ArchiveFolderOf(profile, overrides), ArchiveBaseNameOf(profile, layout, overrides));
    RunLocks locks;
    if (TakeRunLocks({ArchiveNamesResource(names.folder, names.name)}, locks)) {
      BuildLockedArchives(profile, layout, names, package, sfx, extraArguments, hwnd);
    }
  }
  EndBuildSteps();
}

void BuildArchives(const QString& archiveType, quintptr hwnd) {
  // Without a current profile the build stops at its first check (no script
  // name for install.txt), as it always did.
  Profile none;
  Profile* current = CurrentProfile();
  BuildArchivesFor(current ? *current : none, archiveType, hwnd);
}

QString ArchiveFolderOfCurrentProfile() {
  const Profile* current = CurrentProfile();
  if (!current) return DefaultArchiveFolder();
  const QString dir = TrimBlanks(current->dirarc);
  return dir.isEmpty() ? DefaultArchiveFolder() : dir;
}

std::vector<RunResource> RunResourcesOf(const Profile& profile, const BuildOverrides& overrides) {
  QString message;
  ScriptLayout layout;
  if (CheckScriptLayout(TrimBlanks(profile.ugu), layout, message) != 0) return {};
  const QString name = ArchiveBaseNameOf(profile, layout, overrides);
  std::vector<RunResource> resources = {IndexFilesResource(layout.datDir)};
  if (!name.isEmpty()) resources.push_back(ArchiveNamesResource(ArchiveFolderOf(profile, overrides), name));
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

int16_t RunOption2(NextUpdateBoxes& boxes, IndexRunView& indexView, ArchiveRunView& archiveView,
                   const BuildOverrides& overrides) {
  ArchiveBuildScope scope(archiveView);
  if (!scope.Active()) return kAborted;
  g_written.clear();
  // The profile is looked up once: the index and the build work on the same one.
  Profile* current = CurrentProfile();
  Profile none;
  Profile& profile = current ? *current : none;
  // The script's index files and the archive names stay this run's from the
  // index to the last archive: another run that wants either waits.
  RunLocks locks;
  if (!TakeRunLocks(RunResourcesOf(profile, overrides), locks)) return kAborted;
  BeginBuildSteps(1);
  ReportBuildStep(IndexStepText());
  const int16_t status = WriteIndexForProfile(current, 1, boxes, indexView);
  if (status == kOk) {
    if (BuildCancelled()) {
      MsgBox(kBuildCancelled, style::OkOnly, kAppTitle);
    } else {
      // Read on this thread: the view belongs to the window.
      const QString type = archiveView.ArchiveTypeText();
      const quintptr hwnd = archiveView.WindowHandle();
      archiveView.RunBuild([&profile, &overrides, type, hwnd] { BuildArchivesFor(profile, type, hwnd, overrides); });
      if (!g_written.isEmpty()) archiveView.ShowArchivesWritten(g_written);
    }
  }
  EndBuildSteps();
  return status;
}

}  // namespace lm
