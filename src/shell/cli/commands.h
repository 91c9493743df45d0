// The commands; each returns its exit status and has printed its messages.
#pragma once

#include "shell/cli/command_context.h"

namespace lm::cli {

int RunProfilesCommand(CommandContext& ctx);
int RunIndexCommand(CommandContext& ctx);
int RunBuildCommand(CommandContext& ctx);
int RunCompareCommand(CommandContext& ctx);
int RunPublishCommand(CommandContext& ctx);
int RunVerifyCommand(CommandContext& ctx);

// Writes the current profile's index files (mode 1: no success message)
// with the next update from --next and --tmp as index does. kSuccess, or
// the exit status after the message.
int WriteIndexFromArguments(CommandContext& ctx);

}  // namespace lm::cli
