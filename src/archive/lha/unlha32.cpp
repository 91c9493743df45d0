// The C entry points of UnLHA32.DLL.
#pragma GCC visibility push(default)
#include "archive/lha/unlha32.h"
#pragma GCC visibility pop

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "archive/common/command_entry.h"
#include "archive/common/command_line.h"
#include "archive/common/library_state.h"
#include "archive/common/progress_meter.h"
#include "archive/common/output_text.h"
#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_commands.h"
#include "archive/lha/lha_header.h"
#include "util/cp932/cp932.h"

namespace {

arc::LibraryState g_state{1};

// The Windows self-extractor stub lies beside this library.
std::string StubPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&StubPath), &info) == 0 || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/lfsfxw.exe";
}

struct OpenArchive {
  std::vector<ArchiveInfo> members;
  std::string wildName;  // UTF-8
  std::vector<std::string> paths;  // UTF-8, "/" between levels
  std::size_t next = 0;
};

std::mutex g_openMutex;
std::vector<OpenArchive*> g_open;

OpenArchive* Lookup(HARC harc) {
  std::lock_guard<std::mutex> lock(g_openMutex);
  for (OpenArchive* a : g_open) {
    if (a == harc) return a;
  }
  return nullptr;
}

void CopyField(char* dst, std::size_t size, const std::string& src) {
  std::memset(dst, 0, size);
  std::memcpy(dst, src.data(), std::min(src.size(), size - 1));
}

ArchiveInfo MakeInfo(const lha::Entry& e) {
  ArchiveInfo info;
  std::memset(&info, 0, sizeof info);
  info.unpackedSize = static_cast<uint32_t>(e.m.originalSize);
  info.packedSize = static_cast<uint32_t>(e.m.packedSize);
  info.crc = e.m.crc;
  info.osType = e.m.osId;
  info.ratio = e.m.originalSize
                   ? static_cast<uint16_t>(std::min<uint64_t>(65535, e.m.packedSize * 1000 / e.m.originalSize))
                   : 0;
  const uint32_t dos = lha::UnixToDosTime(e.m.mtime);
  info.date = static_cast<uint16_t>(dos >> 16);
  info.time = static_cast<uint16_t>(dos & 0xFFFF);
  std::string name = e.m.name;
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  CopyField(info.fileName, sizeof info.fileName, name);
  std::string attr;
  attr += (e.m.dosAttribute & 0x01) ? 'r' : '-';
  attr += (e.m.dosAttribute & 0x02) ? 'h' : '-';
  attr += (e.m.dosAttribute & 0x04) ? 's' : '-';
  attr += e.m.IsDirectory() ? 'd' : '-';
  attr += (e.m.dosAttribute & 0x20) ? 'a' : '-';
  CopyField(info.attribute, sizeof info.attribute, attr);
  CopyField(info.mode, sizeof info.mode, std::string(e.m.method, 5));
  return info;
}

bool DecodeText(const char* sjis, std::string& utf8) { return sjis && cp932::ToUtf8(sjis, utf8); }

int FindFrom(OpenArchive* a, ArchiveInfo* info) {
  while (a->next < a->members.size()) {
    const std::size_t i = a->next++;
    const std::string& path = a->paths[i];
    const std::size_t slash = path.rfind('/');
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string wild = arc::ToSlashes(a->wildName);
    const bool match = wild.empty() ||
                       (wild.find('/') != std::string::npos ? arc::WildcardMatch(wild, path)
                                                            : arc::WildcardMatch(wild, leaf));
    if (!match) continue;
    if (info) *info = a->members[i];
    return 0;
  }
  return -1;
}

}  // namespace

extern "C" {

int Unlha(ARC_HWND, const char* cmdLine, char* output, uint32_t outputSize) {
  return arc::RunCommandEntry(g_state, cmdLine, output, outputSize, [](const std::string& line, std::string& report) {
    lha::CommandEnv env;
    env.stubPath = StubPath();
    return lha::RunCommand(line, env, report);
  });
}

int UnlhaSetProgressProc(ARC_PROGRESS_PROC proc, void* user) { return arc::SetThreadProgress(proc, user); }
uint16_t UnlhaGetVersion(void) { return UNLHA32_VERSION; }
int UnlhaGetRunning(void) { return g_state.Running(); }
int UnlhaGetBackGroundMode(void) { return g_state.BackgroundMode(); }
int UnlhaSetBackGroundMode(int backgroundMode) { return g_state.SetBackgroundMode(backgroundMode); }
int UnlhaGetCursorMode(void) { return g_state.CursorMode(); }
int UnlhaSetCursorMode(int cursorMode) { return g_state.SetCursorMode(cursorMode); }

int UnlhaCheckArchive(const char* archivePath, int) {
  try {
    std::string path;
    if (!DecodeText(archivePath, path) || path.empty()) return 0;
    lha::ArchiveReader reader;
    // True only for an archive that holds at least one valid header and
    // reads through without a fault.
    if (reader.Open(arc::ToSlashes(path)) != 0 || reader.entries().empty()) return 0;
    for (const lha::Entry& e : reader.entries()) {
      if (reader.Extract(e, [](const uint8_t*, std::size_t) { return true; }) != 0) return 0;
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

HARC UnlhaOpenArchive(ARC_HWND, const char* archivePath, uint32_t) {
  try {
    std::string path;
    if (!DecodeText(archivePath, path) || path.empty()) return nullptr;
    lha::ArchiveReader reader;
    // Members before a damaged header can still be listed.
    if (reader.Open(arc::ToSlashes(path)) != 0 && reader.entries().empty()) return nullptr;
    auto* a = new OpenArchive;
    for (const lha::Entry& e : reader.entries()) {
      a->members.push_back(MakeInfo(e));
      a->paths.push_back(e.path);
    }
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_open.push_back(a);
    return a;
  } catch (...) {
    return nullptr;
  }
}

int UnlhaFindFirst(HARC harc, const char* wildName, ArchiveInfo* info) {
  OpenArchive* a = Lookup(harc);
  if (!a) return -1;
  std::string wild;
  if (wildName && !DecodeText(wildName, wild)) return -1;
  a->wildName = wild;
  a->next = 0;
  return FindFrom(a, info);
}

int UnlhaFindNext(HARC harc, ArchiveInfo* info) {
  OpenArchive* a = Lookup(harc);
  if (!a) return -1;
  return FindFrom(a, info);
}

int UnlhaCloseArchive(HARC harc) {
  std::lock_guard<std::mutex> lock(g_openMutex);
  for (auto it = g_open.begin(); it != g_open.end(); ++it) {
    if (*it == harc) {
      delete *it;
      g_open.erase(it);
      return 0;
    }
  }
  return -1;
}

// There are no options to choose; the caller's buffer stays as it was.
int UnlhaConfigDialog(ARC_HWND, char*, int) { return 0; }

}  // extern "C"
