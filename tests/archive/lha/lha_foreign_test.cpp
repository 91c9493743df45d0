// Archives of the shapes other LHA tools write, made by the test's own
// writer (lha_craft.h): leading separators, LHa for UNIX's level-0 folders
// and times, names followed by a comment, level-3 headers, damage after
// intact members, symbolic links, files that only look like archives.
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
