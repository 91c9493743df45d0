// The Windows self-extractor that UnLHA32.DLL's "s" command writes, run
// under wine: unattended extraction of a Japanese tree byte for byte, the
// archive visible to other readers, members that would leave the install
// folder, damaged and truncated files, the document lookup, and the window
// driven through its keyboard on a virtual display.
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "archive/lha/lha_craft.h"
#include "archive/lha/sfx_build.h"
#include "wine_support.h"

extern char** environ;

namespace {

using namespace winetest;

// The script tree: Japanese names (ソ and 表 end in the byte 0x5C, the
// path separator), subfolders, an empty file and folder, a file over 1 MiB.
void WriteTree(const std::string& root) {
  WriteFile(root + "/Sample.ugu", "script");
  WriteFile(root + "/SAMPLE/dat/readme.txt", TextBytes(20000, 51));
  WriteFile(root + "/SAMPLE/dat/ソフト/表.txt", "表とソ");
  WriteFile(root + "/SAMPLE/dat/ソフト/空.txt", "");
  WriteFile(root + "/SAMPLE/dat/big.bin", RandomBytes(1200000, 7) + TextBytes(400000, 8));
  fs::create_directories(root + "/SAMPLE/dat/empty");
}

// Builds dist.exe from that tree as the builder does.
std::string MakeExe(const TempDir& t, const std::vector<std::string>& options) {
  WriteTree(t.Path("src"));
  return BuildLikeTheBuilder(t, options);
}

// Files named like the stub's temporary files and its list of the file
// being written ("~lfx" + 16 hex digits + ".tmp" or ".lst"), or like the
// temporary files of earlier versions ("lfx*.tmp").
int TemporaryFiles(const std::string& root) {
  int n = 0;
  if (!fs::exists(root)) return 0;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = e.path().filename().string();
    const std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : "";
    if (ext == ".tmp" && name.rfind("lfx", 0) == 0) ++n;
    if ((ext == ".tmp" || ext == ".lst") && name.rfind("~lfx", 0) == 0 && name.size() == 24) ++n;
  }
  return n;
}

TEST(WineSfx, TheExeIsA64BitWindowsGuiProgramThatOtherReadersList) {
  TempDir t;
  const std::string exe = MakeExe(t, {"$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)"});
  const std::string bytes = ReadFile(exe);
  const PeFacts pe = ReadPe(bytes);
  EXPECT_TRUE(pe.pe);
  EXPECT_EQ(pe.machine, 0x8664);
  EXPECT_EQ(pe.magic, 0x20B);
  EXPECT_EQ(pe.subsystem, 2);
  const std::string stub = ReadFile(BinDir() + "/lfsfxw.exe");
  // Other readers look for the archive in the first 64 KiB only.
  EXPECT_LE(stub.size(), 62u * 1024u);
  EXPECT_EQ(bytes.compare(0, stub.size(), stub), 0);
  // No DLL of the compiler's runtime is needed beside it.
  const auto deps = Shell("x86_64-w64-mingw32-objdump -p " + Quote(exe) + " | grep 'DLL Name'");
  ASSERT_EQ(deps.exitCode, 0) << deps.out;
  for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread"}) {
    EXPECT_EQ(deps.out.find(runtime), std::string::npos) << deps.out;
  }
  // Readers that look for the archive in the first 64 KiB find it (lha is
  // LHa for UNIX).
  for (const std::string& reader : {std::string("lhasa l "), std::string("7zz l "), std::string("lha l ")}) {
    ASSERT_TRUE(HaveTool(reader.substr(0, reader.find(' ')).c_str())) << reader << "missing: run install-deps";
    const auto r = Shell(reader + Quote(exe));
    EXPECT_EQ(r.exitCode, 0) << reader << r.out;
    for (const char* name : {"Sample.ugu", "readme.txt", "big.bin"}) {
      EXPECT_NE(r.out.find(name), std::string::npos) << reader << r.out;
    }
  }
  const auto tested = Shell("lhasa t " + Quote(exe));
  EXPECT_EQ(tested.exitCode, 0) << tested.out;
}

TEST(WineSfx, UnattendedModesExtractTheTreeByteForByteWithoutTheOptionFile) {
  TempDir t;
  const std::string exe = MakeExe(t, {"$WindowTitle=サンプル スクリプト", "$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)"});
  const auto want = Snapshot(t.Path("src"));
  // The installer convention: /D= is last and may hold blanks.
  auto r = RunExe(exe, "/S " + Quote("/D=" + WinPath(t.Path("inst 1/新しい フォルダ"))));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Snapshot(t.Path("inst 1/新しい フォルダ")), want);
  // The switches of the Linux stub, over a folder with older copies.
  WriteFile(t.Path("inst2/SAMPLE/dat/readme.txt"), "old");
  WriteFile(t.Path("inst2/SAMPLE/dat/ソフト/表.txt"), "old");
  r = RunExe(exe, "--dir " + Quote(WinPath(t.Path("inst2"))) + " --yes --no-open");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("サンプル スクリプト"), std::string::npos) << r.out;
  EXPECT_EQ(Snapshot(t.Path("inst2")), want);
  EXPECT_FALSE(fs::exists(t.Path("inst2/$")));
  EXPECT_EQ(TemporaryFiles(t.Path("inst2")), 0);
  // Unknown switches are refused without extracting anything.
  r = RunExe(exe, "--bogus /S");
  EXPECT_EQ(r.exitCode, 2) << r.out;
}

TEST(WineSfx, TheInstallDirIsExpandedAndTakenBesideTheExeAndADirSwitchFromTheCurrentFolder) {
  TempDir t;
  const std::string exe = MakeExe(t, {"$InstallDir= 展開先 "});  // blanks as the settings may store them
  const auto want = Snapshot(t.Path("src"));
  fs::create_directories(t.Path("cwd"));
  const std::string inCwd = "cd " + Quote(t.Path("cwd")) + " && env " + WineEnv() + Quote(WineProgram()) + " " + Quote(exe);
  auto r = Shell(inCwd + " --yes --no-open");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Snapshot(t.Path("dist/展開先")), want);
  r = Shell(inCwd + " --dir rel --yes --no-open");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Snapshot(t.Path("cwd/rel")), want);
  // Environment variables in the proposed folder are expanded.
  const std::string exe2 = MakeExe(t, {"$InstallDir=%LMSFX_BASE%\\env"});
  r = Shell("env LMSFX_BASE=" + Quote(WinPath(t.Path("base"))) + " " + WineEnv() + Quote(WineProgram()) + " " +
            Quote(exe2) + " /S");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Snapshot(t.Path("base/env")), want);
}

TEST(WineSfx, MembersLeavingTheFolderAreRefusedAndTheRunFails) {
  TempDir t;
  std::vector<CraftMember> members = {{"good.txt", "ok"},
                                      {"..\\escape.txt", "no"},
                                      {"sub\\..\\..\\up.txt", "no"},
                                      {"C:\\drive.txt", "no"},
                                      {"\\\\server\\share\\unc.txt", "no"},
                                      {"\\root.txt", "no"},
                                      {"sub\\ok.txt", "fine"}};
  fs::create_directories(t.Path("dist"));
  WriteFile(t.Path("dist/bad.lzh"), CraftArchive(members));
  ASSERT_EQ(RunCmd("s " + t.Path("dist/bad") + " " + t.Path("dist") + "/").code, 0);
  const auto r = RunExe(t.Path("dist/bad.exe"), "/S " + Quote("/D=" + WinPath(t.Path("box/inst"))));
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_EQ(Snapshot(t.Path("box")), (std::map<std::string, std::string>{{"inst", "<dir>"},
                                                                         {"inst/good.txt", Digest("ok")},
                                                                         {"inst/sub", "<dir>"},
                                                                         {"inst/sub/ok.txt", Digest("fine")}}));
  EXPECT_FALSE(fs::exists("/drive.txt"));
  EXPECT_FALSE(fs::exists("/root.txt"));
  for (const char* name : {"escape.txt", "up.txt", "drive.txt", "unc.txt", "root.txt"}) {
    EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
  }
}

TEST(WineSfx, DamagedOrTruncatedFilesFailWithoutHalfWrittenFiles) {
  TempDir t;
  const std::string exe = MakeExe(t, {});
  const std::string whole = ReadFile(exe);
  // Cut inside the last member's data: the trailer is gone as well.
  WriteFile(t.Path("cut/short.exe"), whole.substr(0, whole.size() - 3000));
  auto r = RunExe(t.Path("cut/short.exe"), "/S " + Quote("/D=" + WinPath(t.Path("out1"))));
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("途中で切れています"), std::string::npos) << r.out;
  EXPECT_TRUE(Snapshot(t.Path("out1")).empty());  // nothing from a damaged list
  EXPECT_EQ(TemporaryFiles(t.Path("out1")), 0);
  // One byte changed inside the big member's data: that member fails its
  // check and is not kept; the others arrive.
  std::string damaged = whole;
  const std::size_t at = damaged.find("big.bin");
  ASSERT_NE(at, std::string::npos);
  damaged[at + 5000] ^= 0x01;
  WriteFile(t.Path("cut/damaged.exe"), damaged);
  r = RunExe(t.Path("cut/damaged.exe"), "--dir " + Quote(WinPath(t.Path("out2"))) + " --yes --no-open");
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("big.bin"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(t.Path("out2/SAMPLE/dat/big.bin")));
  EXPECT_EQ(ReadFile(t.Path("out2/Sample.ugu")), "script");
  EXPECT_EQ(TemporaryFiles(t.Path("out2")), 0);
  // The stub alone carries no archive.
  r = RunExe(BinDir() + "/lfsfxw.exe", "/S " + Quote("/D=" + WinPath(t.Path("out3"))));
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_FALSE(fs::exists(t.Path("out3")));
}

TEST(WineSfx, TheDocumentIsLookedUpByNameAndAMissingOneIsOnlyAWarning) {
  // The document the author names is not in the tree or is there twice: the
  // run says so and still succeeds (opening a found one needs a desktop).
  struct Case {
    std::string command;
    std::string warning;
  };
  // A name in quotes is the name without them; a program is never started.
  for (const Case& c : {Case{"nothere.txt", "ありません"}, Case{"..\\outside.txt", "外を指しています"},
                        Case{"\"nothere.htm\"", "「nothere.htm」が展開したファイルの中にありません"},
                        Case{"Sample.ugu", "開く文書 (.txt、.htm、.html) ではない"},
                        Case{"setup.exe", "開く文書 (.txt、.htm、.html) ではない"},
                        Case{"\"run.bat\"", "開く文書 (.txt、.htm、.html) ではない"}}) {
    TempDir t;
    const std::string exe = MakeExe(t, {"$Command=" + c.command});
    const auto r = RunExe(exe, "--dir " + Quote(WinPath(t.Path("inst"))) + " --yes");
    EXPECT_EQ(r.exitCode, 0) << c.command << r.out;
    EXPECT_NE(r.out.find(c.warning), std::string::npos) << c.command << r.out;
    EXPECT_EQ(Snapshot(t.Path("inst")), Snapshot(t.Path("src")));
  }
  TempDir t;
  WriteFile(t.Path("src/a/readme.txt"), "a");
  WriteFile(t.Path("src/b/README.TXT"), "b");
  WriteFile(t.Path("prog/$"), Sjis("$Command=readme.txt") + "\r\n");
  const std::string lzh = t.Path("two.lzh");
  ASSERT_EQ(RunCmd("a " + lzh + " " + t.Path("src") + "\\ a\\readme.txt b\\README.TXT -x").code, 0);
  ASSERT_EQ(RunCmd("a " + lzh + " " + t.Path("prog") + "\\$").code, 0);
  ASSERT_EQ(RunCmd("s " + t.Path("two") + " " + t.Path("") + "/").code, 0);
  const auto r = RunExe(t.Path("two.exe"), "--dir " + Quote(WinPath(t.Path("inst"))) + " --yes");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("複数"), std::string::npos) << r.out;
}

// Starts a program with more environment; its output goes nowhere.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

// A self-extracting file made with the "s" command from hand-made members
// (each dated `unixTime`); returns its path.
std::string CraftedExe(const TempDir& t, const std::vector<CraftMember>& members, const std::string& name,
                       uint32_t unixTime = 1700000000) {
  fs::create_directories(t.Path("dist"));
  WriteFile(t.Path("dist/" + name + ".lzh"), CraftArchive(members, unixTime));
  EXPECT_EQ(RunCmd("s " + t.Path("dist/" + name) + " " + t.Path("dist") + "/").code, 0);
  return t.Path("dist/" + name + ".exe");
}

void SetTime(const std::string& path, long unixTime) {
  ASSERT_EQ(Shell("touch -d @" + std::to_string(unixTime) + " " + Quote(path)).exitCode, 0);
}

TEST(WineSfx, UnattendedOverwriteModesKeepOrReplaceExistingFiles) {
  // Both members are dated 1700000000; in the folder "old.txt" is older,
  // "new.txt" newer than that.
  struct Case {
    std::string args;
    bool oldReplaced, newReplaced;
  };
  const Case cases[] = {
      {"/S", true, true},
      {"/S /O=all", true, true},
      {"/S /O=none", false, false},
      {"/S /O=NEWER", true, false},
      {"--yes --no-open --overwrite none", false, false},
      {"--yes --no-open --overwrite newer", true, false},
      {"--yes --no-open --overwrite=all", true, true},
  };
  TempDir t;
  const std::string exe = CraftedExe(t, {{"old.txt", "member old"}, {"sub\\new.txt", "member new"}, {"more.txt", "m"}},
                                     "modes");
  int n = 0;
  for (const Case& c : cases) {
    const std::string dir = t.Path("inst" + std::to_string(n++));
    WriteFile(dir + "/old.txt", "kept old");
    WriteFile(dir + "/sub/new.txt", "kept new");
    SetTime(dir + "/old.txt", 1600000000);
    SetTime(dir + "/sub/new.txt", 1800000000);
    const bool slash = c.args[0] == '/';
    const auto r = RunExe(exe, c.args + " " + Quote((slash ? "/D=" : "--dir=") + WinPath(dir)));
    EXPECT_EQ(r.exitCode, 0) << c.args << r.out;
    EXPECT_EQ(ReadFile(dir + "/old.txt"), c.oldReplaced ? "member old" : "kept old") << c.args;
    EXPECT_EQ(ReadFile(dir + "/sub/new.txt"), c.newReplaced ? "member new" : "kept new") << c.args;
    EXPECT_EQ(ReadFile(dir + "/more.txt"), "m") << c.args;
    EXPECT_EQ(TemporaryFiles(dir), 0) << c.args;
  }
}

TEST(WineSfx, SwitchesWithoutTheirValueAreUsageErrorsThatExtractNothing) {
  TempDir t;
  const std::string exe = CraftedExe(t, {{"a.txt", "a"}}, "usage");
  fs::create_directories(t.Path("cwd"));
  const std::string inCwd = "cd " + Quote(t.Path("cwd")) + " && env " + WineEnv() + Quote(WineProgram()) + " " + Quote(exe);
  for (const std::string args : {"/S /D=", "/S '/D=  '", "--dir --yes", "--yes --dir", "--yes --dir=", "/S /O=",
                                 "/S /O=some", "--yes --overwrite", "--yes --overwrite --no-open",
                                 "--yes --overwrite=maybe", "--bogus /S"}) {
    const auto r = Shell(inCwd + " " + args);
    EXPECT_EQ(r.exitCode, 2) << args << r.out;
    EXPECT_NE(r.out.find("使い方"), std::string::npos) << args << r.out;
    EXPECT_TRUE(Snapshot(t.Path("cwd")).empty()) << args;  // "--yes" was not taken for a folder
    EXPECT_FALSE(fs::exists(t.Path("dist/a.txt"))) << args;
  }
}

// A folder path of exactly `length` characters in its Windows form
// (Z:\...), made of levels of at most 120 characters.
std::string FolderOfLength(const std::string& base, std::size_t length) {
  std::string p = base;
  char fill = 'a';
  while (WinPath(p).size() < length) {
    const std::size_t room = length - WinPath(p).size() - 1;  // one for the separator
    const std::size_t level = room > 120 ? 100 : room;
    if (level == 0) break;
    p += "/" + std::string(level, fill++);
  }
  return p;
}

TEST(WineSfx, LongFoldersAndDeepMembersExtractAndATooLongNameIsRefusedByName) {
  // Member paths of more than 300 characters below install folders of 250,
  // 270 and 400 characters: past the old 260-character limit.
  const std::string deep = std::string(110, 'd') + "\\" + std::string(110, 'e') + "\\" + std::string(90, 'f') + ".txt";
  const std::vector<CraftMember> members = {{"top.txt", "top"}, {deep, "deep data"}, {"sub\\small.txt", "small"}};
  ASSERT_GT(deep.size(), 300u);
  TempDir t;
  const std::string exe = CraftedExe(t, members, "long");
  for (std::size_t length : {250u, 270u, 400u}) {
    const std::string dir = FolderOfLength(t.Path("L" + std::to_string(length)), length);
    ASSERT_EQ(WinPath(dir).size(), length);
    const auto r = RunExe(exe, "/S " + Quote("/D=" + WinPath(dir)));
    EXPECT_EQ(r.exitCode, 0) << length << r.out;
    EXPECT_EQ(ReadFile(dir + "/top.txt"), "top") << length;
    std::string deepPath = deep;
    for (char& c : deepPath) c = c == '\\' ? '/' : c;
    EXPECT_EQ(ReadFile(dir + "/" + deepPath), "deep data") << length;
    EXPECT_EQ(ReadFile(dir + "/sub/small.txt"), "small") << length;
    EXPECT_EQ(TemporaryFiles(dir), 0) << length;
  }
  // A level of 300 characters is more than a Windows file name holds: that
  // member is refused by its name, the others arrive.
  const std::string tooLong = "x\\" + std::string(300, 'n') + ".txt";
  const std::string exe2 = CraftedExe(t, {{"first.txt", "1"}, {tooLong, "no"}, {"last.txt", "2"}}, "toolong");
  const auto r = RunExe(exe2, "--yes --dir " + Quote(WinPath(t.Path("out"))));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find(std::string(300, 'n')), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("長すぎ"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(t.Path("out/first.txt")), "1");
  EXPECT_EQ(ReadFile(t.Path("out/last.txt")), "2");
}

TEST(WineSfx, RefusedNamesAreShownEscapedAndReservedOrDottedNamesAreNotWritten) {
  TempDir t;
  const std::string exe = CraftedExe(t,
                                     {{"ok.txt", "ok"},
                                      {"bell\x07name.txt", "no"},
                                      {"esc\x1b[2Jname.txt", "no"},
                                      {"trailing.", "no"},
                                      {"blank ", "no"},
                                      {"sub\\CON.txt", "no"},
                                      {"lpt9", "no"}},
                                     "names");
  const auto r = RunExe(exe, "/S " + Quote("/D=" + WinPath(t.Path("inst"))));
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("bell\\x07name.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("esc\\x1B[2Jname.txt"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x07'), std::string::npos);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(Snapshot(t.Path("inst")), (std::map<std::string, std::string>{{"ok.txt", Digest("ok")}}));
}

TEST(WineSfx, LeftoversOfAKilledRunAreRemovedByTheNextRun) {
  // A big stored member keeps the run busy long enough to be killed while
  // it writes. A file that is new is written under its own name (the run's
  // list in the install folder names it); one that exists already goes
  // through a temporary file beside it. Either way the next run, even one
  // that keeps existing files (/O=none), removes what the killed run left
  // and extracts the member whole.
  struct Row {
    const char* what;
    bool bigExists;
    const char* secondRun;
  };
  const Row rows[] = {{"new file", false, "/O=none"}, {"new file", false, "/O=all"}, {"existing file", true, "/O=all"}};
  const std::string big = RandomBytes(150u << 20, 3);
  for (const Row& row : rows) {
    TempDir t;
    const std::string exe = CraftedExe(t, {{"a.txt", "a"}, {"sub\\big.bin", big}, {"sub\\z.txt", "z"}}, "kill");
    const std::string dir = t.Path("inst");
    // What a killed run of an earlier version or of this one leaves in a
    // subfolder it touches; a file of the user's with a similar name stays.
    WriteFile(dir + "/sub/~lfx00000abc00000001.tmp", "left over");
    WriteFile(dir + "/sub/~lfx-mine.tmp", "user's");
    if (row.bigExists) WriteFile(dir + "/sub/big.bin", "old big");
    const pid_t pid = Spawn({WineProgram(), exe, "/S", "/D=" + WinPath(dir)}, WineEnvironment());
    ASSERT_GT(pid, 0);
    // Wait until the big member is being written (the run has removed the
    // planted leftover when it came to the folder), then kill the run.
    const auto writing = [&] {
      if (fs::exists(dir + "/sub/~lfx00000abc00000001.tmp")) return false;
      if (row.bigExists) return TemporaryFiles(dir + "/sub") >= 1;
      std::error_code ec;
      const auto size = fs::file_size(dir + "/sub/big.bin", ec);
      return !ec && size > 0;
    };
    bool busy = false;
    for (int i = 0; i < 900 && !busy; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      busy = writing();
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(busy) << row.what << ": the run never started writing";
    EXPECT_EQ(ReadFile(dir + "/sub/~lfx-mine.tmp"), "user's") << row.what;
    // The killed run's list (a.txt was new), and for the existing file its temporary file.
    EXPECT_EQ(TemporaryFiles(dir), row.bigExists ? 2 : 1) << row.what;
    if (row.bigExists) {
      EXPECT_EQ(ReadFile(dir + "/sub/big.bin"), "old big") << row.what;
    } else {
      EXPECT_LT(fs::file_size(dir + "/sub/big.bin"), big.size()) << row.what;  // cut short by the kill
    }
    WriteFile(dir + "/sub/~lfx00000abc00000001.tmp", "left over");
    const auto r = RunExe(exe, std::string("/S ") + row.secondRun + " " + Quote("/D=" + WinPath(dir)));
    EXPECT_EQ(r.exitCode, 0) << row.what << r.out;
    EXPECT_EQ(TemporaryFiles(dir), 0) << row.what;
    EXPECT_EQ(ReadFile(dir + "/sub/~lfx-mine.tmp"), "user's") << row.what;
    EXPECT_TRUE(ReadFile(dir + "/sub/big.bin") == big) << row.what;
    EXPECT_EQ(ReadFile(dir + "/sub/z.txt"), "z") << row.what;
  }
}

TEST(WineSfx, AKilledRunsListRemovesOnlyTheNewFileItWasWriting) {
  // Lists as a killed run leaves them: the file named is removed only when
  // it was made after the list was written; a file that was there before,
  // a path outside the folder and a list that is not whole remove nothing.
  // Every list is removed. The run keeps existing files (/O=none), so a
  // file that stays keeps its content.
  const auto utf16 = [](const std::string& ascii, bool ended) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    if (ended) out += std::string(2, '\0');
    return out;
  };
  struct Row {
    const char* name;
    std::string list;
    long listAge;  // seconds before now the list was last written (negative: after)
    bool removed;
  };
  const Row rows[] = {
      {"half.txt", utf16("half.txt", true), 3600, true},
      {"sub/half.txt", utf16("sub\\half.txt", true), 3600, true},
      {"before.txt", utf16("before.txt", true), -3600, false},
      {"cut.txt", utf16("cut.txt", false), 3600, false},
      {"outside.txt", utf16("..\\outside.txt", true), 3600, false},
  };
  TempDir t;
  const std::string exe = CraftedExe(t, {{"member.txt", "m"}}, "lists");
  int n = 0;
  for (const Row& row : rows) {
    const std::string dir = t.Path("inst" + std::to_string(n));
    WriteFile(dir + "/" + row.name, "left");
    WriteFile(t.Path("outside.txt"), "outside");
    const std::string list = dir + "/~lfx00000abc0000000" + std::to_string(n++) + ".lst";
    WriteFile(list, row.list);
    SetTime(list, static_cast<long>(std::time(nullptr)) - row.listAge);
    const auto r = RunExe(exe, "/S /O=none " + Quote("/D=" + WinPath(dir)));
    EXPECT_EQ(r.exitCode, 0) << row.name << r.out;
    EXPECT_EQ(fs::exists(dir + "/" + row.name), !row.removed) << row.name;
    EXPECT_EQ(ReadFile(t.Path("outside.txt")), "outside") << row.name;
    EXPECT_EQ(ReadFile(dir + "/member.txt"), "m") << row.name;
    EXPECT_EQ(TemporaryFiles(dir), 0) << row.name;
  }
}

TEST(WineSfx, AFileHeldOpenByAnotherProgramFailsByNameAndTheRestArrives) {
  TempDir t;
  const std::string exe = CraftedExe(t, {{"a.txt", "new a"}, {"held.txt", "new held"}, {"z.txt", "new z"}}, "held");
  const std::string dir = t.Path("inst");
  WriteFile(dir + "/held.txt", "old held");
  const pid_t holder = Spawn({WineProgram(), LM_HOLD_OPEN_EXE, WinPath(dir + "/held.txt"), WinPath(t.Path("held.flag")),
                              WinPath(t.Path("stop.flag"))},
                             WineEnvironment());
  ASSERT_GT(holder, 0);
  for (int i = 0; i < 600 && !fs::exists(t.Path("held.flag")); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(fs::exists(t.Path("held.flag"))) << "the holder did not open the file";
  const auto r = RunExe(exe, "/S " + Quote("/D=" + WinPath(dir)));
  WriteFile(t.Path("stop.flag"), "");
  int status = 0;
  waitpid(holder, &status, 0);
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("held.txt: ほかのプログラムが使用中"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(dir + "/held.txt"), "old held");
  EXPECT_EQ(ReadFile(dir + "/a.txt"), "new a");
  EXPECT_EQ(ReadFile(dir + "/z.txt"), "new z");
  EXPECT_EQ(TemporaryFiles(dir), 0);
}

TEST(WineSfx, EveryDamagedOrTruncatedArchiveFailsAlikeWithItsReasonInWords) {
  TempDir t;
  const std::string one = ReadFile(CraftedExe(t, {{"only.bin", RandomBytes(20000, 5)}}, "one"));
  const std::string many = ReadFile(MakeExe(t, {}));
  const std::size_t stub = ReadFile(BinDir() + "/lfsfxw.exe").size();
  struct Case {
    std::string name;
    std::string bytes;
  };
  std::string badTrailer = many;
  badTrailer[badTrailer.size() - 8] ^= 0x10;  // the archive's offset in the trailer
  std::string badFirstHeader = many;
  badFirstHeader[stub + 10] ^= 0x01;
  const Case cases[] = {
      {"single member cut", one.substr(0, one.size() - 5000)},
      {"single member cut in its header", one.substr(0, stub + 12)},
      {"several members cut", many.substr(0, many.size() - 3000)},
      {"cut after the first member", many.substr(0, stub + 200)},
      {"trailer pointing elsewhere", badTrailer},
      {"first header damaged", badFirstHeader},
      {"the stub alone", many.substr(0, stub)},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string exe = t.Path("bad/" + std::to_string(n) + ".exe");
    WriteFile(exe, c.bytes);
    const std::string out = t.Path("out" + std::to_string(n++));
    const auto r = RunExe(exe, "/S " + Quote("/D=" + WinPath(out)));
    EXPECT_EQ(r.exitCode, 1) << c.name << r.out;
    EXPECT_NE(r.out.find("書庫が壊れているか、途中で切れています ("), std::string::npos) << c.name << r.out;
    EXPECT_EQ(r.out.find("0x"), std::string::npos) << c.name << r.out;
    EXPECT_EQ(r.out.find("エラー 0"), std::string::npos) << c.name << r.out;
    EXPECT_TRUE(Snapshot(out).empty()) << c.name;
  }
}

TEST(WineSfx, TheManifestDeclaresLongPathsDpiAwarenessAndTheSupportedSystems) {
  const std::string stub = ReadFile(BinDir() + "/lfsfxw.exe");
  for (const char* text : {"<longPathAware", ">true</longPathAware>", "PerMonitorV2", "true/pm",
                           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(stub.find(text), std::string::npos) << text;
  }
}

// --- the window --------------------------------------------------------------

// Presses Enter every 0.7 s until the program ends (or 90 s pass);
// returns its exit status, -1 when it had to be killed.
int PressEnterUntilDone(const std::string& xdotool, pid_t pid) {
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (std::chrono::steady_clock::now() < deadline) {
    Shell(xdotool + "key Return");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Starts the .exe without switches on the run's display and waits for the
// window titled `title`; returns its process.
pid_t StartWindow(const std::string& exe, const std::string& title, const std::string& xdotool) {
  const std::string wine = WineProgram();
  EXPECT_FALSE(wine.empty()) << "wine is missing";
  EXPECT_FALSE(WineDisplay().empty()) << "no display: run the tests through ctest";
  const pid_t pid = Spawn({wine, exe}, WineEnvironment());
  EXPECT_GT(pid, 0);
  const auto found = Shell("timeout 60 " + xdotool + "search --sync --name " + Quote("^" + title + "$"));
  EXPECT_EQ(found.exitCode, 0) << found.out;
  if (found.exitCode == 0) Shell(xdotool + "windowfocus --sync " + found.out.substr(0, found.out.find('\n')));
  return pid;
}

// Focuses the shown window titled `title` and presses `key` until that
// window is gone: on a loaded machine a key sent while the focus is still
// moving can be lost, and the question would then wait for the next key.
bool AnswerWindow(const std::string& xdotool, const std::string& title, const std::string& key) {
  const std::string find = xdotool + "search --onlyvisible --name " + Quote("^" + title + "$");
  const auto first = Shell(find);
  if (first.exitCode != 0) return false;
  // The window answered is this one: the next question has the same title
  // but another window id, and must not get the key again.
  const std::string id = first.out.substr(0, first.out.find('\n'));
  const auto gone = [&] {
    const auto now = Shell(find);
    return now.exitCode != 0 || ("\n" + now.out).find("\n" + id + "\n") == std::string::npos;
  };
  for (int attempt = 0; attempt < 5; ++attempt) {
    Shell(xdotool + "windowfocus --sync " + id + " key " + key);
    for (int wait = 0; wait < 30; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (gone()) return true;
    }
  }
  return false;
}

// Presses Enter (OK) in the window titled `title` until the overwrite
// question is shown: on a loaded machine the first key can reach the window
// before it has the focus and be lost. No key is sent once the question
// exists (it is created a moment before it is shown), so none answers it.
bool PressOkUntilAsked(const std::string& xdotool, const std::string& title) {
  const std::string question = Quote("^ファイルの上書き確認$");
  // A key sent while the extraction runs would press the focused Cancel
  // button: Enter is sent again only after 15 s without the question.
  for (int attempt = 0; attempt < 180; ++attempt) {
    if (Shell(xdotool + "search --onlyvisible --name " + question).exitCode == 0) return true;
    if (attempt % 30 == 0 && Shell(xdotool + "search --name " + question).exitCode != 0) {
      const auto main = Shell(xdotool + "search --onlyvisible --name " + Quote("^" + title + "$"));
      if (main.exitCode == 0) {
        Shell(xdotool + "windowfocus --sync " + main.out.substr(0, main.out.find('\n')) + " key Return");
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return false;
}

std::string Xdotool() {
  EXPECT_TRUE(HaveTool("xdotool")) << "xdotool missing: run install-deps";
  return "env DISPLAY=" + WineDisplay() + " xdotool ";
}

// One test drives the window (the run's tests share one display, and key
// presses go to whichever window has the focus).
TEST(WineSfx, TheWindowExtractsOnEnterAndAsksBeforeOverwriting) {
  const std::string x = Xdotool();
  {
    // Enter presses OK; the proposed folder does not exist yet, so Enter
    // answers the question to create it; at the end Enter closes the message.
    TempDir t;
    const std::string title = "サンプル インストール 42";
    const std::string exe = MakeExe(t, {"$WindowTitle=" + title, "$InstallDir=" + WinPath(t.Path("proposed")),
                                        "$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)"});
    const pid_t pid = StartWindow(exe, title, x);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(PressEnterUntilDone(x, pid), 0);
    EXPECT_EQ(Snapshot(t.Path("proposed")), Snapshot(t.Path("src")));
  }
  // A file that exists already: Skip (Alt+S) in the question keeps it;
  // Escape stops the extraction there (nothing after it is written, exit
  // code 3). Neither leaves a temporary file.
  struct Case {
    const char* existing;
    const char* key;
    int exitCode;
  };
  for (const Case& c : {Case{"SAMPLE/dat/readme.txt", "alt+s", 0}, Case{"Sample.ugu", "Escape", 3}}) {
    TempDir t;
    const std::string exe = MakeExe(t, {"$InstallDir=" + WinPath(t.Path("proposed"))});
    WriteFile(t.Path("proposed/") + c.existing, "kept");
    const pid_t pid = StartWindow(exe, "dist", x);  // no title: the file's name
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(PressOkUntilAsked(x, "dist")) << c.key;
    EXPECT_TRUE(AnswerWindow(x, "ファイルの上書き確認", c.key)) << c.key;
    EXPECT_EQ(PressEnterUntilDone(x, pid), c.exitCode) << c.key;
    EXPECT_EQ(ReadFile(t.Path("proposed/") + c.existing), "kept");
    EXPECT_EQ(TemporaryFiles(t.Path("proposed")), 0);
    if (c.exitCode == 0) {
      auto want = Snapshot(t.Path("src"));
      want[c.existing] = Digest("kept");
      EXPECT_EQ(Snapshot(t.Path("proposed")), want);
    } else {
      EXPECT_FALSE(fs::exists(t.Path("proposed/SAMPLE/dat/big.bin")));
    }
  }
  // Two files exist (Sample.ugu is asked about first): each choice of the
  // question, answered as often as the question comes, with what is left
  // on disk. The "all" choices are asked once; a second question would be
  // answered by the Enter presses that close the run, with 上書き, and the
  // file would not be kept.
  struct Row {
    std::vector<std::string> keys;
    bool firstReplaced, secondReplaced;
    int exitCode;
  };
  const Row rows[] = {
      {{"alt+y", "alt+s"}, true, false, 0},  // 上書き, then スキップ
      {{"alt+s", "alt+y"}, false, true, 0},  // スキップ, then 上書き
      {{"alt+a"}, true, true, 0},            // すべて上書き
      {{"alt+n"}, false, false, 0},          // すべてスキップ
      {{"Escape"}, false, false, 3},
      {{"alt+F4"}, false, false, 3},  // the close box's key
  };
  for (const Row& row : rows) {
    TempDir t;
    const std::string exe = MakeExe(t, {"$InstallDir=" + WinPath(t.Path("proposed"))});
    WriteFile(t.Path("proposed/Sample.ugu"), "kept 1");
    WriteFile(t.Path("proposed/SAMPLE/dat/readme.txt"), "kept 2");
    const pid_t pid = StartWindow(exe, "dist", x);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(PressOkUntilAsked(x, "dist")) << row.keys[0];
    for (std::size_t k = 0; k < row.keys.size(); ++k) {
      if (k > 0) {
        const auto asked = Shell("timeout 90 " + x + "search --sync --onlyvisible --name " + Quote("^ファイルの上書き確認$"));
        EXPECT_EQ(asked.exitCode, 0) << row.keys[k] << asked.out;
      }
      EXPECT_TRUE(AnswerWindow(x, "ファイルの上書き確認", row.keys[k])) << row.keys[k];
    }
    EXPECT_EQ(PressEnterUntilDone(x, pid), row.exitCode) << row.keys[0];
    EXPECT_EQ(ReadFile(t.Path("proposed/Sample.ugu")), row.firstReplaced ? "script" : "kept 1") << row.keys[0];
    EXPECT_EQ(ReadFile(t.Path("proposed/SAMPLE/dat/readme.txt")) == "kept 2", !row.secondReplaced) << row.keys[0];
    EXPECT_EQ(TemporaryFiles(t.Path("proposed")), 0) << row.keys[0];
    if (row.exitCode == 0) {
      EXPECT_EQ(ReadFile(t.Path("proposed/SAMPLE/dat/ソフト/表.txt")), "表とソ") << row.keys[0];
    } else {
      EXPECT_FALSE(fs::exists(t.Path("proposed/SAMPLE/dat/big.bin"))) << row.keys[0];
    }
  }
  // A file that another program holds open: after 上書き the run tries
  // again a few times, then asks with 再試行/スキップ/中止. スキップ keeps the
  // old file and goes on, 中止 stops there (exit code 3), 再試行 after the
  // other program let go replaces it.
  struct InUseRow {
    const char* key;
    bool releaseFirst;
    const char* heldAfter;
    bool lastWritten;
    int exitCode;
  };
  const InUseRow inUseRows[] = {
      {"alt+s", false, "old held", true, 0},
      {"alt+c", false, "old held", false, 3},
      {"Escape", false, "old held", false, 3},
      {"alt+r", true, "new held", true, 0},
  };
  for (const InUseRow& row : inUseRows) {
    TempDir t;
    // No install folder in the options: the window proposes the .exe's own.
    const std::string exe = CraftedExe(t, {{"a.txt", "new a"}, {"held.txt", "new held"}, {"z.txt", "new z"}}, "inuse");
    const std::string dir = t.Path("dist");
    WriteFile(dir + "/held.txt", "old held");
    const pid_t holder = Spawn({WineProgram(), LM_HOLD_OPEN_EXE, WinPath(dir + "/held.txt"),
                                WinPath(t.Path("held.flag")), WinPath(t.Path("stop.flag"))},
                               WineEnvironment());
    ASSERT_GT(holder, 0);
    for (int i = 0; i < 600 && !fs::exists(t.Path("held.flag")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(fs::exists(t.Path("held.flag"))) << "the holder did not open the file";
    const pid_t pid = StartWindow(exe, "inuse", x);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(PressOkUntilAsked(x, "inuse")) << row.key;
    EXPECT_TRUE(AnswerWindow(x, "ファイルの上書き確認", "alt+y")) << row.key;
    const auto asked = Shell("timeout 90 " + x + "search --sync --onlyvisible --name " + Quote("^ファイルを使用中$"));
    EXPECT_EQ(asked.exitCode, 0) << row.key << asked.out;
    int status = 0;
    if (row.releaseFirst) {
      WriteFile(t.Path("stop.flag"), "");
      waitpid(holder, &status, 0);
    }
    EXPECT_TRUE(AnswerWindow(x, "ファイルを使用中", row.key)) << row.key;
    EXPECT_EQ(PressEnterUntilDone(x, pid), row.exitCode) << row.key;
    if (!row.releaseFirst) {
      WriteFile(t.Path("stop.flag"), "");
      waitpid(holder, &status, 0);
    }
    EXPECT_EQ(ReadFile(dir + "/held.txt"), row.heldAfter) << row.key;
    EXPECT_EQ(ReadFile(dir + "/a.txt"), "new a") << row.key;
    EXPECT_EQ(fs::exists(dir + "/z.txt"), row.lastWritten) << row.key;
    EXPECT_EQ(TemporaryFiles(dir), 0) << row.key;
  }
}

}  // namespace
