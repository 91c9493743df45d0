#include "shell/cli/command_line.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include <QCoreApplication>

#include "shell/about_text.h"
#include "shell/cli/arguments.h"
#include "shell/cli/command_context.h"
#include "shell/cli/console_sink.h"
#include "shell/version.h"
#include "util/app_folders.h"
#include "util/app_globals.h"

namespace lm::cli {
namespace {

void PrintText(std::FILE* stream, const QString& text) { std::fputs(text.toUtf8().constData(), stream); }

// A path ending in .ugu or .psn that is not an option.
bool IsScriptFileArgument(const char* arg) {
  const std::size_t n = std::strlen(arg);
  if (n <= 4 || arg[0] == '-' || arg[n - 4] != '.') return false;
  return ::strcasecmp(arg + n - 3, "ugu") == 0 || ::strcasecmp(arg + n - 3, "psn") == 0;
}

}  // namespace

bool WantsCommandLine(int argc, char** argv) {
  if (argc <= 1 || argv[1] == nullptr) return false;
  return !(argc == 2 && IsScriptFileArgument(argv[1]));
}

int RunCommandLine(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("loftmark"));
  QCoreApplication::setApplicationVersion(QStringLiteral(LM_VERSION));
  timeZoneBias = ReadTimeZoneBias();

  // Every word is checked before anything is read or written.
  Arguments args;
  QString error;
  const bool parsed = args.Parse(QCoreApplication::arguments().mid(1), error);
  const QStringList positional = args.positionalArguments();
  const CommandSpec* command = positional.isEmpty() ? nullptr : FindCommand(positional[0]);
  if (command != nullptr) SetUsageCommand(QString::fromLatin1(command->name));
  if (!parsed) return UsageError(error);
  if (!positional.isEmpty() && command == nullptr) return UsageError(QStringLiteral("不明なコマンドです: ") + positional[0]);
  if (args.HelpWanted()) {
    PrintText(stdout, command ? CommandHelp(*command) : GlobalHelp());
    return kSuccess;
  }
  if (args.VersionWanted()) {
    // The version, the licence and libraries, then which folders hold the
    // settings and the working files.
    PrintText(stdout, QStringLiteral("loftmark ") + QCoreApplication::applicationVersion() + QLatin1Char('\n') +
                          LicenceAndLibrariesText() + QStringLiteral("\n\n") + FoldersText() + QLatin1Char('\n'));
    return kSuccess;
  }
  if (command == nullptr) return UsageError(QStringLiteral("コマンドを指定してください。"));
  if (positional.size() > 1)
    return UsageError(QStringLiteral("余分な引数があります: ") + positional.mid(1).join(QLatin1Char(' ')));
  if (const QString refused = args.RefusedOption(*command); !refused.isEmpty()) return UsageError(refused);

  ConsoleMessageSink sink(args.isSet(QStringLiteral("yes")));
  CommandContext ctx{args, sink};
  return command->run(ctx);
}

}  // namespace lm::cli
