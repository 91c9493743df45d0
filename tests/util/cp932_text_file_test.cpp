#include <gtest/gtest.h>

#include "support/temp_tree.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

#include <unistd.h>
#include <QFile>

namespace {

TEST(Cp932, EncodesJapaneseAndHalfWidthKana) {
  QByteArray out;
  ASSERT_TRUE(lm::EncodeCp932(QStringLiteral("ｽｸﾘﾌﾟﾄ年"), out));
  EXPECT_EQ(out, QByteArray("\xbd\xb8\xd8\xcc\xdf\xc4\x94\x4e"));
  EXPECT_EQ(lm::DecodeCp932(out), QStringLiteral("ｽｸﾘﾌﾟﾄ年"));
}

TEST(Cp932, RefusesWhatCodePage932CannotHold) {
  QByteArray out;
  QString bad;
  EXPECT_FALSE(lm::EncodeCp932(QStringLiteral("ab\U0001F600c"), out, &bad));
  EXPECT_EQ(bad, QStringLiteral("\U0001F600"));
  EXPECT_FALSE(lm::EncodeCp932(QStringLiteral("한"), out, &bad));
  EXPECT_EQ(bad, QStringLiteral("한"));
}

TEST(TextFile, WritesCrLfShiftJisAndReadsBack) {
  lmtest::TempTree t;
  lm::FileError err;
  ASSERT_TRUE(lm::WriteTextLines(t.Path("a.txt"), {QStringLiteral("一"), QString(), QStringLiteral("x")}, &err));
  EXPECT_EQ(t.ReadFile("a.txt"), QByteArray("\x88\xea\r\n\r\nx\r\n"));
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(t.Path("A.TXT"), lines, &err));  // found without regard to case
  EXPECT_EQ(lines, (QStringList{QStringLiteral("一"), QString(), QStringLiteral("x")}));
}

TEST(TextFile, LineBreakModes) {
  lmtest::TempTree t;
  t.WriteFile("m.txt", QByteArray("a\r\nb\rc\nd"));
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(t.Path("m.txt"), lines, nullptr, lm::LineBreaks::CrOrCrLf));
  EXPECT_EQ(lines, (QStringList{"a", "b", "c\nd"}));
  ASSERT_TRUE(lm::ReadTextLines(t.Path("m.txt"), lines, nullptr, lm::LineBreaks::CrLfOnly));
  EXPECT_EQ(lines, (QStringList{"a", "b\rc\nd"}));
  ASSERT_TRUE(lm::ReadTextLines(t.Path("m.txt"), lines, nullptr, lm::LineBreaks::Any));
  EXPECT_EQ(lines, (QStringList{"a", "b", "c", "d"}));
}

TEST(TextFile, UnencodableTextWritesNothing) {
  lmtest::TempTree t;
  t.WriteFile("keep.txt", "old");
  lm::FileError err;
  EXPECT_FALSE(lm::WriteTextLines(t.Path("keep.txt"), {QStringLiteral("ok"), QStringLiteral("x\U0001F600")}, &err));
  EXPECT_EQ(err.kind, lm::FileError::Kind::NotEncodable);
  EXPECT_EQ(t.ReadFile("keep.txt"), QByteArray("old"));
}

TEST(TextFile, ReadOnlyTargetIsRefusedAndKept) {
  // A file without write permission bits is read-only for every user, root
  // included, as a file with the read-only attribute is on Windows.
  lmtest::TempTree t;
  t.WriteFile("ro.txt", "old");
  QFile::setPermissions(t.Path("ro.txt"), QFile::ReadOwner);
  lm::FileError err;
  EXPECT_FALSE(lm::WriteTextLines(t.Path("ro.txt"), {QStringLiteral("new")}, &err));
  EXPECT_TRUE(err.permissionDenied());
  EXPECT_EQ(t.ReadFile("ro.txt"), QByteArray("old"));
}

TEST(PathResolver, MatchesEachComponentWithoutCase) {
  lmtest::TempTree t;
  t.WriteFile("sample/dat/mio00.euu", "x");
  EXPECT_EQ(lm::ResolveExisting(t.Path("SAMPLE\\DAT\\mio00.euu")), t.Path("sample/dat/mio00.euu"));
  EXPECT_EQ(lm::ResolveExisting(t.Path("sample/dat/")), t.Path("sample/dat"));
  EXPECT_TRUE(lm::ResolveExisting(t.Path("sample/nope")).isEmpty());
  EXPECT_TRUE(lm::IsExistingDirectory(t.Path("Sample/Dat")));
  EXPECT_TRUE(lm::IsExistingFile(t.Path("SAMPLE/DAT/MIO00.EUU")));
  EXPECT_FALSE(lm::IsExistingFile(t.Path("SAMPLE/DAT")));
  EXPECT_EQ(lm::ResolveForCreate(t.Path("SAMPLE/DAT/new.txt")), t.Path("sample/dat/new.txt"));
  EXPECT_EQ(lm::ResolveForCreate(t.Path("SAMPLE/DAT/MIO00.EUU")), t.Path("sample/dat/mio00.euu"));
}

TEST(PathResolver, ExactNameWinsOverCaseVariant) {
  lmtest::TempTree t;
  t.WriteFile("Index.fet", "a");
  t.WriteFile("index.fet", "b");
  EXPECT_EQ(lm::ResolveExisting(t.Path("index.fet")), t.Path("index.fet"));
  EXPECT_EQ(lm::ResolveExisting(t.Path("Index.fet")), t.Path("Index.fet"));
}

}  // namespace
