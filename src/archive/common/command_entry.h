// The body shared by the command entry points of the archiver libraries
// (Unlha, Cab): one command at a time, the command line decoded from code
// page 932, every failure turned into a result code, the report written to
// the caller's buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/common/library_state.h"

namespace arc {

// Runs one decoded command line; returns its result code and fills `report`
// (UTF-8) with what the caller's buffer gets.
using CommandRunner = std::function<int(const std::string& utf8Line, std::string& report)>;

// ARC_ERROR_ALREADY_RUNNING (empty output) while another command of `state`
// runs; ARC_ERROR_COMMAND_NAME for a missing or undecodable command line;
// otherwise the runner's code. Nothing escapes: running out of memory gives
// ARC_ERROR_MORE_HEAP_MEMORY and any other exception ARC_ERROR_CANNOT_WRITE.
int RunCommandEntry(LibraryState& state, const char* cmdLine, char* output, uint32_t outputSize,
                    const CommandRunner& run);

}  // namespace arc
