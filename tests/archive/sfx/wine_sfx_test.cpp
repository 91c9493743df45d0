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

// Files whose name the stub gives its temporary files ("lfx*.tmp").
int TemporaryFiles(const std::string& root) {
  int n = 0;
  if (!fs::exists(root)) return 0;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("lfx", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".tmp") ++n;
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
  EXPECT_LE(stub.size(), 60u * 1024u);
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
  for (const Case& c : {Case{"nothere.txt", "ありません"}, Case{"..\\outside.txt", "外を指しています"}}) {
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

// --- the window --------------------------------------------------------------

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
  for (int attempt = 0; attempt < 5; ++attempt) {
    const auto found = Shell(find);
    if (found.exitCode != 0) return attempt > 0;
    Shell(xdotool + "windowfocus --sync " + found.out.substr(0, found.out.find('\n')) + " key " + key);
    for (int wait = 0; wait < 30; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (Shell(find).exitCode != 0) return true;
    }
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
    Shell(x + "key Return");
    // The question exists a moment before it is shown: wait until it is shown.
    const auto asked = Shell("timeout 60 " + x + "search --sync --onlyvisible --name " + Quote("^ファイルの上書き確認$"));
    EXPECT_EQ(asked.exitCode, 0) << asked.out;
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
}

}  // namespace
