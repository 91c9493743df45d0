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
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "archive/cab/cab_internal.h"
#include "archive/common/command_entry.h"
#include "archive/common/library_state.h"
#include "archive/common/progress_meter.h"
#include "archive/common/output_text.h"
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

// An open archive for the find functions: its members, read once.
struct OpenArchive {
  std::vector<cab::Member> members;
  std::string wildName;
  size_t next = 0;
};

std::mutex g_openMutex;
std::vector<OpenArchive*> g_open;  // handles given out and not yet closed

OpenArchive* Lookup(HARC harc) {
  std::lock_guard<std::mutex> lock(g_openMutex);
  for (OpenArchive* a : g_open) {
    if (a == harc) return a;
  }
  return nullptr;
}

// The member name's last level, for patterns without a directory part.
std::string LastLevel(const std::string& name) {
  const size_t p = name.find_last_of("\\/");
  return p == std::string::npos ? name : name.substr(p + 1);
}

int FindFrom(OpenArchive* a, ArchiveInfo* info) {
  const bool pathPattern = a->wildName.find_first_of("\\/") != std::string::npos;
  const std::string pattern = pathPattern ? arc::ToSlashes(a->wildName) : a->wildName;
  while (a->next < a->members.size()) {
    const cab::Member& m = a->members[a->next++];
    const std::string subject = pathPattern ? arc::ToSlashes(m.utf8Name) : LastLevel(m.utf8Name);
    if (arc::WildcardMatch(pattern, subject)) {
      if (info) *info = m.info;
      return 0;
    }
  }
  return -1;
}

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
  auto* a = new (std::nothrow) OpenArchive;
  if (!a) return nullptr;
  try {
    if (cab::ReadMembers(arc::ToSlashes(path), a->members) != ARC_OK) {
      delete a;
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_open.push_back(a);
  } catch (...) {
    delete a;
    return nullptr;
  }
  return a;
}

int CabFindFirst(HARC harc, const char* wildName, ArchiveInfo* info) {
  OpenArchive* a = Lookup(harc);
  if (!a) return -1;
  a->next = 0;
  // The pattern arrives in code page 932 and is matched with decoded names.
  if (!wildName || !*wildName) {
    a->wildName = "*.*";
  } else if (!cp932::ToUtf8(wildName, a->wildName)) {
    a->next = a->members.size();  // no name can match a pattern that is no text
    return -1;
  }
  return FindFrom(a, info);
}

int CabFindNext(HARC harc, ArchiveInfo* info) {
  OpenArchive* a = Lookup(harc);
  if (!a) return -1;
  return FindFrom(a, info);
}

int CabCloseArchive(HARC harc) {
  std::lock_guard<std::mutex> lock(g_openMutex);
  for (size_t i = 0; i < g_open.size(); ++i) {
    if (g_open[i] == harc) {
      delete g_open[i];
      g_open.erase(g_open.begin() + static_cast<std::ptrdiff_t>(i));
      return 0;
    }
  }
  return -1;
}

int CabConfigDialog(ARC_HWND, char*, int) { return 0; }

}  // extern "C"
