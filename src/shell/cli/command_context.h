// What every command gets: the parsed arguments and the message sink, and
// the choice of the profile it works on.
#pragma once

#include <QCommandLineParser>
#include <QString>

#include "shell/cli/console_sink.h"

namespace lm::cli {

struct CommandContext {
  const QCommandLineParser& args;
  ConsoleMessageSink& sink;
};

// Prints "loftmark: TEXT" and the hint to --help on standard error; returns kUsage.
int UsageError(const QString& text);
// Keeps `text` as the command's failure, prints it, returns kFailed.
int Failure(CommandContext& ctx, const QString& text);

// A usage error when an option that only build takes (--type, --out,
// --name) is given to another command; kSuccess otherwise.
int RefuseBuildOptions(const CommandContext& ctx);

// Reads the profiles (lfup.ini beside the program, or --settings FILE).
// kSuccess, or the exit status after the message.
int LoadSettings(CommandContext& ctx);

// Makes the profile named by --profile, or a profile for --script FILE,
// the current one (in memory only; nothing is saved). --out and --name, when
// given, set its archive folder and name. kSuccess or the exit status.
int ChooseProfile(CommandContext& ctx, bool scriptAllowed);

// True when standard error is a terminal (a progress line is shown then).
bool ProgressWanted();

}  // namespace lm::cli
