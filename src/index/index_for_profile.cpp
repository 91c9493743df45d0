// The execute command's index run: for one script, and for the current
// profile (the adapter that reads the profile table).
#include "index/index_writer.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "index/next_update.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/run_lock.h"
#include "util/status.h"

namespace lm {

void RemoveIndexLeftovers(const QString& datDir) {
  const QString dir = ResolveExisting(datDir);
  if (dir.isEmpty()) return;
  // The temporary files of the replacement of index.fet and indextmp.fet:
  // ".<name>.XXXXXX" with the new contents, ".<name>.keep.XXXXXX" with the
  // earlier ones while both files are renamed.
  static const QRegularExpression temporary(QStringLiteral("^\\.(index|indextmp)\\.fet(\\.keep)?\\.[A-Za-z0-9]{6}$"),
                                            QRegularExpression::CaseInsensitiveOption);
  const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  for (const QString& name : names) {
    if (!temporary.match(name).hasMatch()) continue;
    const QString path = dir + QLatin1Char('/') + name;
    if (QFile::remove(path)) {
      RunNote(QStringLiteral("中断された処理の一時ファイル") + Bracketed(path) + QStringLiteral("を削除しました。"));
    }
  }
}

int16_t WriteIndexForScript(const QString& scriptPath, int16_t mode, NextUpdateBoxes& boxes,
                            IndexRunView& view) {
  if (scriptPath.isEmpty()) {
    MsgBox(QStringLiteral("更新定義情報を作成するべきUGU/PSNファイルが指定されていません。"),
           style::OkOnly, kAppTitle);
    return kFailed;
  }

  int16_t status = kFailed;
  // Command1 stays disabled while the run goes on, so it cannot start twice.
  view.SetExecuteEnabled(false);
  QString nextUpdate;
  if (ReadNextUpdate(boxes, nextUpdate) == 0) {
    QString message;
    ScriptLayout layout;
    if (CheckScriptLayout(scriptPath, layout, message) != 0) {
      MsgBox(message, style::OkOnly, kAppTitle);
    } else {
      // Another run writing this script's index files (or building from
      // them) is waited for.
      RunLocks lock;
      if (TakeRunLocks({IndexFilesResource(layout.datDir)}, lock)) {
        RemoveIndexLeftovers(layout.datDir);
        if (WriteIndexFiles(layout.datDir, nextUpdate, mode, view) == 0) status = kOk;
      }
    }
  }
  view.SetExecuteEnabled(true);
  return status;
}

int16_t WriteIndexForProfile(Profile* profile, int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view) {
  const QString path = profile ? TrimBlanks(profile->ugu) : QString();
  const int16_t status = WriteIndexForScript(path, mode, boxes, view);
  // The profile keeps the path in the form that was used.
  if (status == kOk && profile) profile->ugu = path;
  return status;
}

int16_t WriteIndexForProfile(int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view) {
  return WriteIndexForProfile(CurrentProfile(), mode, boxes, view);
}

}  // namespace lm
