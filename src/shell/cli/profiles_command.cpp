// profiles: the profiles of the settings file, one a line.
#include <algorithm>

#include "profiles/profile_store.h"
#include "shell/cli/command_line.h"
#include "shell/cli/commands.h"

namespace lm::cli {

// Index (three digits, as the settings file numbers it), name, script
// information file and archive folder, separated by tabs; a fifth field
// marks a profile whose script information file is not found.
int RunProfilesCommand(CommandContext& ctx) {
  if (const int rc = LoadSettings(ctx); rc != kSuccess) return rc;
  for (int i = 0; i <= lastProfile; ++i) {
    const Profile& p = profileTable[static_cast<size_t>(i)];
    QString line = QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')) + QLatin1Char('\t') + TrimBlanks(p.profile) +
                   QLatin1Char('\t') + TrimBlanks(p.ugu) + QLatin1Char('\t') + TrimBlanks(p.dirarc);
    const bool missing = std::find(unfoundProfiles.begin(), unfoundProfiles.end(), i) != unfoundProfiles.end();
    if (missing) line += QStringLiteral("\tスクリプト情報ファイルが見つかりません");
    PrintMessage(stdout, line, false);
  }
  ctx.sink.Flush(true);
  return kSuccess;
}

}  // namespace lm::cli
