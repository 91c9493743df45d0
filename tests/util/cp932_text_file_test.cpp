#include <gtest/gtest.h>

#include <cstdint>

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

// Bytes that are not Shift-JIS survive a decode and encode unchanged; each
// stands for itself as one private character.
TEST(Cp932, KeepsBytesThatAreNotShiftJis) {
  struct Case {
    const char* what;
    QByteArray bytes;
    int kept;  // private characters in the decoded text
    QString visible;  // the decoded text without them
  } cases[] = {
      {"plain", QByteArray("abc"), 0, QStringLiteral("abc")},
      {"kanji with 0x5C trail byte", QByteArray("\x95\x5C\x83\x5C"), 0, QStringLiteral("表ソ")},
      {"one stray byte", QByteArray("a\x80" "b"), 1, QStringLiteral("ab")},
      {"bytes no character uses", QByteArray("\xFD\xFE\xFF"), 3, QString()},
      {"lead byte cut off at the end", QByteArray("x\x83"), 1, QStringLiteral("x")},
      {"lead byte before a blank", QByteArray("\x83 c"), 1, QStringLiteral(" c")},
      {"between kanji", QByteArray("\x93\xFA\xA0\x96\x7B"), 1, QStringLiteral("日本")},
      {"user-defined area stays a character", QByteArray("\xF0\x40"), 0, QStringLiteral("\uE000")},
      // 0xEE9A has a twin code 0xFBB6; written as the twin after the kept
      // lead byte 0xEE it would read back as 0xEEFB and 0xB6.
      {"twin-coded kanji after a kept lead byte", QByteArray("\xEE\xEE\x9A" "a"), 3, QStringLiteral("a")},
      {"twin-coded symbol after a kept lead byte", QByteArray("\x85\x87\x9A"), 3, QString()},
  };
  for (const Case& c : cases) {
    const QString text = lm::DecodeCp932KeepingBytes(c.bytes);
    int kept = 0;
    QString visible;
    for (const QChar ch : text) {
      if (lm::IsKeptByte(ch)) ++kept;
      else visible += ch;
    }
    EXPECT_EQ(kept, c.kept) << c.what;
    EXPECT_EQ(visible, c.visible) << c.what;
    QByteArray back;
    ASSERT_TRUE(lm::EncodeCp932KeepingBytes(text, back)) << c.what;
    EXPECT_EQ(back, c.bytes) << c.what;
    // The strict encoder refuses such a text and names the stand-in.
    QByteArray strict;
    QString bad;
    EXPECT_EQ(lm::EncodeCp932(text, strict, &bad), c.kept == 0) << c.what;
    if (c.kept > 0) {
      EXPECT_TRUE(bad.size() == 1 && lm::IsKeptByte(bad.at(0))) << c.what;
      EXPECT_EQ(lm::FirstNotEncodable(text), bad) << c.what;
    }
  }
  // What Shift-JIS cannot hold is still refused when bytes are kept.
  QByteArray out;
  QString bad;
  EXPECT_FALSE(lm::EncodeCp932KeepingBytes(QStringLiteral("a\uF780b\U0001F600"), out, &bad));
  EXPECT_EQ(bad, QStringLiteral("\U0001F600"));
  EXPECT_TRUE(out.isEmpty());
  EXPECT_TRUE(lm::FirstNotEncodable(QStringLiteral("表ソ")).isEmpty());
  EXPECT_EQ(lm::FirstNotEncodable(QStringLiteral("a한b")), QStringLiteral("한"));
  // Lines written with kept bytes.
  QByteArray file;
  ASSERT_TRUE(lm::EncodeTextLines({lm::DecodeCp932KeepingBytes("p\x80"), QStringLiteral("表")}, file, nullptr, true));
  EXPECT_EQ(file, QByteArray("p\x80\r\n\x95\x5C\r\n"));
  lm::FileError error;
  EXPECT_FALSE(lm::EncodeTextLines({lm::DecodeCp932KeepingBytes("p\x80")}, file, &error));
  EXPECT_EQ(error.kind, lm::FileError::Kind::NotEncodable);
}

// Whatever bytes a file holds, the text read from it keeping bytes is
// written and read back as the same text. Characters with two codes are
// written as one of them, so the bytes may change, the text never does.
TEST(Cp932, TextReadKeepingBytesReadsBackAlike) {
  const QByteArray alphabet("\x81\x87\x9A\xEE\xED\xFA\xFB\xFC\x40\x5C\xE6\x80\xA0\xFF a", 16);
  std::uint32_t seed = 12345;
  for (int round = 0; round < 3000; ++round) {
    QByteArray bytes;
    const int length = 1 + round % 9;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      bytes += alphabet.at(static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(alphabet.size())));
    }
    const QString text = lm::DecodeCp932KeepingBytes(bytes);
    QByteArray back;
    ASSERT_TRUE(lm::EncodeCp932KeepingBytes(text, back)) << bytes.toHex().constData();
    EXPECT_EQ(lm::DecodeCp932KeepingBytes(back), text) << bytes.toHex().constData();
  }
  // A twin-coded character on its own is written with the code the
  // converter prefers and reads back as itself.
  QByteArray back;
  ASSERT_TRUE(lm::EncodeCp932KeepingBytes(lm::DecodeCp932KeepingBytes("a\xEE\x9A"), back));
  EXPECT_EQ(back, QByteArray("a\xFB\xB6"));
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
