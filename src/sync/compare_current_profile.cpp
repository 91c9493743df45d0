// The comparison for the current profile of the profile table.
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "sync/check_differ.h"
#include "util/message_box.h"

namespace lm {

QString CurrentProfileIndexPath() {
  // The stored path as it is; the check's status and message do not matter
  // here, only which layout the script has.
  const Profile* current = CurrentProfile();
  const QString scriptFile = current ? current->ugu : QString();
  ScriptLayout layout;
  QString message;
  CheckScriptLayout(scriptFile, layout, message);
  return layout.indexPath;
}

int16_t CompareCurrentProfile() {
  if (CompareIndexFiles(CurrentProfileIndexPath(), ServerIndexCopyPath()) != 0) {
    MsgBox(QStringLiteral("更新定義ファイルが存在しません。"), style::OkOnly, kAppTitle);
    return -9;
  }
  return 0;
}

}  // namespace lm
