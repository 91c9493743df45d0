// The self-extracting file made by the "s" command, run with the Linux stub
// in front of its archive: the stub extracts the tree unattended or after
// asking, applies the "$" options, refuses escaping paths and reports
// failures with a non-zero exit. (The Windows stub that the command writes
// is tested under wine.)
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "lha_craft.h"
#include "lha_test_support.h"
#include "sfx_build.h"
#include "sfx_restub.h"

namespace {

using namespace lhatest;

// Puts the Linux stub in front of the archive of the self-extracting file
// `exe` (written by "s" with the Windows stub), in place.
void UseLinuxStub(const std::string& exe) {
  const std::string written = ReadFile(exe);
  ASSERT_EQ(written.substr(0, 2), "MZ");
  const std::string native = Restub(written, ReadFile(BinDir() + "/lfsfx"));
  ASSERT_FALSE(native.empty());
  WriteFile(exe, native);
}

// Builds dist.exe as the builder does with the Linux stub in front.
std::string MakeSfx(const TempDir& t, const std::vector<std::string>& options) {
  WriteFile(t.Path("src/Sample.ugu"), "script");
  WriteFile(t.Path("src/SAMPLE/dat/readme.txt"), TextBytes(20000, 51));
  WriteFile(t.Path("src/SAMPLE/dat/日本語.txt"), "日本語");
  fs::create_directories(t.Path("src/SAMPLE/dat/empty"));
  const std::string exe = BuildLikeTheBuilder(t, options);
  UseLinuxStub(exe);
  return exe;
}

std::map<std::string, std::string> SourceTree(const TempDir& t) { return Snapshot(t.Path("src")); }

TEST(LhaSfx, UnattendedRunExtractsTheTreeAndLeavesTheOptionFileOut) {
  TempDir t;
  const std::string exe = MakeSfx(t, {"$WindowTitle=サンプル スクリプト", "$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)"});
  struct stat st {};
  ASSERT_EQ(stat(exe.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  const auto r = Shell(Quote(exe) + " --dir " + Quote(t.Path("inst")) + " --yes --no-open");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("サンプル スクリプト"), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(t.Path("inst")), SourceTree(t));
  EXPECT_FALSE(fs::exists(t.Path("inst/$")));
  // The archive stays readable by other readers too.
  EXPECT_EQ(List(exe).size(), 5u);  // four members and "$"
}

TEST(LhaSfx, InstallDirectoryAndCommandOptionsTakeEffect) {
  TempDir t;
  const std::string exe = MakeSfx(t, {"$WindowTitle=T", "$InstallDir=" + t.Path("proposed"),
                                      "$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)", "$Command=SAMPLE\\dat\\readme.txt"});
  // A stand-in for the desktop's opener records what it was asked to open.
  WriteFile(t.Path("bin/xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > " + Quote(t.Path("opened")) + "\n");
  fs::permissions(t.Path("bin/xdg-open"), fs::perms::owner_all);
  const std::string env = "PATH=" + Quote(t.Path("bin")) + ":\"$PATH\" ";
  auto r = Shell(env + Quote(exe) + " --yes");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Snapshot(t.Path("proposed")), SourceTree(t));
  EXPECT_EQ(ReadFile(t.Path("opened")), t.Path("proposed") + "/SAMPLE/dat/readme.txt");
  // Asked on the terminal: another directory typed in.
  r = Shell("printf '%s\\n' " + Quote(t.Path("typed")) + " | " + env + Quote(exe) + " --no-open");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ: " + t.Path("proposed")), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(t.Path("typed")), SourceTree(t));
  // No answer at all: nothing is extracted.
  fs::remove_all(t.Path("proposed"));
  r = Shell(env + Quote(exe) + " --no-open < /dev/null");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(fs::exists(t.Path("proposed")));
}

TEST(LhaSfx, WithoutOptionsTheArchiveNameAndTheCurrentDirectoryAreUsed) {
  TempDir t;
  const std::string exe = MakeSfx(t, {});
  fs::create_directories(t.Path("cwd"));
  const auto r = Shell("cd " + Quote(t.Path("cwd")) + " && " + Quote(exe) + " --yes");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("dist.exe"), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(t.Path("cwd")), SourceTree(t));
}

TEST(LhaSfx, EscapingPathsAndDamageFailWithoutWritingOutside) {
  TempDir t;
  fs::create_directories(t.Path("dist"));
  WriteFile(t.Path("dist/bad.lzh"), CraftArchive({{"good.txt", "ok"}, {"..\\escape.txt", "no"}}));
  ASSERT_EQ(RunCmd("s " + t.Path("dist/bad") + " " + t.Path("dist") + "/").code, 0);
  UseLinuxStub(t.Path("dist/bad.exe"));
  auto r = Shell(Quote(t.Path("dist/bad.exe")) + " --dir " + Quote(t.Path("box/inst")) + " --yes --no-open");
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_FALSE(fs::exists(t.Path("box/escape.txt")));
  EXPECT_EQ(ReadFile(t.Path("box/inst/good.txt")), "ok");
  // A self-extracting file whose data was damaged.
  std::string exe = ReadFile(MakeSfx(t, {}));
  exe[exe.size() - 200] ^= 0x10;
  WriteFile(t.Path("dist/broken.exe"), exe);
  fs::permissions(t.Path("dist/broken.exe"), fs::perms::owner_all);
  r = Shell(Quote(t.Path("dist/broken.exe")) + " --dir " + Quote(t.Path("b2")) + " --yes --no-open");
  EXPECT_NE(r.exitCode, 0) << r.out;
  // The stub without an archive says so.
  r = Shell(Quote(BinDir() + "/lfsfx") + " --yes --no-open");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(r.out.empty());
}

TEST(LhaSfx, TheLinuxStubRefusesADirSwitchWithoutItsFolder) {
  TempDir t;
  const std::string exe = MakeSfx(t, {});
  fs::create_directories(t.Path("cwd"));
  for (const std::string args : {"--dir --yes", "--yes --dir", "--dir= --yes", "--dir --no-open --yes"}) {
    const auto r = Shell("cd " + Quote(t.Path("cwd")) + " && " + Quote(exe) + " " + args);
    EXPECT_EQ(r.exitCode, 2) << args << r.out;
    EXPECT_TRUE(Snapshot(t.Path("cwd")).empty()) << args;  // "--yes" was not taken for a folder
  }
}

TEST(LhaSfx, MissingArchiveIsAnError) {
  TempDir t;
  EXPECT_EQ(RunCmd("s " + t.Path("none") + " " + t.Path("") + "/").code, ARC_ERROR_ARC_FILE_OPEN);
  EXPECT_FALSE(fs::exists(t.Path("none.exe")));
}

}  // namespace
