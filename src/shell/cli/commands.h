// The commands; each returns its exit status and has printed its messages.
#pragma once

#include "shell/cli/command_context.h"

namespace lm::cli {

int RunProfilesCommand(CommandContext& ctx);
int RunIndexCommand(CommandContext& ctx);
int RunBuildCommand(CommandContext& ctx);
int RunCompareCommand(CommandContext& ctx);
int RunPublishCommand(CommandContext& ctx);

}  // namespace lm::cli
