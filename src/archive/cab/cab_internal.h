// The inner pieces of Cab32.DLL behind its C entry points: packing a
// directory tree into a cabinet, reading a cabinet's member list, checking a
// cabinet. Texts here are UTF-8 (file-system names on this platform); the
// entry points convert from and to code page 932 at the interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/common/archive_info.h"
#include "archive/common/command_line.h"

namespace cab {

// Runs one parsed command ("-a" packs). Appends a report of what was done to
// `report` (UTF-8, lines ended by CR LF) and returns 0 or a result code.
int RunCommand(const arc::ParsedCommand& cmd, std::string& report);

// One member of a cabinet as the find functions hand it out.
struct Member {
  ArchiveInfo info;       // fileName already in code page 932
  std::string utf8Name;   // the same name decoded, for matching patterns
};

// Reads the member list of the cabinet at `utf8Path`. Returns 0, or
// ARC_ERROR_ARC_FILE_OPEN when the file cannot be read and
// ARC_ERROR_FILE_STYLE when it is not a cabinet.
int ReadMembers(const std::string& utf8Path, std::vector<Member>& members);

// True when the cabinet's structure loads and, with `fullCheck`, every
// member's data decompresses with matching checksums.
bool CheckCabinet(const std::string& utf8Path, bool fullCheck);

}  // namespace cab
