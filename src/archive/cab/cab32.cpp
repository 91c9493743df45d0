// The C entry points of Cab32.DLL.
//
// Texts cross the interface in code page 932 and are decoded before any path
// is looked at. One command runs at a time in the process: a call that comes
// while another runs gets ARC_ERROR_ALREADY_RUNNING. The background and
// cursor modes are kept and reported; there is nothing to show on this
// platform, and the option dialog has no options to offer (it returns 0, so
// the caller's buffer is left as it was).
#pragma GCC visibility push(default)
#include "archive/common/archiver_api.h"
#pragma GCC visibility pop

#include <cstring>
#include <string>
#include <vector>

#include "archive/cab/cab_internal.h"
#include "archive/common/command_entry.h"
#include "archive/common/library_state.h"
#include "archive/common/open_archives.h"
#include "archive/common/output_text.h"
#include "archive/common/progress_meter.h"
#include "archive/common/result_codes.h"
#include "util/cp932/cp932.h"

namespace {

// Version 1.00, as the library's version function reports it (hundredths).
constexpr uint16_t kVersion = 100;

// Check modes of the archive check: 0 and 1 look at the headers only;
// anything with the full-check, recovery or all bits also unpacks the data.
constexpr int kFullCheckBits = 2 | 4 | 16;

arc::LibraryState g_state{0};

bool DecodePath(const char* sjis, std::string& utf8) {
  return sjis && cp932::ToUtf8(sjis, utf8) && !utf8.empty();
}

arc::OpenArchives g_archives;  // handles given out and not yet closed

}  // namespace

extern "C" {

int Cab(ARC_HWND, const char* cmdLine, char* output, uint32_t outputSize) {
  return arc::RunCommandEntry(g_state, cmdLine, output, outputSize, [](const std::string& line, std::string& report) {
    return cab::RunCommand(arc::ParseCommand(line), report);
  });
}

int CabSetProgressProc(ARC_PROGRESS_PROC proc, void* user) { return arc::SetThreadProgress(proc, user); }
uint16_t CabGetVersion(void) { return kVersion; }
int CabGetRunning(void) { return g_state.Running(); }
int CabGetBackGroundMode(void) { return g_state.BackgroundMode(); }
int CabSetBackGroundMode(int backgroundMode) { return g_state.SetBackgroundMode(backgroundMode); }
int CabGetCursorMode(void) { return g_state.CursorMode(); }
int CabSetCursorMode(int cursorMode) { return g_state.SetCursorMode(cursorMode); }

int CabCheckArchive(const char* archivePath, int mode) {
  std::string path;
  if (!DecodePath(archivePath, path)) return 0;
  try {
    return cab::CheckCabinet(arc::ToSlashes(path), (mode & kFullCheckBits) != 0) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

HARC CabOpenArchive(ARC_HWND, const char* archivePath, uint32_t) {
  std::string path;
  if (!DecodePath(archivePath, path)) return nullptr;
  try {
    std::vector<cab::Member> members;
    if (cab::ReadMembers(arc::ToSlashes(path), members) != ARC_OK) return nullptr;
    arc::ArchiveListing listing;
    for (cab::Member& m : members) {
      listing.members.push_back(m.info);
      listing.paths.push_back(std::move(m.utf8Name));
    }
    return g_archives.Open(std::move(listing));
  } catch (...) {
    return nullptr;
  }
}

int CabFindFirst(HARC harc, const char* wildName, ArchiveInfo* info) { return g_archives.FindFirst(harc, wildName, info); }
int CabFindNext(HARC harc, ArchiveInfo* info) { return g_archives.FindNext(harc, info); }
int CabCloseArchive(HARC harc) { return g_archives.Close(harc); }

int CabConfigDialog(ARC_HWND, char*, int) { return 0; }

}  // extern "C"
