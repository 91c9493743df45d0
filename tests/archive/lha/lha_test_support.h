// Support for the LHA tests: temporary trees on disk, the real UnLHA32.DLL
// loaded from the program folder, external readers run as processes.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/common/archiver_api.h"
#include "archive/common/result_codes.h"
#include "util/cp932/cp932.h"

namespace lhatest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "lhatest-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    path_ = mkdtemp(buf.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  std::string Path(const std::string& rel = "") const { return rel.empty() ? path_ : path_ + "/" + rel; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Text with the repetition of real prose and source code.
inline std::string TextBytes(std::size_t n, unsigned seed) {
  static const char* words[] = {"int ", "return ", "std::string ", "if (", ") {\n", "}\n", "for (auto& x : v) ",
                                "archive", "member", "header", "日本語の文章です。", "テスト", "。\r\n", "0x8017",
                                "// comment\n", "    ", "const ", "void Write(", "data", "= ", ";\n"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % (sizeof words / sizeof words[0])];
  s.resize(n);
  return s;
}

// Size and hash of file contents: short enough to show when trees differ.
inline std::string Digest(const std::string& bytes) {
  return std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>()(bytes) % 1000000007);
}

// Every file and directory below `root`, relative, with the Digest of each
// file; directories map to "<dir>".
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  if (!fs::exists(root)) return out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_directory()) {
      out[rel] = "<dir>";
    } else {
      out[rel] = Digest(ReadFile(it->path().string()));
    }
  }
  return out;
}

struct ToolResult {
  int exitCode = -1;
  std::string out;
};

// Runs a shell command line; stdout and stderr together.
inline ToolResult Shell(const std::string& command) {
  ToolResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''"; else q += c;
  }
  return q + "'";
}

inline bool HaveTool(const char* name) { return Shell(std::string("command -v ") + name).exitCode == 0; }

inline std::string BinDir() { return LM_BIN_DIR; }

// The real library, loaded once per test program.
struct Library {
  void* handle = nullptr;
  decltype(&::Unlha) Unlha = nullptr;
  decltype(&::UnlhaGetVersion) GetVersion = nullptr;
  decltype(&::UnlhaGetRunning) GetRunning = nullptr;
  decltype(&::UnlhaGetBackGroundMode) GetBackGroundMode = nullptr;
  decltype(&::UnlhaSetBackGroundMode) SetBackGroundMode = nullptr;
  decltype(&::UnlhaGetCursorMode) GetCursorMode = nullptr;
  decltype(&::UnlhaSetCursorMode) SetCursorMode = nullptr;
  decltype(&::UnlhaCheckArchive) CheckArchive = nullptr;
  decltype(&::UnlhaOpenArchive) OpenArchive = nullptr;
  decltype(&::UnlhaFindFirst) FindFirst = nullptr;
  decltype(&::UnlhaFindNext) FindNext = nullptr;
  decltype(&::UnlhaCloseArchive) CloseArchive = nullptr;
  decltype(&::UnlhaConfigDialog) ConfigDialog = nullptr;

  static Library& Get() {
    static Library lib;
    return lib;
  }

 private:
  Library() {
    handle = dlopen((BinDir() + "/UnLHA32.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
#define LHATEST_SYM(field, name) field = reinterpret_cast<decltype(field)>(dlsym(handle, name))
    LHATEST_SYM(Unlha, "Unlha");
    LHATEST_SYM(GetVersion, "UnlhaGetVersion");
    LHATEST_SYM(GetRunning, "UnlhaGetRunning");
    LHATEST_SYM(GetBackGroundMode, "UnlhaGetBackGroundMode");
    LHATEST_SYM(SetBackGroundMode, "UnlhaSetBackGroundMode");
    LHATEST_SYM(GetCursorMode, "UnlhaGetCursorMode");
    LHATEST_SYM(SetCursorMode, "UnlhaSetCursorMode");
    LHATEST_SYM(CheckArchive, "UnlhaCheckArchive");
    LHATEST_SYM(OpenArchive, "UnlhaOpenArchive");
    LHATEST_SYM(FindFirst, "UnlhaFindFirst");
    LHATEST_SYM(FindNext, "UnlhaFindNext");
    LHATEST_SYM(CloseArchive, "UnlhaCloseArchive");
    LHATEST_SYM(ConfigDialog, "UnlhaConfigDialog");
#undef LHATEST_SYM
  }
};

struct CommandResult {
  int code = -1;
  std::string output;  // UTF-8
};

inline std::string Sjis(const std::string& utf8) {
  std::string out;
  EXPECT_TRUE(cp932::FromUtf8(utf8, out)) << utf8;
  return out;
}

// Runs a command line (UTF-8 here, code page 932 at the interface).
inline CommandResult RunCmd(const std::string& utf8Command, uint32_t bufferSize = 20800) {
  CommandResult r;
  Library& lib = Library::Get();
  if (!lib.Unlha) {
    ADD_FAILURE() << "UnLHA32.DLL not loaded: " << dlerror();
    return r;
  }
  std::vector<char> buf(bufferSize + 1, '\x7f');
  r.code = lib.Unlha(nullptr, Sjis(utf8Command).c_str(), buf.data(), bufferSize);
  r.output = cp932::ToUtf8Lossy(std::string(buf.data()));
  return r;
}

struct Listed {
  std::string name;  // UTF-8 with "\"
  std::string method;
  uint32_t size = 0;
  uint32_t packed = 0;
  uint16_t crc = 0;
  ArchiveInfo info{};
};

// The members as the find functions list them.
inline std::vector<Listed> List(const std::string& archive) {
  std::vector<Listed> out;
  Library& lib = Library::Get();
  HARC h = lib.OpenArchive(nullptr, Sjis(archive).c_str(), 0);
  if (!h) return out;
  ArchiveInfo info{};
  for (int rc = lib.FindFirst(h, "*.*", &info); rc == 0; rc = lib.FindNext(h, &info)) {
    Listed l;
    l.name = cp932::ToUtf8Lossy(info.fileName);
    l.method = std::string(info.mode, strnlen(info.mode, sizeof info.mode));
    l.size = info.unpackedSize;
    l.packed = info.packedSize;
    l.crc = static_cast<uint16_t>(info.crc);
    l.info = info;
    out.push_back(l);
  }
  lib.CloseArchive(h);
  return out;
}

inline std::vector<std::string> Names(const std::vector<Listed>& members) {
  std::vector<std::string> names;
  for (const Listed& m : members) names.push_back(m.name);
  return names;
}

// A small tree to archive and an output directory beside it.
struct ScriptTreeForCase {
  TempDir tmp;
  std::string src = tmp.Path("src");
  std::string arc = tmp.Path("a.lzh");
  std::string out = tmp.Path("out");
  ScriptTreeForCase() {
    WriteFile(src + "/Sample/DAT/index.fet", "index");
    WriteFile(src + "/Sample/DAT/sub/b.txt", "b");
  }
};

}  // namespace lhatest
