// The execute command's index run: for one script, and for the current
// profile (the adapter that reads the profile table).
#include "index/index_writer.h"
#include "index/next_update.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/message_box.h"
#include "util/status.h"

namespace lm {

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
    } else if (WriteIndexFiles(layout.datDir, nextUpdate, mode, view) == 0) {
      status = kOk;
    }
  }
  view.SetExecuteEnabled(true);
  return status;
}

int16_t WriteIndexForProfile(int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view) {
  const bool validProfile = currentProfile >= 0 && currentProfile < kProfileCapacity;
  const QString path = validProfile ? TrimBlanks(profileTable[currentProfile].ugu) : QString();
  const int16_t status = WriteIndexForScript(path, mode, boxes, view);
  // The profile keeps the path in the form that was used.
  if (status == kOk) profileTable[currentProfile].ugu = path;
  return status;
}

}  // namespace lm
