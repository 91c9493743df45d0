// Running the Windows self-extractor under wine: the wine program, the
// prefix that the tests of one run share (made fresh by the set-up test
// that ctest runs first), Windows paths for Linux ones, and the PE header.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/lha/lha_test_support.h"

namespace winetest {

using namespace lhatest;

// The wine loader: "wine64" or "wine" on the PATH, else where Debian's
// wine64 package puts it. Empty when wine is not installed.
inline std::string WineProgram() {
  for (const char* name : {"wine64", "wine"}) {
    const ToolResult r = Shell(std::string("command -v ") + name);
    if (r.exitCode == 0 && !r.out.empty()) return r.out.substr(0, r.out.find('\n'));
  }
  if (access("/usr/lib/wine/wine64", X_OK) == 0) return "/usr/lib/wine/wine64";
  return {};
}

// The virtual display of the run (":N"), started with the prefix.
inline std::string WineDisplay() {
  std::string d = ReadFile(std::string(LM_WINE_PREFIX) + "/display");
  while (!d.empty() && (d.back() == '\n' || d.back() == ' ')) d.pop_back();
  return d;
}

// The environment for every wine process of the tests: the shared prefix
// and display, no debug chatter, no Mono or Gecko installer.
inline std::vector<std::string> WineEnvironment() {
  return {std::string("WINEPREFIX=") + LM_WINE_PREFIX, "DISPLAY=" + WineDisplay(), "WINEDEBUG=-all",
          "WINEDLLOVERRIDES=mscoree,mshtml="};
}

inline std::string WineEnv() {
  std::string env;
  for (const std::string& e : WineEnvironment()) env += Quote(e) + " ";
  return env;
}

// Z: is the Linux root in every wine prefix.
inline std::string WinPath(const std::string& linuxPath) {
  std::string p = "Z:" + linuxPath;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
}

// Runs `exe` with the (already quoted) arguments; output is what it wrote
// to its standard error.
inline ToolResult RunExe(const std::string& exe, const std::string& quotedArgs) {
  const std::string wine = WineProgram();
  EXPECT_FALSE(wine.empty()) << "wine is missing: install it with scripts/install-deps.sh";
  EXPECT_FALSE(WineDisplay().empty()) << "no wine prefix: run the tests through ctest, which makes it first";
  return Shell("env " + WineEnv() + Quote(wine) + " " + Quote(exe) + " " + quotedArgs);
}

struct PeFacts {
  bool pe = false;
  uint16_t machine = 0;
  uint16_t magic = 0;      // 0x20B for PE32+
  uint16_t subsystem = 0;  // 2: Windows GUI, 3: console
};

inline PeFacts ReadPe(const std::string& bytes) {
  PeFacts f;
  auto u16 = [&](std::size_t at) {
    return at + 2 <= bytes.size() ? static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                                          (static_cast<uint8_t>(bytes[at + 1]) << 8))
                                  : uint16_t{0};
  };
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return f;
  const std::size_t pe = u16(0x3C) | (static_cast<std::size_t>(u16(0x3E)) << 16);
  if (pe + 24 + 70 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return f;
  f.pe = true;
  f.machine = u16(pe + 4);
  f.magic = u16(pe + 24);
  f.subsystem = u16(pe + 24 + 68);
  return f;
}

}  // namespace winetest
