#include "shell/cli/command_context.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "profiles/profile_store.h"
#include "shell/cli/command_line.h"
#include "util/app_globals.h"
#include "util/message_box.h"

namespace lm::cli {

namespace {

QString g_usageCommand;  // the command named on the command line, once known

}  // namespace

void SetUsageCommand(const QString& command) { g_usageCommand = command; }

int UsageError(const QString& text) {
  const QString help = g_usageCommand.isEmpty() ? QStringLiteral("loftmark --help")
                                                : QStringLiteral("loftmark ") + g_usageCommand + QStringLiteral(" --help");
  PrintMessage(stderr, text + QLatin1Char('\n') + QStringLiteral("使い方は ") + help + QStringLiteral(" で表示されます。"),
               true);
  return kUsage;
}

int Failure(CommandContext& ctx, const QString& text) {
  ctx.sink.Add(text);
  ctx.sink.Flush(false);
  return kFailed;
}

int LoadSettings(CommandContext& ctx) {
  if (!ctx.args.isSet(QStringLiteral("settings"))) {
    LoadProfiles();
    return kSuccess;
  }
  const QString file = ctx.args.value(QStringLiteral("settings"));
  const QFileInfo info(file);
  if (!info.isFile() || !info.isReadable())
    return Failure(ctx, QStringLiteral("設定ファイル") + Bracketed(file) + QStringLiteral("を読み込めません。"));
  LoadProfilesFrom(info.absoluteFilePath());
  return kSuccess;
}

namespace {

// The profile called `name`; a number selects the profile of that index
// when no profile has it as its name. -1 when there is none.
int FindProfile(const QString& name) {
  for (int i = 0; i <= lastProfile; ++i)
    if (TrimBlanks(profileTable[static_cast<size_t>(i)].profile) == name) return i;
  bool number = false;
  const int index = name.toInt(&number);
  if (number && index >= 0 && index <= lastProfile &&
      !TrimBlanks(profileTable[static_cast<size_t>(index)].ugu).isEmpty())
    return index;
  return -1;
}

}  // namespace

int ChooseProfile(CommandContext& ctx, bool scriptAllowed) {
  const bool byProfile = ctx.args.isSet(QStringLiteral("profile"));
  const bool byScript = scriptAllowed && ctx.args.isSet(QStringLiteral("script"));
  if (byProfile == byScript)
    return UsageError(byProfile ? QStringLiteral("--profile と --script は同時に指定できません。")
                                : scriptAllowed ? QStringLiteral("--profile NAME または --script FILE を指定してください。")
                                                : QStringLiteral("--profile NAME を指定してください。"));
  // The archive name is checked with the other arguments, before the
  // settings are read.
  if (ctx.args.isSet(QStringLiteral("name"))) {
    const QString archiveName = TrimBlanks(ctx.args.value(QStringLiteral("name")));
    if (archiveName.isEmpty() || archiveName.contains(QLatin1Char('/')) || archiveName.contains(QLatin1Char('\\')))
      return UsageError(QStringLiteral("--name にはフォルダを含まないアーカイブ名を指定してください。"));
  }

  if (byProfile) {
    if (const int rc = LoadSettings(ctx); rc != kSuccess) return rc;
    const QString name = ctx.args.value(QStringLiteral("profile"));
    const int index = FindProfile(name);
    if (index < 0) return Failure(ctx, QStringLiteral("プロファイル") + Bracketed(name) + QStringLiteral("がありません。"));
    currentProfile = static_cast<int16_t>(index);
  } else {
    // A script without a profile: a fresh profile of its own, as a new
    // profile of the window would start.
    programDir = ExecutableDir();
    for (Profile& p : profileTable) p.Clear();
    lastProfile = 0;
    currentProfile = 0;
    const QString script = ctx.args.value(QStringLiteral("script"));
    profileTable[0].profile = QFileInfo(script).completeBaseName();
    profileTable[0].ugu = QFileInfo(script).absoluteFilePath();
  }
  return kSuccess;
}

BuildOverrides BuildOverridesOf(const Arguments& args) {
  BuildOverrides overrides;
  if (args.isSet(QStringLiteral("out"))) overrides.folder = QFileInfo(args.value(QStringLiteral("out"))).absoluteFilePath();
  if (args.isSet(QStringLiteral("name"))) overrides.name = TrimBlanks(args.value(QStringLiteral("name")));
  overrides.fast = args.isSet(QStringLiteral("fast"));
  return overrides;
}

bool MakeOutputFolder(const QString& folder) {
  if (QFileInfo(folder).isDir() || QDir().mkpath(folder)) return true;
  MsgBox(QStringLiteral("配布用アーカイブ作成ディレクトリ") + Bracketed(folder) + QStringLiteral("を作成できません。"),
         style::Exclamation, kAppTitle);
  return false;
}

bool ProgressWanted() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace lm::cli
