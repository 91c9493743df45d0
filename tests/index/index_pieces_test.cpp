// The pieces of an index line and the order of the entries.
#include <algorithm>
#include <random>

#include <QDateTime>
#include <gtest/gtest.h>

#include "index/index_writer.h"
#include "support/temp_tree.h"
#include "util/app_globals.h"

namespace {

TEST(IndexPieces, CountSeparatorsAndBars) {
  EXPECT_EQ(lm::CountSeparators(QString()), 0);
  EXPECT_EQ(lm::CountSeparators(QStringLiteral("\\a")), 1);
  EXPECT_EQ(lm::CountSeparators(QStringLiteral("\\a\\b/c\\")), 3);  // only "\" counts
  EXPECT_EQ(lm::Bars(-1), QString());
  EXPECT_EQ(lm::Bars(0), QString());
  EXPECT_EQ(lm::Bars(3), QStringLiteral("|||"));
}

TEST(IndexPieces, SizeField) {
  const std::pair<int64_t, const char*> cases[] = {
      {-1, "00000"},          {0, "00000"},         {1023, "00000"},
      {1024, "00001"},        {12345, "00012"},     {102399999, "99999"},
      {102400000, "99999"},   {int64_t(1) << 40, "99999"},
  };
  for (const auto& [size, field] : cases) EXPECT_EQ(lm::SizeField(size), QLatin1String(field)) << size;
}

TEST(IndexPieces, LinesOfAnEntry) {
  lm::ScanEntry e{QStringLiteral("\\img\\title.bmp"), QStringLiteral("f"), QStringLiteral("|+"),
                  QStringLiteral("title.bmp"), QStringLiteral("200402190610"), 12345};
  EXPECT_EQ(lm::IndexLineOf(e), QStringLiteral("200402190610f00012|+title.bmp"));
  EXPECT_EQ(lm::TmpIndexLineOf(e), QStringLiteral("200402190610f|+title.bmp"));
}

TEST(IndexPieces, LeftOutNames) {
  for (const char* n : {"INDEX.FET", "index.fet", "IndexTmp.Fet", "LASTUPDATE", "lastUpdate",
                        "UPDATE.LOG", "mirror.FET"}) {
    EXPECT_TRUE(lm::IsLeftOutName(QString::fromLatin1(n))) << n;
  }
  for (const char* n : {"CONVERT.EXA", "index.fet.bak", "xindex.fet", "MIRROR", "update.lo"}) {
    EXPECT_FALSE(lm::IsLeftOutName(QString::fromLatin1(n))) << n;
  }
}

TEST(IndexPieces, UtcStampOfAddsTheBiasToTheLocalTime) {
  const QDateTime local(QDate(2004, 2, 19), QTime(15, 10, 59));
  const std::time_t t = static_cast<std::time_t>(local.toSecsSinceEpoch());
  EXPECT_EQ(lm::UtcStampOf(t, -540), QStringLiteral("200402190610"));
  EXPECT_EQ(lm::UtcStampOf(t, 0), QStringLiteral("200402191510"));
  EXPECT_EQ(lm::UtcStampOf(t, 600), QStringLiteral("200402200110"));
  const QDateTime leap(QDate(2004, 3, 1), QTime(2, 0, 0));
  EXPECT_EQ(lm::UtcStampOf(static_cast<std::time_t>(leap.toSecsSinceEpoch()), -540),
            QStringLiteral("200402291700"));
}

TEST(IndexPieces, UtcStampAndFileSizeOfAFile) {
  lmtest::TempTree tree;
  tree.WriteFile(QStringLiteral("Dir/File.txt"), QByteArray(2500, 'x'));
  tree.SetModified(QStringLiteral("Dir/File.txt"), QDateTime(QDate(2010, 5, 6), QTime(7, 8, 9)));
  const int16_t saved = lm::timeZoneBias;
  lm::timeZoneBias = -60;
  // Found without regard to case, through either separator.
  EXPECT_EQ(lm::UtcStamp(tree.Path(QStringLiteral("dir\\file.TXT"))), QStringLiteral("201005060608"));
  lm::timeZoneBias = saved;
  EXPECT_EQ(lm::FileSizeOf(tree.Path(QStringLiteral("dir/file.txt"))), 2500);
  EXPECT_EQ(lm::FileSizeOf(tree.Path(QStringLiteral("missing"))), -1);
  EXPECT_EQ(lm::FileSizeOf(tree.Path(QStringLiteral("Dir"))), -1);
  EXPECT_EQ(lm::UtcStamp(tree.Path(QStringLiteral("missing"))), QString());
}

// Path a is greater than path b, comparing the whole texts' 16-bit code
// units one by one.
bool WholePathGreater(const QString& a, const QString& b) {
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype k = 0; k < n; ++k) {
    if (a.at(k).unicode() != b.at(k).unicode()) return a.at(k).unicode() > b.at(k).unicode();
  }
  return a.size() > b.size();
}

// Path a is greater than path b, comparing level by level: the paths are
// split at "\" and the first differing level decides, by code units.
bool LevelGreater(const QString& a, const QString& b) {
  const QStringList x = a.split(QLatin1Char('\\'));
  const QStringList y = b.split(QLatin1Char('\\'));
  for (qsizetype k = 0; k < std::min(x.size(), y.size()); ++k) {
    if (x[k] != y[k]) return WholePathGreater(x[k], y[k]);
  }
  return x.size() > y.size();
}

// An exchange sort with the given comparison, as a reference.
void ExchangeSort(std::vector<lm::ScanEntry>& v, bool (*greater)(const QString&, const QString&) = LevelGreater) {
  const std::size_t n = v.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      if (greater(v[i].relativePath, v[j].relativePath)) std::swap(v[i], v[j]);
    }
  }
}

QStringList PathsOf(const std::vector<lm::ScanEntry>& v) {
  QStringList out;
  for (const auto& e : v) out << e.relativePath;
  return out;
}

TEST(SortScanEntries, ComparesUtf16CodeUnitsOrdinally) {
  EXPECT_TRUE(lm::RelativePathLess(QString(), QStringLiteral("\\a")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\B"), QStringLiteral("\\a")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\img"), QStringLiteral("\\img 2")));
  // A folder's entries come before a sibling that extends the folder's name.
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\img\\x"), QStringLiteral("\\img.txt")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\img\\x"), QStringLiteral("\\img 2")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\se\\a.wav"), QStringLiteral("\\se2")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\A\\z"), QStringLiteral("\\A-B")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\x\\y\\z"), QStringLiteral("\\x.y")));
  EXPECT_FALSE(lm::RelativePathLess(QStringLiteral("\\a\\b c\\d"), QStringLiteral("\\a\\b\\e")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\a\\b\\e"), QStringLiteral("\\a\\b c")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\img\\x"), QStringLiteral("\\imga")));
  EXPECT_FALSE(lm::RelativePathLess(QStringLiteral("\\img 2"), QStringLiteral("\\img\\x")));
  EXPECT_FALSE(lm::RelativePathLess(QStringLiteral("\\a"), QStringLiteral("\\a")));
  // A character outside the basic plane is a surrogate pair (0xD840 ...),
  // which sorts before half-width katakana (0xFF71) as code units, though
  // its code point is the larger.
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\\U0002000B"), QStringLiteral("\\\uFF71")));
  EXPECT_TRUE(lm::RelativePathLess(QStringLiteral("\\\uFF71"), QStringLiteral("\\\uFFE5")));
}

// A shuffled set of up to `most` distinct random paths drawn from
// `alphabet`, after the root record; with `wellFormed` no path ends with
// "\\" or holds an empty level.
std::vector<lm::ScanEntry> RandomEntries(std::mt19937& rng, const QString& alphabet, int most, bool wellFormed) {
  std::vector<lm::ScanEntry> v;
  v.push_back(lm::ScanEntry{QString(), QString(), QStringLiteral("+"), QString(), QString(), 0});
  QSet<QString> seen;
  const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(most));
  while (static_cast<int>(v.size()) <= n) {
    QString p = QStringLiteral("\\");
    const int len = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < len; ++k) p += alphabet.at(static_cast<qsizetype>(rng() % alphabet.size()));
    if (wellFormed && (p.endsWith(QLatin1Char('\\')) || p.contains(QStringLiteral("\\\\")))) continue;
    if (seen.contains(p)) continue;
    seen.insert(p);
    lm::ScanEntry e;
    e.relativePath = p;
    e.name = p.mid(1);
    v.push_back(e);
  }
  std::shuffle(v.begin() + 1, v.end(), rng);
  return v;
}

TEST(SortScanEntries, MatchesALevelByLevelExchangeSortOnManyTrees) {
  const QString alphabet = QStringLiteral("aAbB. -_09\\\u3042\u30A2\uFF71\u6F22") + QString::fromUcs4(U"\U0002000B");
  std::mt19937 rng(12345);
  for (int round = 0; round < 200; ++round) {
    std::vector<lm::ScanEntry> v = RandomEntries(rng, alphabet, 60, false);
    std::vector<lm::ScanEntry> reference = v;
    ExchangeSort(reference);
    lm::SortScanEntries(v);
    ASSERT_EQ(PathsOf(v), PathsOf(reference)) << "round " << round;
    EXPECT_TRUE(v[0].relativePath.isEmpty());
  }
}

// Where no sibling's name extends another's by a character below "\\", the
// order is the whole paths' plain ordinal order, so such trees keep the
// index they always had.
TEST(SortScanEntries, EqualsTheWholePathOrderWithoutNamesExtendedBelowTheSeparator) {
  const QString alphabet = QStringLiteral("ab_z\\\u3042\u30A2\uFF71\u8868\u30BD");
  std::mt19937 rng(777);
  int compared = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<lm::ScanEntry> v = RandomEntries(rng, alphabet, 40, true);
    std::vector<lm::ScanEntry> whole = v;
    ExchangeSort(whole, WholePathGreater);
    lm::SortScanEntries(v);
    ASSERT_EQ(PathsOf(v), PathsOf(whole)) << "round " << round;
    ++compared;
  }
  EXPECT_EQ(compared, 400);
}

}  // namespace
