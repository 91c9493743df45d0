// The index line format shared by the writer, the next-update reader and the
// comparison: what one side writes, the others read back.
#include <gtest/gtest.h>

#include <QStringList>

#include "util/index_line.h"

namespace {

TEST(IndexLine, HeaderIsTheTwoFixedLinesAndItsValueReadsBack) {
  const QString header = lm::IndexHeaderText(QStringLiteral("2004 3 1 9 0 "));
  EXPECT_EQ(header, QStringLiteral("#NextUpdate 2004 3 1 9 0 \r\n#FieldInfo date 12 attr 1 size 5\r\n"));
  const QStringList lines = header.split(QStringLiteral("\r\n"));
  QString value = QStringLiteral("stale");
  ASSERT_TRUE(lm::NextUpdateOfLine(lines[0], value));
  EXPECT_EQ(value, QStringLiteral(" 2004 3 1 9 0 "));  // the reader trims it
  EXPECT_FALSE(lm::NextUpdateOfLine(lines[1], value));
  QString date, attr, size, name;
  for (const QString& line : lines) EXPECT_FALSE(lm::SplitIndexLine(line, date, attr, size, name)) << line.toStdString();
}

TEST(IndexLine, EntryLinesSplitIntoTheFieldsTheyWereMadeOf) {
  struct Case {
    const char* date;
    const char* attr;
    const char* size;
    const char* marker;
    const char* name;
  } cases[] = {
      {"200403010900", "d", "00000", "+", "img"},
      {"202612312359", "f", "00012", "|+", "title.bmp"},
      {"199901010000", "f", "99999", "||+", "説明 書.txt"},
  };
  for (const Case& c : cases) {
    const QString name = QString::fromUtf8(c.name);
    const QString line = lm::IndexEntryLine(QString::fromLatin1(c.date), QString::fromLatin1(c.attr),
                                            QLatin1StringView(c.size), QString::fromLatin1(c.marker), name);
    QString date, attr, size, treeName;
    ASSERT_TRUE(lm::SplitIndexLine(line, date, attr, size, treeName)) << c.name;
    EXPECT_EQ(date, QString::fromLatin1(c.date));
    EXPECT_EQ(attr, QString::fromLatin1(c.attr));
    EXPECT_EQ(size, QString::fromLatin1(c.size));
    EXPECT_EQ(treeName, QString::fromLatin1(c.marker) + name);
    // The twin line is the same without the size field.
    EXPECT_EQ(lm::TmpIndexEntryLine(QString::fromLatin1(c.date), QString::fromLatin1(c.attr),
                                    QString::fromLatin1(c.marker), name),
              line.left(lm::kIndexSizeOffset) + line.mid(lm::kIndexNameOffset));
  }
}

TEST(IndexLine, ShortAndCommentLinesAreNoEntries) {
  QString date, attr, size, name;
  for (const char* line : {"", "20040301090", "200403010900f00012+", "#200403010900f00012+abc", "   "}) {
    EXPECT_FALSE(lm::SplitIndexLine(QString::fromLatin1(line), date, attr, size, name)) << line;
  }
  EXPECT_TRUE(lm::SplitIndexLine(QStringLiteral("200403010900f00012+ab"), date, attr, size, name));
  EXPECT_EQ(name, QStringLiteral("+ab"));
  // A one-character name directly in DAT makes a line of exactly 20
  // characters: it is an entry like any other.
  EXPECT_TRUE(lm::SplitIndexLine(QStringLiteral("200403010900f00012+a"), date, attr, size, name));
  EXPECT_EQ(name, QStringLiteral("+a"));
}

}  // namespace
