// UnLHA32.DLL through its C entry points: the commands the archive builder
// sends, the find functions, the status functions and the result codes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <thread>

#include <gtest/gtest.h>

#include "archive/lha/crc16.h"
#include "lha_craft.h"
#include "lha_test_support.h"

namespace {

using namespace lhatest;

// The script layout the builder archives: the script file beside a
// directory named after it holding DAT. The disk spells the names in other
// letter case than the commands do.
struct ScriptTree {
  TempDir tmp;
  std::string src = tmp.Path("src");
  std::string arc = tmp.Path("arc/sample.lzh");
  ScriptTree() {
    WriteFile(src + "/Sample.ugu", "script\r\n");
    WriteFile(src + "/Sample/DAT/index.fet", TextBytes(5000, 1));
    WriteFile(src + "/Sample/DAT/LASTUPDATE", "x");
    WriteFile(src + "/Sample/DAT/sub/deep/b.txt", TextBytes(100000, 2));
    WriteFile(src + "/Sample/DAT/empty.txt", "");
    fs::create_directories(src + "/Sample/DAT/emptydir");
    fs::create_directories(tmp.Path("arc"));
  }
};

TEST(LhaCommands, AddWithBaseDirectoryStoresPathsAsWrittenAndRecursesWithR2) {
  ScriptTree t;
  const auto r = RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu SAMPLE\\dat\\*.* -xr2");
  ASSERT_EQ(r.code, 0) << r.output;
  const auto names = Names(List(t.arc));
  const std::vector<std::string> want = {"Sample.ugu",
                                         "SAMPLE\\dat\\LASTUPDATE",
                                         "SAMPLE\\dat\\empty.txt",
                                         "SAMPLE\\dat\\index.fet",
                                         "SAMPLE\\dat\\emptydir",
                                         "SAMPLE\\dat\\sub",
                                         "SAMPLE\\dat\\sub\\deep",
                                         "SAMPLE\\dat\\sub\\deep\\b.txt"};
  EXPECT_EQ(names, want);
  // Without -r2 only the files of the directory itself.
  const std::string flat = t.tmp.Path("arc/flat.lzh");
  ASSERT_EQ(RunCmd("a " + flat + " " + t.src + "/ SAMPLE/DAT/*.* -x").code, 0);
  EXPECT_EQ(Names(List(flat)),
            (std::vector<std::string>{"SAMPLE\\DAT\\LASTUPDATE", "SAMPLE\\DAT\\empty.txt", "SAMPLE\\DAT\\index.fet"}));
}

TEST(LhaCommands, AddWithoutXStoresTheFileNameAlone) {
  ScriptTree t;
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "/Sample/DAT/sub/deep/b.txt").code, 0);
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\sample\\dat\\INDEX.FET").code, 0);
  // The file system's spelling of the name is stored.
  EXPECT_EQ(Names(List(t.arc)), (std::vector<std::string>{"b.txt", "index.fet"}));
}

TEST(LhaCommands, AddOfADirectoryOutsideTheBaseStoresItUnderItsOwnName) {
  ScriptTree t;
  WriteFile(t.tmp.Path("other/manual/a.txt"), "a");
  WriteFile(t.tmp.Path("other/manual/img/b.bmp"), "b");
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.tmp.Path("other") + "\\ manual\\*.* -xr2").code, 0);
  EXPECT_EQ(Names(List(t.arc)),
            (std::vector<std::string>{"manual\\a.txt", "manual\\img", "manual\\img\\b.bmp"}));
}

TEST(LhaCommands, NameThatMatchesNothingIsAnErrorAndLeavesTheArchiveAlone) {
  ScriptTree t;
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu").code, 0);
  const std::string before = ReadFile(t.arc);
  for (const std::string& cmd : {"a " + t.arc + " " + t.src + "\\ missing.txt",
                                 "a " + t.arc + " " + t.src + "\\ nodir\\*.* -xr2",
                                 "a " + t.arc + " " + t.src + "\\ SAMPLE\\dat\\*.none -x",
                                 "a " + t.arc + " " + t.tmp.Path("nobase") + "\\ Sample.ugu"}) {
    const auto r = RunCmd(cmd);
    EXPECT_EQ(r.code, ARC_ERROR_NOT_EXIST) << cmd;
    EXPECT_FALSE(r.output.empty());
  }
  EXPECT_TRUE(ReadFile(t.arc) == before);
  const std::string fresh = t.tmp.Path("arc/fresh.lzh");
  EXPECT_EQ(RunCmd("a " + fresh + " " + t.src + "\\ missing.txt").code, ARC_ERROR_NOT_EXIST);
  EXPECT_FALSE(fs::exists(fresh));
}

TEST(LhaCommands, AddReplacesAMemberOfTheSameNameInPlace) {
  ScriptTree t;
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu SAMPLE\\dat\\index.fet -x").code, 0);
  WriteFile(t.src + "/Sample/DAT/index.fet", "new content");
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ sample\\DAT\\INDEX.FET -x").code, 0);
  const auto members = List(t.arc);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[1].size, 11u);
  // Directory part as written in the command, file name as the disk spells it.
  EXPECT_EQ(members[1].name, "sample\\DAT\\index.fet");
  TempDir out;
  ASSERT_EQ(RunCmd("e " + t.arc + " " + out.Path() + "/ *.* -xr2 -jyc -jyo").code, 0);
  EXPECT_EQ(ReadFile(out.Path("sample/DAT/index.fet")), "new content");
}

TEST(LhaCommands, DeleteRemovesNamedMembersAndIgnoresAbsentOnes) {
  ScriptTree t;
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu SAMPLE\\dat\\*.* -xr2").code, 0);
  const std::string before = ReadFile(t.arc);
  // The builder deletes three names that are usually absent.
  auto r = RunCmd("d " + t.arc + " SAMPLE\\dat\\UPDATE.LOG SAMPLE\\dat\\MIRROR.FET nothing\\here");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(ReadFile(t.arc) == before);
  r = RunCmd("d " + t.arc + " sample\\DAT\\lastupdate SAMPLE\\dat\\UPDATE.LOG");
  EXPECT_EQ(r.code, 0) << r.output;
  const auto names = Names(List(t.arc));
  EXPECT_EQ(std::count(names.begin(), names.end(), "SAMPLE\\dat\\LASTUPDATE"), 0);
  EXPECT_EQ(names.size(), 7u);
  EXPECT_NE(RunCmd("d " + t.tmp.Path("arc/none.lzh") + " x").code, 0);
}

TEST(LhaCommands, FailedRewriteLeavesTheArchiveIntact) {
  ScriptTree t;
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu SAMPLE\\dat\\*.* -xr2").code, 0);
  // Damage the last member's header: "a" and "d" must refuse and keep the file.
  std::string bytes = ReadFile(t.arc);
  const std::size_t at = bytes.rfind("b.txt");
  ASSERT_NE(at, std::string::npos);
  bytes[at] ^= 0x55;  // the header CRC no longer matches
  WriteFile(t.arc, bytes);
  EXPECT_NE(RunCmd("d " + t.arc + " Sample.ugu").code, 0);
  EXPECT_NE(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu").code, 0);
  EXPECT_TRUE(ReadFile(t.arc) == bytes);
  // No temporary files are left beside it.
  int files = 0;
  for (auto& e : fs::directory_iterator(t.tmp.Path("arc"))) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(LhaCommands, ExtractAsTheBuilderDoesRecreatesTheTree) {
  ScriptTree t;
  ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu SAMPLE\\dat\\*.* -xr2").code, 0);
  TempDir work;
  // Existing files are overwritten without asking; the directory is created.
  WriteFile(work.Path("temp/SAMPLE/dat/index.fet"), "old");
  const auto r = RunCmd("e " + t.arc + " " + work.Path("temp") + "\\ *.*  -xr2 -jyc -jyo");
  ASSERT_EQ(r.code, 0) << r.output;
  auto got = Snapshot(work.Path("temp"));
  auto want = Snapshot(t.src + "/Sample");
  std::map<std::string, std::string> wantRenamed;
  for (auto& [k, v] : want) {
    std::string key = k;
    key.replace(0, 3, "dat");
    wantRenamed["SAMPLE/" + key] = v;
  }
  wantRenamed["SAMPLE"] = "<dir>";
  wantRenamed["Sample.ugu"] = Digest("script\r\n");
  EXPECT_EQ(got, wantRenamed);
  // Time stamps come back.
  struct stat a {}, b {};
  stat((t.src + "/Sample/DAT/sub/deep/b.txt").c_str(), &a);
  stat(work.Path("temp/SAMPLE/dat/sub/deep/b.txt").c_str(), &b);
  EXPECT_EQ(a.st_mtime, b.st_mtime);
}

TEST(LhaCommands, MethodsFollowTheSwitchAndTheData) {
  TempDir t;
  WriteFile(t.Path("in/text.txt"), TextBytes(1500000, 5));
  WriteFile(t.Path("in/random.bin"), RandomBytes(200000, 6));
  WriteFile(t.Path("in/empty.dat"), "");
  struct Case {
    const char* sw;
    const char* method;
  } cases[] = {{"", "-lh5-"}, {"-o7", "-lh7-"}, {"-o6", "-lh6-"}, {"-o5", "-lh5-"}};
  for (const Case& c : cases) {
    const std::string arc = t.Path(std::string("m") + c.method + ".lzh");
    ASSERT_EQ(RunCmd("a " + arc + " " + t.Path("in") + "/ *.* " + c.sw).code, 0);
    const auto m = List(arc);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].name, "empty.dat");
    EXPECT_EQ(m[0].method, "-lh0-");
    EXPECT_EQ(m[1].method, "-lh0-") << "incompressible data is stored";
    EXPECT_EQ(m[1].packed, 200000u);
    EXPECT_EQ(m[2].method, c.method);
    EXPECT_LT(m[2].packed, 1500000u / 2);
    TempDir out;
    ASSERT_EQ(RunCmd("e " + arc + " " + out.Path() + "/ -x").code, 0);
    EXPECT_EQ(Snapshot(out.Path()), Snapshot(t.Path("in")));
  }
}

TEST(LhaCommands, QuotedPathsWithBlanksAndJapaneseNames) {
  TempDir t;
  WriteFile(t.Path("my src/資料 フォルダ/説明書.txt"), "日本語の説明");
  WriteFile(t.Path("my src/資料 フォルダ/ソース.c"), "int main(){}");  // "ソ" ends in a "\" byte in Shift-JIS
  const std::string arc = t.Path("out dir/日本語.lzh");
  fs::create_directories(t.Path("out dir"));
  auto r = RunCmd("a \"" + arc + "\" \"" + t.Path("my src") + "\"\\ \"資料 フォルダ\"\\*.* -xr2");
  ASSERT_EQ(r.code, 0) << r.output;
  const auto m = List(arc);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].name, "資料 フォルダ\\ソース.c");
  EXPECT_EQ(std::string(m[1].info.fileName), Sjis("資料 フォルダ\\説明書.txt"));
  r = RunCmd("e \"" + arc + "\" \"" + t.Path("x y") + "/\" -x");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadFile(t.Path("x y/資料 フォルダ/ソース.c")), "int main(){}");
  EXPECT_EQ(ReadFile(t.Path("x y/資料 フォルダ/説明書.txt")), "日本語の説明");
}

TEST(LhaCommands, FindFunctionsFillArchiveInfo) {
  TempDir t;
  const std::string text = TextBytes(40000, 9);
  WriteFile(t.Path("in/docs/readme.txt"), text);
  fs::create_directories(t.Path("in/docs/empty"));
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 7;
  tm.tm_hour = 13;
  tm.tm_min = 45;
  tm.tm_sec = 58;
  tm.tm_isdst = -1;
  const time_t when = mktime(&tm);
  const struct timespec ts[2] = {{when, 0}, {when, 0}};
  utimensat(AT_FDCWD, t.Path("in/docs/readme.txt").c_str(), ts, 0);
  const std::string arc = t.Path("a.lzh");
  ASSERT_EQ(RunCmd("a " + arc + " " + t.Path("in") + "\\ docs\\*.* -xr2").code, 0);
  const auto m = List(arc);
  ASSERT_EQ(m.size(), 2u);
  const ArchiveInfo& f = m[0].info;
  EXPECT_STREQ(f.fileName, "docs\\readme.txt");
  // Copies: the record is packed, its fields may not be bound to references.
  const uint32_t unpacked = f.unpackedSize, packed = f.packedSize, crc = f.crc;
  const int ratio = f.ratio, date = f.date, time = f.time;
  EXPECT_EQ(unpacked, 40000u);
  EXPECT_EQ(crc, lha::Crc16(text.data(), text.size()));
  EXPECT_EQ(ratio, static_cast<int>(packed * 1000 / 40000));
  EXPECT_EQ(date, ((2024 - 1980) << 9) | (3 << 5) | 7);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 29);
  EXPECT_STREQ(f.mode, "-lh5-");
  EXPECT_STREQ(m[1].info.mode, "-lhd-");
  EXPECT_STREQ(m[1].info.fileName, "docs\\empty");
  EXPECT_EQ(m[1].info.attribute[3], 'd');

  Library& lib = Library::Get();
  HARC h = lib.OpenArchive(nullptr, arc.c_str(), 0);
  ASSERT_NE(h, nullptr);
  ArchiveInfo info{};
  EXPECT_EQ(lib.FindFirst(h, "*.txt", &info), 0);
  EXPECT_STREQ(info.fileName, "docs\\readme.txt");
  EXPECT_NE(lib.FindNext(h, &info), 0);
  EXPECT_NE(lib.FindNext(h, &info), 0);
  EXPECT_EQ(lib.CloseArchive(h), 0);
  EXPECT_NE(lib.FindFirst(h, "*.*", &info), 0) << "a closed handle is refused";
  EXPECT_EQ(lib.OpenArchive(nullptr, t.Path("none.lzh").c_str(), 0), nullptr);

  // An archive whose members were all deleted lists nothing.
  ASSERT_EQ(RunCmd("d " + arc + " docs\\readme.txt docs\\empty").code, 0);
  EXPECT_TRUE(List(arc).empty());
  h = lib.OpenArchive(nullptr, arc.c_str(), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(lib.FindFirst(h, "*.*", &info), 0);
  lib.CloseArchive(h);
}

TEST(LhaCommands, OutputStaysWithinTheBufferAndIsTerminated) {
  ScriptTree t;
  for (uint32_t size : {1u, 2u, 7u, 64u}) {
    Library& lib = Library::Get();
    std::vector<char> buf(size + 8, '#');
    const std::string cmd = "l " + t.arc;
    ASSERT_EQ(RunCmd("a " + t.arc + " " + t.src + "\\ Sample.ugu SAMPLE\\dat\\*.* -xr2").code, 0);
    EXPECT_EQ(lib.Unlha(nullptr, cmd.c_str(), buf.data(), size), 0);
    EXPECT_LT(strnlen(buf.data(), size), size);
    EXPECT_EQ(buf[size], '#') << "nothing written past the buffer";
  }
  EXPECT_EQ(Library::Get().Unlha(nullptr, ("l " + t.arc).c_str(), nullptr, 0), 0);
}

TEST(LhaCommands, CommandErrorsHaveTheirCodes) {
  TempDir t;
  WriteFile(t.Path("not.lzh"), "this is not an archive at all, just text\n");
  WriteFile(t.Path("empty.lzh"), "");
  EXPECT_EQ(RunCmd("q " + t.Path("x.lzh")).code, ARC_ERROR_COMMAND_NAME);
  EXPECT_EQ(RunCmd("").code, ARC_ERROR_COMMAND_NAME);
  EXPECT_EQ(RunCmd("a").code, ARC_ERROR_NOT_ARC_FILE);
  EXPECT_EQ(RunCmd("l " + t.Path("missing.lzh")).code, ARC_ERROR_ARC_FILE_OPEN);
  EXPECT_EQ(RunCmd("e " + t.Path("not.lzh") + " " + t.Path("o") + "/").code, ARC_ERROR_FILE_STYLE);
  EXPECT_EQ(RunCmd("t " + t.Path("empty.lzh")).code, ARC_ERROR_FILE_STYLE);
  EXPECT_EQ(Library::Get().CheckArchive(t.Path("not.lzh").c_str(), 4), 0);
  // Shift-JIS that does not decode.
  EXPECT_EQ(Library::Get().Unlha(nullptr, "l \x81", nullptr, 0), ARC_ERROR_COMMAND_NAME);
}

TEST(LhaCommands, FourGibibyteFilesAreRefused) {
  TempDir t;
  const std::string big = t.Path("in/big.bin");
  fs::create_directories(t.Path("in"));
  const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  const bool sparse = ftruncate(fd, 0x100000000LL) == 0;
  close(fd);
  if (!sparse) GTEST_SKIP() << "no sparse 4 GiB file here";
  const auto r = RunCmd("a " + t.Path("a.lzh") + " " + big);
  EXPECT_EQ(r.code, ARC_ERROR_VERSION) << r.output;
  EXPECT_FALSE(fs::exists(t.Path("a.lzh")));
}

TEST(LhaCommands, StatusModesVersionAndOptionDialog) {
  Library& lib = Library::Get();
  EXPECT_EQ(lib.GetVersion(), 100);
  EXPECT_EQ(lib.GetRunning(), 0);
  lib.SetBackGroundMode(1);
  EXPECT_NE(lib.GetBackGroundMode(), 0);
  lib.SetBackGroundMode(0);
  EXPECT_EQ(lib.GetBackGroundMode(), 0);
  lib.SetCursorMode(0);
  EXPECT_EQ(lib.GetCursorMode(), 0);
  lib.SetCursorMode(1);
  EXPECT_NE(lib.GetCursorMode(), 0);
  char option[258] = "keep";
  EXPECT_EQ(lib.ConfigDialog(nullptr, option, 0), 0);
  EXPECT_STREQ(option, "keep");
}

TEST(LhaCommands, ASecondCommandWhileOneRunsIsRefused) {
  TempDir t;
  WriteFile(t.Path("in/big.txt"), TextBytes(8 << 20, 3));
  Library& lib = Library::Get();
  int first = -1;
  std::thread worker([&] { first = RunCmd("a " + t.Path("a.lzh") + " " + t.Path("in") + "/ *.* -o7").code; });
  bool sawRunning = false;
  for (int i = 0; i < 20000 && !sawRunning; ++i) {
    sawRunning = lib.GetRunning() != 0;
    if (!sawRunning) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  int second = 0;
  if (sawRunning) second = RunCmd("l " + t.Path("a.lzh")).code;
  worker.join();
  ASSERT_TRUE(sawRunning);
  EXPECT_EQ(second, ARC_ERROR_ALREADY_RUNNING);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(lib.GetRunning(), 0);
  EXPECT_EQ(RunCmd("t " + t.Path("a.lzh")).code, 0);
}

TEST(LhaCommands, ReadsHeaderLevelsZeroAndOne) {
  TempDir t;
  const std::string sjisName = Sjis("dir\\ソ\\file.txt");
  WriteFile(t.Path("old.lzh"), CraftArchive({{"top.txt", "level zero", 0},
                                             {sjisName, "level one", 1},
                                             {"two\\x.bin", "level two", 2}}));
  Library& lib = Library::Get();
  EXPECT_NE(lib.CheckArchive(t.Path("old.lzh").c_str(), 4), 0);
  const auto m = List(t.Path("old.lzh"));
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[1].name, "dir\\ソ\\file.txt");
  const auto r = RunCmd("e " + t.Path("old.lzh") + " " + t.Path("out") + "/ -x");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadFile(t.Path("out/top.txt")), "level zero");
  EXPECT_EQ(ReadFile(t.Path("out/dir/ソ/file.txt")), "level one");
  EXPECT_EQ(ReadFile(t.Path("out/two/x.bin")), "level two");
}

}  // namespace

namespace {

TEST(LhaCommandsExtract, ExistingNamesInOtherLetterCaseAreWrittenNotDoubled) {
  lhatest::ScriptTreeForCase t;
  ASSERT_EQ(lhatest::RunCmd("a " + t.arc + " " + t.src + "\\ SAMPLE\\dat\\*.* -xr2").code, 0);
  lhatest::WriteFile(t.out + "/sample/DAT/INDEX.FET", "old");
  const auto r = lhatest::RunCmd("e " + t.arc + " " + t.out + "\\ *.* -xr2 -jyc -jyo");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(lhatest::ReadFile(t.out + "/sample/DAT/INDEX.FET"), "index");
  EXPECT_FALSE(lhatest::fs::exists(t.out + "/SAMPLE"));
  EXPECT_EQ(lhatest::ReadFile(t.out + "/sample/DAT/sub/b.txt"), "b");
}

TEST(LhaCommandsExtract, FullWidthLettersFoldAsTheProgramFoldsThem) {
  // The program finds "ｄａｔ" when "ＤＡＴ" exists; the library must write
  // into the same folder and over the same file, not beside them.
  lhatest::TempDir tmp;
  lhatest::WriteFile(tmp.Path("src/ｄａｔ/ｍｉｏ.txt"), "new");
  lhatest::WriteFile(tmp.Path("out/ＤＡＴ/ＭＩＯ.txt"), "old");
  const std::string arc = tmp.Path("a.lzh");
  ASSERT_EQ(lhatest::RunCmd("a " + arc + " " + tmp.Path("src") + "\\ ｄａｔ\\*.* -x1").code, 0);
  const auto r = lhatest::RunCmd("x " + arc + " " + tmp.Path("out") + "\\ -jyo");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(lhatest::ReadFile(tmp.Path("out/ＤＡＴ/ＭＩＯ.txt")), "new");
  EXPECT_FALSE(lhatest::fs::exists(tmp.Path("out/ｄａｔ")));
  // Adding the same name twice in other spellings stores it once.
  const std::string arc2 = tmp.Path("b.lzh");
  ASSERT_EQ(lhatest::RunCmd("a " + arc2 + " " + tmp.Path("src") + "\\ ｄａｔ\\ｍｉｏ.txt ＤＡＴ\\ＭＩＯ.TXT -x1").code, 0);
  const auto l = lhatest::RunCmd("l " + arc2);
  EXPECT_NE(l.output.find("ｍｉｏ.txt"), std::string::npos) << l.output;
  EXPECT_EQ(l.output.find("ＭＩＯ.TXT"), std::string::npos) << l.output;
}

TEST(LhaCommandsExtract, WithoutXOnlyTheFileNamesAreUsedAndPatternsSelect) {
  lhatest::ScriptTreeForCase t;
  ASSERT_EQ(lhatest::RunCmd("a " + t.arc + " " + t.src + "\\ SAMPLE\\dat\\*.* -xr2").code, 0);
  const auto r = lhatest::RunCmd("e " + t.arc + " " + t.out + "/ *.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  const auto tree = lhatest::Snapshot(t.out);
  EXPECT_EQ(tree.size(), 1u);
  EXPECT_EQ(lhatest::ReadFile(t.out + "/b.txt"), "b");
}

}  // namespace

namespace {

TEST(LhaCommandsExtract, NewFilesGetThePermissionsTheUmaskAllows) {
  const mode_t saved = umask(027);
  lhatest::ScriptTreeForCase t;
  const auto a = lhatest::RunCmd("a " + t.arc + " " + t.src + "\\ SAMPLE\\dat\\*.* -xr2");
  const auto e = lhatest::RunCmd("e " + t.arc + " " + t.out + "/ -x");
  const auto s = lhatest::RunCmd("s " + t.tmp.Path("a") + " " + t.tmp.Path("") + "/");
  umask(saved);
  ASSERT_EQ(a.code, 0);
  ASSERT_EQ(e.code, 0);
  ASSERT_EQ(s.code, 0);
  auto mode = [](const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 0777;
  };
  EXPECT_EQ(mode(t.arc), 0640u);
  EXPECT_EQ(mode(t.out + "/SAMPLE/dat/index.fet"), 0640u);
  EXPECT_EQ(mode(t.tmp.Path("a.exe")), 0750u);
  // Rewriting keeps the archive's own permissions.
  chmod(t.arc.c_str(), 0604);
  ASSERT_EQ(lhatest::RunCmd("d " + t.arc + " SAMPLE\\dat\\index.fet").code, 0);
  EXPECT_EQ(mode(t.arc), 0604u);
}

}  // namespace
