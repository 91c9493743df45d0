// Where the Windows self-extractor may put a member, and its command
// line: these checks use no Windows API and run the same on Linux, so they
// are tested here case by case; the wine tests show them end to end.
#include <gtest/gtest.h>

#include "archive/sfx/win/member_paths.h"
#include "archive/sfx/win/switches.h"

namespace {

using sfxw::PathVerdict;

TEST(SfxMemberPaths, NamesInsideTheFolderAreKeptAndOthersRefused) {
  struct Case {
    std::wstring name;
    PathVerdict verdict;
    std::wstring relative;
  };
  const Case cases[] = {
      {L"readme.txt", PathVerdict::kOk, L"readme.txt"},
      {L"SAMPLE\\dat\\ソフト\\表.txt", PathVerdict::kOk, L"SAMPLE\\dat\\ソフト\\表.txt"},
      {L"unix/style/name.txt", PathVerdict::kOk, L"unix\\style\\name.txt"},
      {L"dir\\\\double\\", PathVerdict::kOk, L"dir\\double"},
      {L"..file", PathVerdict::kOk, L"..file"},
      {L"a.b.c", PathVerdict::kOk, L"a.b.c"},
      {L"console.txt", PathVerdict::kOk, L"console.txt"},
      {L"COM10", PathVerdict::kOk, L"COM10"},
      {L"$", PathVerdict::kOptionFile, L""},
      {L"sub\\$", PathVerdict::kOk, L"sub\\$"},
      {L"..\\escape.txt", PathVerdict::kRefused, L""},
      {L"sub\\..\\..\\up.txt", PathVerdict::kRefused, L""},
      {L"sub\\.\\x.txt", PathVerdict::kRefused, L""},
      {L"sub\\. .\\x.txt", PathVerdict::kRefused, L""},
      {L"sub\\...\\x.txt", PathVerdict::kRefused, L""},
      {L"C:\\drive.txt", PathVerdict::kRefused, L""},
      {L"C:drive.txt", PathVerdict::kRefused, L""},
      {L"\\root.txt", PathVerdict::kRefused, L""},
      {L"/root.txt", PathVerdict::kRefused, L""},
      {L"\\\\server\\share\\unc.txt", PathVerdict::kRefused, L""},
      {L"file.txt:stream", PathVerdict::kRefused, L""},
      {L"what?.txt", PathVerdict::kRefused, L""},
      {L"a\x01" L"b", PathVerdict::kRefused, L""},
      {L"CON", PathVerdict::kRefused, L""},
      {L"sub\\nul.txt", PathVerdict::kRefused, L""},
      {L"lpt1", PathVerdict::kRefused, L""},
      {L"", PathVerdict::kRefused, L""},
      {L"\\", PathVerdict::kRefused, L""},
      // Ports numbered with a superscript digit are devices too.
      {L"COM\u00B9.txt", PathVerdict::kRefused, L""},
      {L"sub\\LPT\u00B3", PathVerdict::kRefused, L""},
      {L"com\u00B2", PathVerdict::kRefused, L""},
      {L"COM\u2074", PathVerdict::kOk, L"COM\u2074"},
      {L"COM0", PathVerdict::kRefused, L""},
      // Windows would drop a trailing dot or blank.
      {L"name.", PathVerdict::kRefused, L""},
      {L"name ", PathVerdict::kRefused, L""},
      {L"dir.\\x.txt", PathVerdict::kRefused, L""},
      {L" lead.txt", PathVerdict::kOk, L" lead.txt"},
      // A level longer than a Windows file name.
      {std::wstring(255, L'a'), PathVerdict::kOk, std::wstring(255, L'a')},
      {L"sub\\" + std::wstring(256, L'a'), PathVerdict::kTooLong, L""},
  };
  for (const Case& c : cases) {
    std::wstring rel = L"left over";
    EXPECT_EQ(sfxw::SafeRelativePath(c.name, rel), c.verdict) << std::string(c.name.begin(), c.name.end());
    if (c.verdict == PathVerdict::kOk) {
      EXPECT_EQ(rel, c.relative);
    }
  }
}

TEST(SfxMemberPaths, JoiningKeepsOneSeparatorAfterARoot) {
  EXPECT_EQ(sfxw::JoinPath(L"C:\\", L"a\\b.txt"), L"C:\\a\\b.txt");
  EXPECT_EQ(sfxw::JoinPath(L"C:\\inst", L"a.txt"), L"C:\\inst\\a.txt");
  EXPECT_EQ(sfxw::JoinPath(L"\\\\server\\share\\", L"a.txt"), L"\\\\server\\share\\a.txt");
}

TEST(SfxMemberPaths, LongFormsAndRoots) {
  struct Case {
    std::wstring path, longForm;
    std::size_t root;
  };
  const Case cases[] = {
      {L"C:\\inst\\a", L"\\\\?\\C:\\inst\\a", 3},
      {L"z:\\", L"\\\\?\\z:\\", 3},
      {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x", 15},
      {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x", 7},
      {L"\\\\?\\UNC\\srv\\sh\\x", L"\\\\?\\UNC\\srv\\sh\\x", 15},
      {L"relative\\x", L"relative\\x", 0},
  };
  for (const Case& c : cases) {
    const std::string shown(c.path.begin(), c.path.end());
    EXPECT_EQ(sfxw::LongForm(c.path), c.longForm) << shown;
    EXPECT_EQ(sfxw::RootLength(c.path), c.root) << shown;
    EXPECT_EQ(sfxw::ShortForm(sfxw::LongForm(c.path)), sfxw::ShortForm(c.path)) << shown;
  }
  EXPECT_EQ(sfxw::RootLength(sfxw::LongForm(L"\\\\server\\share\\x")), 21u);
  EXPECT_EQ(sfxw::ShortForm(L"\\\\?\\UNC\\server\\share"), L"\\\\server\\share");
}

TEST(SfxMemberPaths, TemporaryNamesAreRecognisedAndNothingElse) {
  EXPECT_EQ(sfxw::TemporaryName(0xabc, 1), L"~lfx00000abc00000001.tmp");
  EXPECT_TRUE(sfxw::IsTemporaryName(sfxw::TemporaryName(0xffffffffu, 0xffffffffu)));
  for (const std::wstring name : {L"~lfx-mine.tmp", L"lfx1234.tmp", L"~lfx00000abc00000001.tmp.txt",
                                  L"~lfx00000ABC00000001.tmp", L"~lfx00000abc0000001.tmp", L"~lfx00000abc00000001.tm",
                                  L"x~lfx00000abc00000001.tmp"}) {
    EXPECT_FALSE(sfxw::IsTemporaryName(name)) << std::string(name.begin(), name.end());
  }
}

TEST(SfxMemberPaths, ListNamesAndRecordsAreRecognisedAndNothingElse) {
  EXPECT_EQ(sfxw::JournalName(0xabc, 1), L"~lfx00000abc00000001.lst");
  EXPECT_TRUE(sfxw::IsJournalName(sfxw::JournalName(0xffffffffu, 0xffffffffu)));
  EXPECT_FALSE(sfxw::IsJournalName(sfxw::TemporaryName(0xabc, 1)));
  EXPECT_FALSE(sfxw::IsTemporaryName(sfxw::JournalName(0xabc, 1)));
  for (const std::wstring name : {L"~lfx-mine.lst", L"~lfx00000abc00000001.lst.txt", L"~lfx00000ABC00000001.lst",
                                  L"~lfx00000abc0000001.lst", L"x~lfx00000abc00000001.lst"}) {
    EXPECT_FALSE(sfxw::IsJournalName(name)) << std::string(name.begin(), name.end());
  }
  // What a later run reads from the list of a killed one: only a whole
  // path that stays inside the install folder names a file to remove.
  struct Case {
    std::wstring text;
    bool ok;
    std::wstring relative;
  };
  const auto ended = [](const std::wstring& path, const std::wstring& after = L"") {
    return path + std::wstring(1, L'\0') + after;
  };
  const Case cases[] = {
      {ended(L"a.txt"), true, L"a.txt"},
      {ended(L"SAMPLE\\dat\\表.txt", L"junk after"), true, L"SAMPLE\\dat\\表.txt"},
      {ended(L""), false, L""},                  // no file being written
      {L"cut.tx", false, L""},                   // the zero never came
      {L"", false, L""},                         // an empty list
      {ended(L"..\\up.txt"), false, L""},        // leaves the folder
      {ended(L"C:\\x.txt"), false, L""},         // a drive
      {ended(L"\\\\srv\\sh\\x"), false, L""},    // a share
      {ended(L"a/b.txt"), false, L""},           // not as the run writes it
      {ended(L"CON"), false, L""},               // a device
  };
  for (const Case& c : cases) {
    std::wstring rel = L"left over";
    EXPECT_EQ(sfxw::ReadJournalRecord(c.text, rel), c.ok) << std::string(c.text.begin(), c.text.end());
    EXPECT_EQ(rel, c.relative);
  }
}

TEST(SfxMemberPaths, FoldersOfPathsOnDrivesAndSharesKeepTheirRoot) {
  // The install folder and a member's path are joined and put in the long
  // form; the member's folder is taken from that. On a share the root is
  // "\\?\UNC\server\share\", never cut inside.
  struct Case {
    std::wstring dir, relative, longPath, folder;
  };
  const Case cases[] = {
      {L"C:\\inst", L"a.txt", L"\\\\?\\C:\\inst\\a.txt", L"\\\\?\\C:\\inst"},
      {L"C:\\", L"a.txt", L"\\\\?\\C:\\a.txt", L"\\\\?\\C:\\"},
      {L"\\\\server\\share", L"a.txt", L"\\\\?\\UNC\\server\\share\\a.txt", L"\\\\?\\UNC\\server\\share\\"},
      {L"\\\\server\\share\\", L"sub\\a.txt", L"\\\\?\\UNC\\server\\share\\sub\\a.txt",
       L"\\\\?\\UNC\\server\\share\\sub"},
      {L"\\\\server\\share\\inst", L"ソ\\表.txt", L"\\\\?\\UNC\\server\\share\\inst\\ソ\\表.txt",
       L"\\\\?\\UNC\\server\\share\\inst\\ソ"},
      {L"\\\\?\\UNC\\srv\\sh", L"a.txt", L"\\\\?\\UNC\\srv\\sh\\a.txt", L"\\\\?\\UNC\\srv\\sh\\"},
      {L"\\\\s\\t", L"x", L"\\\\?\\UNC\\s\\t\\x", L"\\\\?\\UNC\\s\\t\\"},
  };
  for (const Case& c : cases) {
    const std::string shown(c.longPath.begin(), c.longPath.end());
    const std::wstring target = sfxw::JoinPath(sfxw::LongForm(c.dir), c.relative);
    EXPECT_EQ(target, c.longPath) << shown;
    EXPECT_EQ(sfxw::FolderOf(target), c.folder) << shown;
    // Shown to the user without the prefix, as typed.
    EXPECT_EQ(sfxw::ShortForm(target).compare(0, 2, c.dir, 0, 2), 0) << shown;
  }
  EXPECT_EQ(sfxw::FolderOf(L"name.txt"), L"");
}

TEST(SfxMemberPaths, ShownNamesEscapeControlCharactersAndDocumentsAreOnlyTextAndHtml) {
  EXPECT_EQ(sfxw::Shown(L"a\x07" L"b\x1b[2J\x7f\u0085\u2028\\ok"), L"a\\x07b\\x1B[2J\\x7F\\u0085\\u2028\\ok");
  EXPECT_EQ(sfxw::Shown(L"表ソ.txt"), L"表ソ.txt");
  for (const std::wstring name : {L"readme.txt", L"INDEX.HTM", L"a\\b.Html", L"x.y.txt"}) {
    EXPECT_TRUE(sfxw::IsDocumentName(name)) << std::string(name.begin(), name.end());
  }
  for (const std::wstring name : {L"setup.exe", L"run.bat", L"x.txt.exe", L"txt", L"dir.txt\\prog", L"a.lnk", L"b.url"}) {
    EXPECT_FALSE(sfxw::IsDocumentName(name)) << std::string(name.begin(), name.end());
  }
}

TEST(SfxSwitches, EachLineGivesItsFolderModeOrTheFirstFault) {
  using sfxw::OverwriteMode;
  struct Case {
    std::vector<std::wstring> args;
    std::wstring folder, error;
    bool unattended;
    OverwriteMode mode;
  };
  const Case cases[] = {
      {{}, L"", L"", false, OverwriteMode::kAsk},
      {{L"/S"}, L"", L"", true, OverwriteMode::kAll},
      {{L"/s", L"/o=none", L"/D=C:\\Program Files\\x"}, L"C:\\Program Files\\x", L"", true, OverwriteMode::kNone},
      {{L"/S", L"/D=C:\\a", L"b"}, L"C:\\a b", L"", true, OverwriteMode::kAll},
      {{L"/O=newer"}, L"", L"", false, OverwriteMode::kNewer},
      {{L"--dir", L"x", L"--yes", L"--overwrite", L"newer"}, L"x", L"", true, OverwriteMode::kNewer},
      {{L"--dir=x y", L"-y", L"--overwrite=NONE"}, L"x y", L"", true, OverwriteMode::kNone},
      {{L"/S", L"/D="}, L"", L"/D=", true, OverwriteMode::kAll},
      {{L"/S", L"/D=", L" "}, L"", L"/D=", true, OverwriteMode::kAll},
      {{L"--dir", L"--yes"}, L"", L"--dir", true, OverwriteMode::kAll},
      {{L"--yes", L"--dir"}, L"", L"--dir", true, OverwriteMode::kAll},
      {{L"--dir", L"/S"}, L"", L"--dir", true, OverwriteMode::kAll},
      {{L"--dir=", L"--yes"}, L"", L"--dir=", true, OverwriteMode::kAll},
      {{L"--overwrite", L"--yes"}, L"", L"--overwrite", true, OverwriteMode::kAll},
      {{L"--overwrite", L"maybe"}, L"", L"--overwrite", false, OverwriteMode::kAsk},
      {{L"/O="}, L"", L"/O=", false, OverwriteMode::kAsk},
      {{L"--bogus", L"/S"}, L"", L"--bogus", true, OverwriteMode::kAll},
      {{L"/X", L"--nope"}, L"", L"/X", false, OverwriteMode::kAsk},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::wstring& a : c.args) line += std::string(a.begin(), a.end()) + " ";
    const sfxw::Switches s = sfxw::ParseSwitches(c.args);
    EXPECT_EQ(s.error, c.error) << line;
    EXPECT_EQ(s.unattended, c.unattended) << line;
    EXPECT_EQ(s.overwrite, c.mode) << line;
    if (c.error.empty()) {
      EXPECT_EQ(s.folder, c.folder) << line;
    }
  }
}

}  // namespace
