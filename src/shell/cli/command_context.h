// What every command gets: the parsed arguments and the message sink, and
// the choice of the profile it works on.
#pragma once

#include <QString>

#include "archive/build_driver.h"
#include "shell/cli/arguments.h"
#include "shell/cli/console_sink.h"

namespace lm::cli {

struct CommandContext {
  const Arguments& args;
  ConsoleMessageSink& sink;
};

// Prints "loftmark: TEXT" and the hint to the help on standard error;
// returns kUsage. Once the command is known the hint names its own help.
int UsageError(const QString& text);
void SetUsageCommand(const QString& command);
// Keeps `text` as the command's failure, prints it, returns kFailed.
int Failure(CommandContext& ctx, const QString& text);

// Reads the profiles (lfup.ini beside the program, or --settings FILE).
// kSuccess, or the exit status after the message.
int LoadSettings(CommandContext& ctx);

// Makes the profile named by --profile, or a profile for --script FILE,
// the current one (in memory only; nothing is saved); a --name that names a
// folder is refused here, before the settings are read. kSuccess or the
// exit status.
int ChooseProfile(CommandContext& ctx, bool scriptAllowed);

// The build's own values from --out (made absolute; the folder is not made
// here, see MakeOutputFolder), --name and --fast. The profile is left alone.
BuildOverrides BuildOverridesOf(const Arguments& args);

// Makes the folder of --out when it is not there yet; false after the
// message when it cannot be made. The build calls it when the archives are
// about to be written, so a run that stops earlier leaves nothing behind.
bool MakeOutputFolder(const QString& folder);

// True when standard error is a terminal (a progress line is shown then).
bool ProgressWanted();

}  // namespace lm::cli
