// The C entry points of UnLHA32.DLL.
#pragma GCC visibility push(default)
#include "archive/lha/unlha32.h"
#pragma GCC visibility pop

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/common/command_entry.h"
#include "archive/common/command_line.h"
#include "archive/common/library_state.h"
#include "archive/common/open_archives.h"
#include "archive/common/output_text.h"
#include "archive/common/progress_meter.h"
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

arc::OpenArchives g_archives;  // handles given out and not yet closed

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
    arc::ArchiveListing listing;
    for (const lha::Entry& e : reader.entries()) {
      listing.members.push_back(MakeInfo(e));
      listing.paths.push_back(e.path);
    }
    return g_archives.Open(std::move(listing));
  } catch (...) {
    return nullptr;
  }
}

int UnlhaFindFirst(HARC harc, const char* wildName, ArchiveInfo* info) { return g_archives.FindFirst(harc, wildName, info); }
int UnlhaFindNext(HARC harc, ArchiveInfo* info) { return g_archives.FindNext(harc, info); }
int UnlhaCloseArchive(HARC harc) { return g_archives.Close(harc); }

// There are no options to choose; the caller's buffer stays as it was.
int UnlhaConfigDialog(ARC_HWND, char*, int) { return 0; }

}  // extern "C"
