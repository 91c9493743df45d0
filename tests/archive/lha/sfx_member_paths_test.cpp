// Where the Windows self-extractor may put a member: the name check runs
// the same on Linux (it uses no Windows API), so it is tested here case by
// case; the wine tests show the refusals end to end.
#include <gtest/gtest.h>

#include "archive/sfx/win/member_paths.h"

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

}  // namespace
