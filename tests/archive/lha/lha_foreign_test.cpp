// Archives of the shapes other LHA tools write, made by the test's own
// writer (lha_craft.h): leading separators, LHa for UNIX's level-0 folders
// and times, names followed by a comment, level-3 headers, damage after
// intact members, symbolic links, files that only look like archives,
// other tools' self-extractors, nameless directory entries, level-0
// headers without a CRC field, Amiga-style empty directories, UTF-16 names.
// lhasa extracts the same archives as the independent reference.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "lha_craft.h"
#include "lha_test_support.h"

namespace {

using namespace lhatest;

// Extracts `archive` with ours and with lhasa; both trees must be `want`.
void ExpectTree(const TempDir& t, const std::string& archive, const std::map<std::string, std::string>& want,
                bool withLhasa = true) {
  WriteFile(t.Path("a.lzh"), archive);
  const auto r = RunCmd("x " + t.Path("a.lzh") + " " + t.Path("ours") + "/");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(Snapshot(t.Path("ours")), want) << r.output;
  if (!withLhasa) return;
  ASSERT_TRUE(HaveTool("lhasa")) << "lhasa is needed as the reference reader (bash scripts/install-deps.sh)";
  fs::create_directories(t.Path("lhasa"));
  const auto x = Shell("cd " + Quote(t.Path("lhasa")) + " && lhasa xq " + Quote(t.Path("a.lzh")));
  EXPECT_EQ(Snapshot(t.Path("lhasa")), want) << "lhasa: " << x.out;
}

std::string F(const std::string& bytes) { return Digest(bytes); }

TEST(LhaForeign, ALeadingSeparatorIsDropped) {
  for (int level : {0, 1, 2}) {
    SCOPED_TRACE(level);
    TempDir t;
    CraftMember viaDirExtension{"b.txt", "bee", 2};
    viaDirExtension.extension = std::string("\x02\xffsub\xff", 6);
    std::vector<CraftMember> members = {{"\\sub\\a.txt", "ay", level}};
    if (level == 2) members.push_back(viaDirExtension);
    std::map<std::string, std::string> want = {{"sub", "<dir>"}, {"sub/a.txt", F("ay")}};
    if (level == 2) want["sub/b.txt"] = F("bee");
    // lhasa keeps the separator in the name (it writes "\\sub\\a.txt").
    ExpectTree(t, CraftArchive(members), want, false);
  }
}

TEST(LhaForeign, LevelZeroFoldersAndUnixTimesOfLhaForUnix) {
  TempDir t;
  // 0xFF between levels; odd seconds and a year before 1980 come from the
  // Unix time, which the DOS time cannot hold.
  CraftMember odd{"dir\xffsub\xff" "odd.txt", "odd", 0};
  odd.unixStamp = 1700000001;
  CraftMember old{"dir\xff" "1975.txt", "old", 0};
  old.unixStamp = 157766400;  // 1975-01-01
  ExpectTree(t, CraftArchive({odd, old}),
             {{"dir", "<dir>"}, {"dir/sub", "<dir>"}, {"dir/sub/odd.txt", F("odd")}, {"dir/1975.txt", F("old")}},
             false);  // lhasa writes these names flat, with the 0xFF bytes in them
  struct stat st {};
  ASSERT_EQ(::stat(t.Path("ours/dir/sub/odd.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1700000001);
  ASSERT_EQ(::stat(t.Path("ours/dir/1975.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 157766400);
}

TEST(LhaForeign, ANameFollowedByANulAndACommentKeepsTheName) {
  for (int level : {0, 1, 2}) {
    SCOPED_TRACE(level);
    TempDir t;
    ExpectTree(t, CraftArchive({{std::string("readme.txt\0An Amiga comment", 27), "text", level}}),
               {{"readme.txt", F("text")}});
  }
}

// Another tool's self-extracting file: its program, then the archive,
// without our trailer. The archive is found by its first valid header
// within the first 64 KiB; text that only looks like a header (a method
// name in the program) is passed over.
TEST(LhaForeign, TheArchiveInsideAnotherToolsSelfExtractorIsFound) {
  const std::string archive = CraftArchive({{"a.txt", "alpha", 2}, {"d\\b.txt", "beta", 1}, {"c.txt", "gamma", 0}});
  struct Case {
    const char* name;
    std::size_t stubSize;
    bool found;
  };
  for (const Case& c : {Case{"small stub", 700, true}, Case{"stub near 64 KiB", 65000, true},
                         Case{"stub beyond 64 KiB", 70000, false}}) {
    SCOPED_TRACE(c.name);
    TempDir t;
    std::string stub = "MZ" + RandomBytes(c.stubSize - 2, 3);
    // Decoys: method names with no valid header around them.
    stub.replace(100, 9, "xx-lh5-yy");
    stub.replace(300, 6, "-lh0-\x02");
    WriteFile(t.Path("s.exe"), stub + archive);
    const auto listed = RunCmd("l " + t.Path("s.exe"));
    if (!c.found) {
      EXPECT_EQ(listed.code, ARC_ERROR_FILE_STYLE) << listed.output;
      continue;
    }
    EXPECT_EQ(listed.code, 0) << listed.output;
    const auto r = RunCmd("x " + t.Path("s.exe") + " " + t.Path("ours") + "/");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(Snapshot(t.Path("ours")),
              (std::map<std::string, std::string>{
                  {"a.txt", F("alpha")}, {"d", "<dir>"}, {"d/b.txt", F("beta")}, {"c.txt", F("gamma")}}));
    EXPECT_NE(Library::Get().CheckArchive(t.Path("s.exe").c_str(), 4), 0);
  }
}

// Shapes of headers that other writers produce: directory entries without
// a name, a level-0 header without its CRC field, an empty directory
// stored as an empty -lh0- member with the directory attribute or a
// trailing separator.
TEST(LhaForeign, EmptyDirectoryNamesMissingCrcFieldsAndAmigaDirectories) {
  TempDir t;
  CraftMember noName{"", "", 0, true};
  CraftMember slashOnly{"\\", "", 0, true};
  CraftMember noCrc{"nocrc.txt", "no crc here", 0};
  noCrc.noCrc = true;
  CraftMember amigaAttr{"emptydir", "", 0};
  amigaAttr.attribute = 0x10;
  CraftMember amigaSlash{"other/", "", 1};
  CraftMember emptyFile{"empty.txt", "", 0};
  ExpectTree(t, CraftArchive({noName, {"a.txt", "ay", 0}, slashOnly, noCrc, amigaAttr, amigaSlash, emptyFile}),
             {{"a.txt", F("ay")},
              {"nocrc.txt", F("no crc here")},
              {"emptydir", "<dir>"},
              {"other", "<dir>"},
              {"empty.txt", F("")}},
             false);
  // A level-0 header without its CRC field is still checked by its own sum.
  std::string bad = CraftArchive({noCrc});
  bad[5] ^= 0x01;
  WriteFile(t.Path("bad.lzh"), bad);
  EXPECT_NE(RunCmd("x " + t.Path("bad.lzh") + " " + t.Path("bad") + "/").code, 0);
}

// UTF-16LE of a UTF-8 text (the test's names are in the Basic Multilingual
// Plane), and the extension of `type` holding it.
std::string Utf16Extension(char type, const std::string& utf8) {
  std::string out(1, type);
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t u = 0;
    int n = 0;
    if (c < 0x80) {
      u = c;
    } else if ((c >> 5) == 6) {
      u = c & 0x1F;
      n = 1;
    } else {
      u = c & 0x0F;
      n = 2;
    }
    for (int k = 1; k <= n; ++k) u = (u << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<std::size_t>(n) + 1;
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

// The UTF-16 name extensions (0x44 file name, 0x45 directory name) give
// the names when present: the files get them, and the listing shows them
// (in code page 932) instead of the placeholders stored for old readers.
TEST(LhaForeign, Utf16NameExtensionsGiveTheNames) {
  TempDir t;
  CraftMember file{"______.txt", "first", 2};
  file.extension = Utf16Extension('\x44', "日本語.txt");
  CraftMember inDir{"b.txt", "second", 2};
  inDir.extension = Utf16Extension('\x45', "表ソ");
  CraftMember dir{"___", "", 2, true};
  dir.extension = Utf16Extension('\x45', "空");
  CraftMember accent{"caf_.txt", "third", 2};
  accent.extension = Utf16Extension('\x44', "café€.txt");  // not in code page 932
  ExpectTree(t, CraftArchive({file, inDir, dir, accent}),
             {{"日本語.txt", F("first")},
              {"表ソ", "<dir>"},
              {"表ソ/b.txt", F("second")},
              {"空", "<dir>"},
              {"café€.txt", F("third")}},
             false);
  const auto names = Names(List(t.Path("a.lzh")));
  EXPECT_EQ(names, (std::vector<std::string>{"日本語.txt", "表ソ\\b.txt", "空", "caf_.txt"}));
}

TEST(LhaForeign, LevelThreeHeaders) {
  TempDir t;
  ExpectTree(t, CraftArchive({{"top.txt", "top", 3}, {"d\\in.txt", "inner", 3}}),
             {{"top.txt", F("top")}, {"d", "<dir>"}, {"d/in.txt", F("inner")}});
  EXPECT_NE(Library::Get().CheckArchive(t.Path("a.lzh").c_str(), 4), 0);
}

TEST(LhaForeign, MembersBeforeADamagedHeaderAreReadAndTheCodeSaysWhatFailed) {
  TempDir t;
  std::string arc = CraftArchive({{"one.txt", "1"}, {"two.txt", "2"}, {"three.txt", "3"}});
  // Cut the archive inside the third member's header.
  const std::size_t third = arc.find("three.txt");
  ASSERT_NE(third, std::string::npos);
  arc.resize(third - 2);
  WriteFile(t.Path("d.lzh"), arc);
  const auto x = RunCmd("x " + t.Path("d.lzh") + " " + t.Path("out") + "/");
  EXPECT_EQ(x.code, ARC_ERROR_HEADER_BROKEN) << x.output;
  EXPECT_NE(x.output.find("damaged header"), std::string::npos) << x.output;
  EXPECT_NE(x.output.find("after two.txt"), std::string::npos) << x.output;
  EXPECT_EQ(Snapshot(t.Path("out")), (std::map<std::string, std::string>{{"one.txt", F("1")}, {"two.txt", F("2")}}));
  for (const char* cmd : {"l ", "t "}) {
    const auto r = RunCmd(cmd + t.Path("d.lzh"));
    EXPECT_EQ(r.code, ARC_ERROR_HEADER_BROKEN) << r.output;
    EXPECT_NE(r.output.find("two.txt"), std::string::npos) << r.output;
  }
  EXPECT_EQ(Library::Get().CheckArchive(t.Path("d.lzh").c_str(), 4), 0);
}

TEST(LhaForeign, OnlyAFileWithAValidHeaderIsAnArchive) {
  TempDir t;
  struct Case {
    const char* what;
    std::string bytes;
    bool archive;
  } cases[] = {
      {"all zero", std::string(4096, '\0'), false},
      {"MP4", std::string("\0\0\0\x18" "ftypmp42\0\0\0\0mp42isom", 24) + std::string(500, '\x11'), false},
      {"one zero byte", std::string(1, '\0'), false},
      {"text", "-lh5- is a method name", false},
      {"archive", CraftArchive({{"a.txt", "a"}}), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(t.Path("f.lzh"), c.bytes);
    EXPECT_EQ(Library::Get().CheckArchive(t.Path("f.lzh").c_str(), 4) != 0, c.archive);
    if (c.bytes.size() > 1 && !c.archive) {
      EXPECT_EQ(RunCmd("l " + t.Path("f.lzh")).code, ARC_ERROR_FILE_STYLE);
    }
  }
}

TEST(LhaForeign, SymbolicLinksAreMadeOnlyWhenTheyStayInside) {
  TempDir t;
  struct Case {
    const char* stored;  // "link|target" as LHa for UNIX stores it
    bool made;
  } cases[] = {
      {"here|file.txt", true},
      {"d\\up|../file.txt", true},
      {"d\\deeper|sub/x", true},
      {"out|../file.txt", false},
      {"abs|/etc/passwd", false},
      {"d\\far|../../x", false},
      {"d\\through|sub/../../..", false},
  };
  std::vector<CraftMember> members = {{"file.txt", "f"}};
  for (const Case& c : cases) members.push_back({c.stored, "", 2, true});
  WriteFile(t.Path("s.lzh"), CraftArchive(members));
  const auto r = RunCmd("x " + t.Path("s.lzh") + " " + t.Path("out") + "/");
  EXPECT_EQ(r.code, ARC_ERROR_HEADER_BROKEN) << r.output;
  for (const Case& c : cases) {
    std::string s = c.stored;
    const std::string link = s.substr(0, s.find('|'));
    std::string path = t.Path("out/" + link);
    for (char& ch : path) ch = ch == '\\' ? '/' : ch;
    std::error_code ec;
    EXPECT_EQ(fs::is_symlink(path, ec), c.made) << c.stored << "\n" << r.output;
    if (c.made) {
      EXPECT_EQ(fs::read_symlink(path, ec).string(), s.substr(s.find('|') + 1));
    } else {
      EXPECT_NE(r.output.find("link leads out"), std::string::npos);
    }
  }
  EXPECT_EQ(ReadFile(t.Path("out/here")), "f");
}

}  // namespace
