#include "archive/build_driver.h"

#include <QFile>

#include "archive/cab_package_builder.h"
#include "archive/install_files.h"
#include "archive/lzh_builder.h"
#include "index/index_writer.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/app_globals.h"
#include "util/cfile.h"
#include "util/message_box.h"
#include "util/path_resolver.h"

namespace lm {

const QString kArchiveTypeQsc = QStringLiteral("Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)");
const QString kArchiveTypeLzh = QStringLiteral("LHA形式(LZH)");
const QString kArchiveTypeExe = QStringLiteral("LHA自己解凍形式(EXE)");
const QString kArchiveTypeAll = QStringLiteral("全ての種類のﾊﾟｯｹｰｼﾞを作成");

QStringList ArchiveTypeTexts() { return {kArchiveTypeQsc, kArchiveTypeLzh, kArchiveTypeExe, kArchiveTypeAll}; }

namespace {

bool g_buildRunning = false;

void LibraryMissing(const QString& upperName) {
  MsgBox(upperName + QStringLiteral("がインストールされていません。") + CR +
             QStringLiteral("この機能を使用するためには、『") + upperName + QStringLiteral("』が必要です。"),
         style::Critical, kAppTitle);
}

// The message of a temporary file that could not be written; a text that
// Shift-JIS cannot hold is named on a line of its own.
void CannotWrite(const QString& what, const QString& path, const FileError& error) {
  QString text = what + QStringLiteral("『") + path + QStringLiteral("』を作成できません。") + CR +
                 QStringLiteral("処理を中止します。");
  if (error.kind == FileError::Kind::NotEncodable) text += CR + error.message;
  MsgBox(text, style::OkOnly, kAppTitle);
}

bool WriteSfxOrSay() {
  FileError error;
  if (WriteSfxOptions(&error) == 0) return true;
  CannotWrite(QStringLiteral("自己解凍指定ファイル"), SfxOptionsPath(), error);
  return false;
}

void RemoveTemporary(const QString& path) {
  const cFile f;
  if (!f.FileExists(path)) return;
  const QString real = ResolveExisting(path);
  if (!real.isEmpty() && !QFile::remove(real)) {
    MsgBox(QStringLiteral("一時ファイル『") + path + QStringLiteral("』を削除できません。"), style::Exclamation,
           kAppTitle);
  }
}

}  // namespace

void BuildArchives(const QString& archiveType, quintptr hwnd) {
  const cFile f;
  if (!f.CheckExistFile(QStringLiteral("UnLHA32.DLL"))) {
    LibraryMissing(QStringLiteral("UNLHA32.DLL"));
    return;
  }
  {
    FileError error;
    if (WriteInstallFile(&error) != 0) {
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
    if (!WriteSfxOrSay()) return;
  } else if (archiveType == kArchiveTypeQsc) {
    if (!f.CheckExistFile(QStringLiteral("CAB32.DLL"))) {
      LibraryMissing(QStringLiteral("CAB32.DLL"));
      return;
    }
    package = 1;
  } else if (archiveType == kArchiveTypeExe) {
    sfx = 1;
    if (!WriteSfxOrSay()) return;
  }

  Profile& profile = profileTable[currentProfile];
  QString extraArguments = TrimBlanks(profile.addarc);
  if (!extraArguments.isEmpty()) extraArguments += QLatin1Char(' ');
  const QString scriptPath = TrimBlanks(profile.ugu);
  QString name;
  ScriptNameOf(scriptPath, name);

  QString message;
  int16_t nonRegular = 0;
  if (CheckScriptFile(scriptPath, message, nonRegular) != 0) {
    MsgBox(message, style::OkOnly, kAppTitle);
  } else {
    if (profile.dirarc.isEmpty()) {
      MsgBox(QStringLiteral("配布用アーカイブ作成ディレクトリが定義されていません。") + CR +
                 QStringLiteral("アーカイブ作成ディレクトリを下記に設定します。") + CR + Bracketed(programDir),
             style::OkOnly, kAppTitle);
      profile.dirarc = programDir;
    }
    if (profile.namearc.isEmpty()) {
      MsgBox(QStringLiteral("配布用アーカイブ名が定義されていません。") + CR +
                 QStringLiteral("アーカイブ名を下記とします。") + CR + Bracketed(name.toLower()),
             style::OkOnly, kAppTitle);
      profile.namearc = name.toLower();
    }
    const int16_t made = package == 1
                             ? BuildCabPackage(scriptPath, sfx, extraArguments, nonRegular, hwnd)
                             : BuildLzhArchive(scriptPath, sfx, extraArguments, nonRegular, hwnd);
    MsgBox(made != 0 ? QStringLiteral("配布用アーカイブを作成しました。")
                     : QStringLiteral("アーカイブ作成中にエラーが発生しました。"),
           style::OkOnly, kAppTitle);
  }

  RemoveTemporary(SfxOptionsPath());
  RemoveTemporary(InstallFilePath());
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
  if (!scope.Active()) return 1;
  const int16_t status = WriteIndexForProfile(1, boxes, indexView);
  if (status == 0) BuildArchives(archiveView.ArchiveTypeText(), archiveView.WindowHandle());
  return status;
}

}  // namespace lm
