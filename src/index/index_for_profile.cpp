// The execute command's index run for the current profile.
#include "index/index_writer.h"
#include "index/next_update.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "util/message_box.h"

namespace lm {

int16_t WriteIndexForProfile(int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view) {
  int16_t status = -1;
  const bool validProfile = currentProfile >= 0 && currentProfile < kProfileCapacity;
  const QString path = validProfile ? TrimBlanks(profileTable[currentProfile].ugu) : QString();
  if (path.isEmpty()) {
    MsgBox(QStringLiteral("更新定義情報を作成するべきUGU/PSNファイルが指定されていません。"),
           style::OkOnly, kAppTitle);
    return status;
  }

  // Command1 stays disabled while the run goes on, so it cannot start twice.
  view.SetExecuteEnabled(false);
  QString nextUpdate;
  if (ReadNextUpdate(boxes, nextUpdate) == 0) {
    QString message;
    int16_t nonRegular = 0;
    if (CheckScriptFile(path, message, nonRegular) != 0) {
      MsgBox(message, style::OkOnly, kAppTitle);
    } else {
      const QString dir = DirOf(path);
      QString name;
      ScriptNameOf(path, name);
      const QString datDir = nonRegular == 0 ? dir + name + QStringLiteral("\\DAT\\")
                                             : dir + QStringLiteral("DAT\\");
      if (WriteIndexFiles(datDir, nextUpdate, mode, view) == 0) {
        profileTable[currentProfile].ugu = path;
        status = 0;
      }
    }
  }
  view.SetExecuteEnabled(true);
  return status;
}

}  // namespace lm
