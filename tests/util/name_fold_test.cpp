// The one rule for names that differ only in case: the Qt-free folding must
// agree with Qt's for every code point, so that the program (which compares
// QStrings) and the archiver libraries (which compare UTF-8 bytes) find the
// same file.
#include <gtest/gtest.h>

#include <QChar>
#include <QDir>
#include <QString>

#include "support/temp_tree.h"
#include "util/path_resolver.h"
#include "util/pathfind/name_fold.h"
#include "util/pathfind/path_find.h"

namespace {

TEST(NameFold, EveryCodePointFoldsAsQtFoldsIt) {
  int differences = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const char32_t want = QChar::toCaseFolded(c);
    if (pathfind::FoldCodePoint(c) != want && ++differences <= 5) {
      ADD_FAILURE() << std::hex << "U+" << static_cast<uint32_t>(c) << " folds to U+"
                    << static_cast<uint32_t>(pathfind::FoldCodePoint(c)) << ", Qt gives U+"
                    << static_cast<uint32_t>(want);
    }
  }
  EXPECT_EQ(differences, 0);
}

TEST(NameFold, NamesCompareAsTheProgramComparesThem) {
  struct Case {
    const char* a;
    const char* b;
  } cases[] = {
      {"INDEX.FET", "index.fet"},
      {"ＡＢＣ.txt", "ａｂｃ.TXT"},      // full-width Latin letters
      {"ÄÖÜ.bmp", "äöü.bmp"},            // Latin-1
      {"ΣΟΦΙΑ", "σοφια"},                // Greek
      {"ДАННЫЕ", "данные"},              // Cyrillic
      {"日本語.txt", "日本語.TXT"},      // no case at all
      {"ｱｲｳ", "アイウ"},                 // half- and full-width kana differ
      {"a\xFF" "b", "A\xFF" "B"},        // bytes that are not UTF-8 stay as they are
      {"a\xFF" "b", "a\xFE" "b"},
      {"straße", "STRASSE"},             // simple folding: no length change
  };
  for (const Case& c : cases) {
    const QString qa = QString::fromUtf8(c.a), qb = QString::fromUtf8(c.b);
    const bool valid = qa.toUtf8() == QByteArray(c.a) && qb.toUtf8() == QByteArray(c.b);
    if (valid) {
      EXPECT_EQ(pathfind::SameName(c.a, c.b), qa.compare(qb, Qt::CaseInsensitive) == 0) << c.a << " / " << c.b;
    }
    EXPECT_EQ(pathfind::SameName(c.a, c.b), pathfind::FoldName(c.a) == pathfind::FoldName(c.b));
  }
  EXPECT_TRUE(pathfind::SameName("a\xFF" "b", "A\xFF" "B"));
  EXPECT_FALSE(pathfind::SameName("a\xFF" "b", "a\xFE" "b"));
  EXPECT_TRUE(lm::NamesEqualIgnoringCase(QStringLiteral("ＡＢＣ"), QStringLiteral("ａｂｃ")));
  EXPECT_FALSE(lm::NamesEqualIgnoringCase(QStringLiteral("ｱ"), QStringLiteral("ア")));
}

TEST(PathFind, FullWidthNamesResolveAlikeInTheProgramAndTheLibraries) {
  lmtest::TempTree t;
  t.WriteFile(QStringLiteral("ＤＡＴ/Ｍｉｏ.txt"), "x");
  const std::string root = t.Path().toStdString();
  std::string real;
  ASSERT_TRUE(pathfind::ResolveExisting(root + "/ｄａｔ/ＭＩＯ.TXT", real));
  EXPECT_EQ(real, root + "/ＤＡＴ/Ｍｉｏ.txt");
  EXPECT_EQ(lm::ResolveExisting(t.Path(QStringLiteral("ｄａｔ\\ＭＩＯ.TXT"))), QString::fromStdString(real));
  ASSERT_TRUE(pathfind::ResolveForCreate(root + "/ｄａｔ/new.txt", real));
  EXPECT_EQ(real, root + "/ＤＡＴ/new.txt");
  EXPECT_FALSE(pathfind::ResolveExisting(root + "/ｄａｔ/none", real));
  EXPECT_FALSE(pathfind::ResolveForCreate(root + "/nodir/new.txt", real));
}

TEST(PathFind, FolderIndexListsEachFolderOnceAndKnowsWhatWasAdded) {
  lmtest::TempTree t;
  for (int i = 0; i < 50; ++i) t.WriteFile(QStringLiteral("d/File%1.txt").arg(i), "x");
  t.WriteFile(QStringLiteral("d/b.txt"), "1");
  t.WriteFile(QStringLiteral("d/B.txt"), "2");
  const std::string dir = t.Path(QStringLiteral("d")).toStdString();
  pathfind::FolderIndex index;
  std::string found;
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(index.Find(dir, "FILE" + std::to_string(i) + ".TXT", found));
    EXPECT_EQ(found, "File" + std::to_string(i) + ".txt");
  }
  // Of two spellings the exact one wins, else the first in byte order.
  ASSERT_TRUE(index.Find(dir, "b.txt", found));
  EXPECT_EQ(found, "b.txt");
  ASSERT_TRUE(index.Find(dir, "b.TXT", found));
  EXPECT_EQ(found, "B.txt");
  EXPECT_FALSE(index.Find(dir, "new.txt", found));
  t.WriteFile(QStringLiteral("d/New.txt"), "n");
  index.Added(dir, "New.txt");
  ASSERT_TRUE(index.Find(dir, "NEW.TXT", found));
  EXPECT_EQ(found, "New.txt");
  // Made by someone else after the listing: found by its exact name.
  t.WriteFile(QStringLiteral("d/late.txt"), "l");
  ASSERT_TRUE(index.Find(dir, "late.txt", found));
  EXPECT_EQ(index.listings(), 1u);
}

}  // namespace
