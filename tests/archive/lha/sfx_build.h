// Building a self-extracting file the way the archive builder does, for
// the tests of both stubs: the script tree below t/src goes into
// t/dist/dist.lzh, then the option file "$", then the "s" command makes
// t/dist/dist.exe and "$" leaves the archive again.
#pragma once

#include <string>
#include <vector>

#include "lha_test_support.h"

namespace lhatest {

// Writes the option file "$" in code page 932 with CR LF lines.
inline void WriteOptions(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += Sjis(l) + "\r\n";
  WriteFile(path, text);
}

// Returns the path of dist.exe.
inline std::string BuildLikeTheBuilder(const TempDir& t, const std::vector<std::string>& options) {
  fs::create_directories(t.Path("dist"));
  fs::create_directories(t.Path("prog"));
  const std::string lzh = t.Path("dist/dist.lzh");
  EXPECT_EQ(RunCmd("a " + lzh + " " + t.Path("src") + "\\ Sample.ugu SAMPLE\\dat\\*.* -xr2").code, 0);
  if (!options.empty()) {
    WriteOptions(t.Path("prog/$"), options);
    EXPECT_EQ(RunCmd("a " + lzh + " " + t.Path("prog") + "\\$").code, 0);
  }
  const auto r = RunCmd("s  " + t.Path("dist/dist") + " " + t.Path("dist") + "\\ -gw4gx2 -x");
  EXPECT_EQ(r.code, 0) << r.output;
  if (!options.empty()) {
    EXPECT_EQ(RunCmd("d " + lzh + " $").code, 0);
  }
  return t.Path("dist/dist.exe");
}

}  // namespace lhatest
