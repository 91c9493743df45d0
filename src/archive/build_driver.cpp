#include "archive/build_driver.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "archive/archive_steps.h"
#include "archive/build_progress.h"
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
#include "util/status.h"

namespace lm {

namespace {

bool g_buildRunning = false;
// The archives the last build wrote, one "path  size バイト" line each; set on
// the build's thread, read once it has ended.
QStringList g_written;

const QString kBuildCancelled = QStringLiteral("アーカイブの作成を中止しました。");

// The archives a build replaces, moved aside while it runs instead of being
// deleted at its start. A cancelled build removes what it wrote and gets
// them back. After a successful build they are gone, as the builders always
// deleted them; after a failed one each comes back where the build left no
// file of its own.
class EarlierArchives {
 public:
  explicit EarlierArchives(const QStringList& paths) : paths_(paths) {
    for (const QString& path : paths) {
      const QString real = ResolveExisting(path);
      if (real.isEmpty() || !QFileInfo(real).isFile()) continue;
      const QFileInfo info(real);
      const QString aside = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".earlier");
      QFile::remove(aside);
      // A file that cannot be moved stays; the builder reports it when it cannot delete it.
      if (QFile::rename(real, aside)) kept_.emplace_back(real, aside);
    }
  }
  EarlierArchives(const EarlierArchives&) = delete;
  EarlierArchives& operator=(const EarlierArchives&) = delete;

  void Cancelled() {
    for (const QString& path : paths_) DeleteIfExists(path);
    for (const auto& [real, aside] : kept_) QFile::rename(aside, real);
    kept_.clear();
  }
  void Succeeded() {
    for (const auto& [real, aside] : kept_) QFile::remove(aside);
    kept_.clear();
  }
  ~EarlierArchives() {
    for (const auto& [real, aside] : kept_) {
      if (QFileInfo::exists(real)) {
        QFile::remove(aside);
      } else {
        QFile::rename(aside, real);
      }
    }
  }

 private:
  QStringList paths_;
  std::vector<std::pair<QString, QString>> kept_;
};

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

void RemoveTemporary(const QString& path) {
  const cFile f;
  if (!f.FileExists(path)) return;
  const QString real = ResolveExisting(path);
  if (!real.isEmpty() && !QFile::remove(real)) {
    MsgBox(QStringLiteral("一時ファイル") + Bracketed(path) + QStringLiteral("を削除できません。"), style::Exclamation,
           kAppTitle);
  }
}

}  // namespace

void BuildArchivesFor(Profile& profile, const QString& archiveType, quintptr hwnd) {
  g_written.clear();
  const cFile f;
  if (!f.CheckExistFile(QStringLiteral("UnLHA32.DLL"))) {
    LibraryMissing(QStringLiteral("UNLHA32.DLL"));
    return;
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
    // One step per archiver command: the attachments, the script, install.txt,
    // the deletion; three more for the self-extractor, two for the package.
    ExpectMoreBuildSteps(std::clamp<int>(profile.addfilecnt, 0, kAttachmentCapacity) + 3 + (sfx == 1 ? 3 : 0) +
                         (package == 1 ? 2 : 0));
    QStringList wanted = {ArchiveNameOf(profile, QStringLiteral(".lzh")).file};
    if (sfx == 1) wanted << ArchiveNameOf(profile, QStringLiteral(".exe")).file;
    if (package == 1) wanted << ArchiveNameOf(profile, QStringLiteral(".qsc")).file;
    // The LZH builder replaces both LHA archives; the package builder its two files too.
    QStringList replaced = {ArchiveNameOf(profile, QStringLiteral(".lzh")).file,
                            ArchiveNameOf(profile, QStringLiteral(".exe")).file};
    if (package == 1) {
      replaced << ArchiveNameOf(profile, QStringLiteral(".cab")).file
               << ArchiveNameOf(profile, QStringLiteral(".qsc")).file;
    }
    EarlierArchives earlier(replaced);
    KeepAttachments(profile, layout.folder);
    const VbBool made = package == 1 ? BuildCabPackageFor(profile, layout, sfx, extraArguments, hwnd)
                                     : BuildLzhArchiveFor(profile, layout, sfx, extraArguments, hwnd);
    if (BuildCancelled()) {
      earlier.Cancelled();
      if (package == 1 && cFile().DirExists(WorkDirPath())) ClearTempDir(WorkDirPath());
      MsgBox(kBuildCancelled, style::OkOnly, kAppTitle);
    } else {
      MsgBox(made != kVbFalse ? QStringLiteral("配布用アーカイブを作成しました。")
                              : QStringLiteral("アーカイブ作成中にエラーが発生しました。"),
             style::OkOnly, kAppTitle);
      if (made != kVbFalse) {
        earlier.Succeeded();
        g_written = WrittenLines(wanted);
      }
    }
  }

  RemoveTemporary(SfxOptionsPath());
  RemoveTemporary(InstallFilePath());
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
