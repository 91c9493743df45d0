// The index writer on real trees in temporary directories; whole files are
// compared byte for byte.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "index/index_fakes.h"
#include "index/index_writer.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/app_globals.h"
#include "util/atomic_write_hooks.h"

namespace {

const QByteArray kHeader =
    "#NextUpdate 2004 3 1 9 0 \r\n"
    "#FieldInfo date 12 attr 1 size 5\r\n";
const QString kNext = QStringLiteral("2004 3 1 9 0 ");
const QString kWriteDenied = QStringLiteral("更新定義ファイルに書きこみできませんでした。");
const QString kDone = QStringLiteral("更新定義ファイルを出力しました。");

QDateTime Local(int y, int mo, int d, int h, int mi, int s = 0) {
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QByteArray Lines(std::initializer_list<const char*> lines) {
  QByteArray out;
  for (const char* l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

QStringList EntryLinesOf(const QByteArray& indexFet) {
  QStringList out;
  const QList<QByteArray> parts = indexFet.split('\n');
  for (QByteArray p : parts) {
    if (p.isEmpty()) continue;
    p.chop(1);  // the CR
    if (!p.startsWith('#')) out << QString::fromLatin1(p);
  }
  return out;
}

QStringList NamesIn(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDir::Name);
}

// Creates `count` empty files (or directories) named prefix00000 ... in `dir`
// with plain system calls; many entries are needed to reach the bounds.
void MakeMany(const QString& dir, const char* prefix, int count, bool directories) {
  const QByteArray base = QFile::encodeName(dir);
  char name[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "/%s%05d", prefix, i);
    const QByteArray path = base + name;
    if (directories) {
      ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData();
    } else {
      const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
      ASSERT_GE(fd, 0) << path.constData();
      ::close(fd);
    }
  }
}

void MakeSparse(const QString& path, qint64 size) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_TRUE(f.resize(size));
}

class IndexWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedBias_ = lm::timeZoneBias;
    savedTmp_ = lm::makeTmpIndex;
    lm::timeZoneBias = -540;
    lm::makeTmpIndex = 1;
    tree_.MakeDir(QStringLiteral("DAT"));
  }
  void TearDown() override {
    lm::timeZoneBias = savedBias_;
    lm::makeTmpIndex = savedTmp_;
  }

  QString Dat() const { return tree_.Path(QStringLiteral("DAT")); }
  QString DatArg() const { return Dat() + QLatin1Char('\\'); }
  QString P(const QString& rel) const { return QStringLiteral("DAT/") + rel; }
  QByteArray Index() const { return tree_.ReadFile(P(QStringLiteral("index.fet"))); }
  QByteArray TmpIndex() const { return tree_.ReadFile(P(QStringLiteral("indextmp.fet"))); }

  // Writes a file with the given size and a fixed time, so its line is known.
  void File(const QString& rel, qint64 size = 0) {
    tree_.WriteFile(P(rel), QByteArray(size, 'x'));
    tree_.SetModified(P(rel), Local(2004, 2, 19, 15, 10));
  }
  // Gives every directory below DAT the same fixed time (after its contents exist).
  void FixDirTimes() {
    QStringList pending{Dat()};
    while (!pending.isEmpty()) {
      const QString d = pending.takeFirst();
      for (const QFileInfo& fi :
           QDir(d).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        pending << fi.absoluteFilePath();
        const QString rel = QDir(tree_.Path()).relativeFilePath(fi.absoluteFilePath());
        tree_.SetModified(rel, Local(2004, 2, 20, 10, 30));
      }
    }
  }

  int16_t Run(int16_t mode = 0) { return lm::WriteIndexFiles(DatArg(), kNext, mode, view_); }

  lmtest::TempTree tree_;
  lmtest::FakeRunView view_;
  lmtest::ScriptedMessageBox boxes_;

 private:
  int16_t savedBias_ = 0;
  int16_t savedTmp_ = 0;
};

TEST_F(IndexWriterTest, ExampleTreeGivesTheDocumentedFiles) {
  tree_.WriteFile(P(QStringLiteral("CONVERT.EXA")), QByteArray(1100, 'c'));
  tree_.WriteFile(P(QStringLiteral("index.fet")), "old index\r\n");
  tree_.WriteFile(P(QStringLiteral("mio00.euu")), QByteArray(3500, 'm'));
  tree_.WriteFile(P(QStringLiteral("data/img01.bmp")), QByteArray(12345, 'i'));
  tree_.SetModified(P(QStringLiteral("CONVERT.EXA")), Local(2004, 2, 18, 19, 0));
  tree_.SetModified(P(QStringLiteral("mio00.euu")), Local(2004, 2, 20, 21, 5, 59));
  tree_.SetModified(P(QStringLiteral("data/img01.bmp")), Local(2004, 2, 19, 15, 10, 30));
  tree_.SetModified(P(QStringLiteral("data")), Local(2004, 2, 20, 10, 30));

  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(Index(), kHeader + Lines({"200402200130d00000+data",
                                      "200402190610f00012|+img01.bmp",
                                      "200402201205f00003+mio00.euu",
                                      "200402181000f00001+CONVERT.EXA"}));
  EXPECT_EQ(TmpIndex(), Lines({"200402200130d+data",
                               "200402190610f|+img01.bmp",
                               "200402201205f+mio00.euu",
                               "200402181000f+CONVERT.EXA"}));
  EXPECT_EQ(view_.clears, 1);
  EXPECT_EQ(view_.list, QStringList({"200402200130d00000+data", "200402190610f00012|+img01.bmp",
                                     "200402201205f00003+mio00.euu",
                                     "200402181000f00001+CONVERT.EXA"}));
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].text, kDone);
  EXPECT_EQ(boxes_.Shown()[0].style, 64);
  EXPECT_EQ(boxes_.Shown()[0].title, QStringLiteral("Loftmark"));
  // The temporary files of the replacement are gone.
  EXPECT_EQ(NamesIn(Dat()), QStringList({"CONVERT.EXA", "data", "index.fet", "indextmp.fet",
                                         "mio00.euu"}));
}

TEST_F(IndexWriterTest, ModeOneWritesTheSameFilesWithoutMessage) {
  File(QStringLiteral("a.txt"), 10);
  ASSERT_EQ(Run(1), 0);
  EXPECT_EQ(Index(), kHeader + Lines({"200402190610f00000+a.txt"}));
  EXPECT_EQ(TmpIndex(), Lines({"200402190610f+a.txt"}));
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(view_.list, QStringList{"200402190610f00000+a.txt"});
}

TEST_F(IndexWriterTest, EmptyDatGivesTheHeaderOnlyAndAnEmptyTwin) {
  view_.list << QStringLiteral("line of an earlier run");
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(Index(), kHeader);
  EXPECT_TRUE(QFileInfo::exists(tree_.Path(P(QStringLiteral("indextmp.fet")))));
  EXPECT_EQ(TmpIndex(), QByteArray());
  EXPECT_TRUE(view_.list.isEmpty());
  EXPECT_EQ(boxes_.Texts(), QStringList{kDone});
}

TEST_F(IndexWriterTest, DatHoldingOnlyLeftOutFilesGivesTheHeaderOnly) {
  for (const char* n : {"INDEX.FET", "IndexTmp.Fet", "lastupdate", "Update.Log", "MIRROR.fet"}) {
    File(QString::fromLatin1(n), 5000);
  }
  ASSERT_EQ(Run(0), 0);
  // An existing INDEX.FET in capitals is the file replaced: no second file appears.
  EXPECT_EQ(tree_.ReadFile(P(QStringLiteral("INDEX.FET"))), kHeader);
  EXPECT_EQ(tree_.ReadFile(P(QStringLiteral("IndexTmp.Fet"))), QByteArray());
  EXPECT_EQ(NamesIn(Dat()), QStringList({"INDEX.FET", "IndexTmp.Fet", "MIRROR.fet", "Update.Log",
                                         "lastupdate"}));
}

TEST_F(IndexWriterTest, LeftOutNamesAreListedWhenDeeper) {
  for (const char* n : {"sub/INDEX.FET", "sub/indextmp.fet", "sub/LASTUPDATE", "sub/update.log",
                        "sub/MIRROR.FET", "Index.Fet"}) {
    File(QString::fromLatin1(n), 2048);
  }
  FixDirTimes();
  ASSERT_EQ(Run(0), 0);
  // Index.Fet is the index file itself, replaced in place.
  EXPECT_EQ(tree_.ReadFile(P(QStringLiteral("Index.Fet"))), kHeader + Lines({"200402200130d00000+sub",
                                      "200402190610f00002|+INDEX.FET",
                                      "200402190610f00002|+LASTUPDATE",
                                      "200402190610f00002|+MIRROR.FET",
                                      "200402190610f00002|+indextmp.fet",
                                      "200402190610f00002|+update.log"}));
}

TEST_F(IndexWriterTest, ConvertExaDirectlyInDatComesLastInEveryOutput) {
  File(QStringLiteral("convert.exa"), 1);
  File(QStringLiteral("zz.txt"));
  File(QStringLiteral("a/convert.exa"));
  File(QStringLiteral("a/CONVERT.EXA"));
  FixDirTimes();
  ASSERT_EQ(Run(0), 0);
  const QByteArray expected = kHeader + Lines({"200402200130d00000+a",
                                               "200402190610f00000|+CONVERT.EXA",
                                               "200402190610f00000|+convert.exa",
                                               "200402190610f00000+zz.txt",
                                               "200402190610f00000+convert.exa"});
  EXPECT_EQ(Index(), expected);
  EXPECT_EQ(TmpIndex(), Lines({"200402200130d+a", "200402190610f|+CONVERT.EXA",
                               "200402190610f|+convert.exa", "200402190610f+zz.txt",
                               "200402190610f+convert.exa"}));
  EXPECT_EQ(view_.list, EntryLinesOf(expected));
}

TEST_F(IndexWriterTest, ConvertExaInTwoCasesIsListedTwiceAtTheEnd) {
  File(QStringLiteral("convert.exa"), 2048);
  File(QStringLiteral("CONVERT.EXA"), 1024);
  File(QStringLiteral("b.txt"));
  ASSERT_EQ(Run(1), 0);
  EXPECT_EQ(EntryLinesOf(Index()), QStringList({"200402190610f00000+b.txt",
                                                "200402190610f00001+CONVERT.EXA",
                                                "200402190610f00002+convert.exa"}));
}

TEST_F(IndexWriterTest, DirectoryLinkLoopEndsWithAMessage) {
  File(QStringLiteral("a.txt"));
  tree_.WriteFile(P(QStringLiteral("index.fet")), "old\r\n");
  ASSERT_EQ(::symlink(".", QFile::encodeName(tree_.Path(P(QStringLiteral("loop")))).constData()), 0);
  EXPECT_EQ(Run(0), -9);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.endsWith(QStringLiteral("/DAT/loop』"))) << boxes_.Shown()[0].text.toStdString();
  EXPECT_TRUE(boxes_.Shown()[0].text.contains(QStringLiteral("循環"))) << boxes_.Shown()[0].text.toStdString();
  EXPECT_EQ(Index(), QByteArray("old\r\n"));
}

// Links that cannot be followed stop the run with a message in Japanese
// that names the link and where it points; the index stays as it was.
TEST_F(IndexWriterTest, LinksThatCannotBeFollowedAreNamedInJapanese) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> links;  // link below DAT -> target
    const char* named;                                       // the link the message names
    const char* says;
  } const cases[] = {
      {"itself", {{"a", "a"}}, "a", "循環"},
      {"each other", {{"表", "ソ"}, {"ソ", "表"}}, nullptr, "循環"},
      {"its own folder from below", {{"sub/up", ".."}}, "sub/up", "循環"},
      {"nothing", {{"sub/x", "missing.txt"}}, "sub/x", "指す先がありません"},
      {"through a file", {{"y", "a.txt/z"}}, "y", "指す先がありません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lmtest::TempTree other;
    other.WriteFile(QStringLiteral("DAT/a.txt"));
    other.MakeDir(QStringLiteral("DAT/sub"));
    other.WriteFile(QStringLiteral("DAT/index.fet"), "old\r\n");
    for (const auto& [link, target] : c.links)
      ASSERT_EQ(::symlink(target, QFile::encodeName(other.Path(QStringLiteral("DAT/") + QString::fromUtf8(link))).constData()), 0);
    boxes_.Clear();
    EXPECT_EQ(WriteIndexFiles(other.Path(QStringLiteral("DAT")) + QLatin1Char('/'), QStringLiteral("2026 1 1 0 0 "), 1, view_), -9);
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    const QString text = boxes_.Shown()[0].text;
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.says))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("シンボリックリンク"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("symbolic"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("No such"))) << text.toStdString();
    if (c.named) {
      EXPECT_TRUE(text.endsWith(QStringLiteral("/DAT/") + QString::fromUtf8(c.named) + QStringLiteral("』")))
          << text.toStdString();
    }
    EXPECT_TRUE(text.contains(QStringLiteral("リンク先: ") + QString::fromUtf8(c.links[0].second)) ||
                text.contains(QStringLiteral("リンク先: ") + QString::fromUtf8(c.links.back().second)))
        << text.toStdString();
    EXPECT_EQ(other.ReadFile(QStringLiteral("DAT/index.fet")), QByteArray("old\r\n"));
  }
}

// One shared folder linked into DAT twice, and a link to a sibling folder:
// no circle, so all of them are listed.
TEST_F(IndexWriterTest, AFolderLinkedTwiceIsListedTwice) {
  lmtest::TempTree outside;
  outside.WriteFile(QStringLiteral("shared/s.txt"));
  File(QStringLiteral("img/i.txt"));
  for (const char* link : {"one", "two"})
    ASSERT_EQ(::symlink(QFile::encodeName(outside.Path(QStringLiteral("shared"))).constData(),
                        QFile::encodeName(tree_.Path(P(QString::fromLatin1(link)))).constData()), 0);
  ASSERT_EQ(::symlink("img", QFile::encodeName(tree_.Path(P(QStringLiteral("one2")))).constData()), 0);
  ASSERT_EQ(Run(0), 0) << (boxes_.Shown().empty() ? std::string() : boxes_.Shown()[0].text.toStdString());
  QStringList names;
  for (const QString& line : EntryLinesOf(Index())) names << line.mid(18);
  EXPECT_EQ(names, QStringList({"+img", "|+i.txt", "+one", "|+s.txt", "+one2", "|+i.txt", "+two", "|+s.txt"}));
}

TEST_F(IndexWriterTest, HiddenEntriesAndEverythingBelowHiddenDirectoriesAreLeftOut) {
  File(QStringLiteral(".hidden"));
  File(QStringLiteral(".secret/inside.txt"));
  File(QStringLiteral(".secret/deeper/more.txt"));
  File(QStringLiteral("shown/.dotfile"));
  File(QStringLiteral("shown/visible.txt"));
  FixDirTimes();
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(Index(), kHeader + Lines({"200402200130d00000+shown", "200402190610f00000|+visible.txt"}));
}

TEST_F(IndexWriterTest, DeepTreeGetsOneBarPerLevel) {
  File(QStringLiteral("sub/deep/f.txt"));
  File(QStringLiteral("sub/deep/er/est/g.txt"));
  FixDirTimes();
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(Index(), kHeader + Lines({"200402200130d00000+sub",
                                      "200402200130d00000|+deep",
                                      "200402200130d00000||+er",
                                      "200402200130d00000|||+est",
                                      "200402190610f00000||||+g.txt",
                                      "200402190610f00000||+f.txt"}));
}

TEST_F(IndexWriterTest, EachFolderIsFollowedDirectlyByItsOwnEntries) {
  File(QStringLiteral("img/x"));
  File(QStringLiteral("img 2/y"));
  File(QStringLiteral("img.txt"));
  File(QStringLiteral("img-a"));
  File(QStringLiteral("imgb"));
  File(QStringLiteral("Img"));
  File(QStringLiteral("a.txt"));
  File(QStringLiteral("a/x"));
  FixDirTimes();
  ASSERT_EQ(Run(0), 0);
  // Names compared level by level: "img" and its contents come before the
  // siblings "img 2", "img-a" and "img.txt" that extend its name, so the
  // tree marks always name the right parent.
  EXPECT_EQ(EntryLinesOf(Index()), QStringList({"200402190610f00000+Img",
                                                "200402200130d00000+a",
                                                "200402190610f00000|+x",
                                                "200402190610f00000+a.txt",
                                                "200402200130d00000+img",
                                                "200402190610f00000|+x",
                                                "200402200130d00000+img 2",
                                                "200402190610f00000|+y",
                                                "200402190610f00000+img-a",
                                                "200402190610f00000+img.txt",
                                                "200402190610f00000+imgb"}));
  EXPECT_EQ(TmpIndex(), Lines({"200402190610f+Img", "200402200130d+a", "200402190610f|+x",
                               "200402190610f+a.txt", "200402200130d+img", "200402190610f|+x",
                               "200402200130d+img 2", "200402190610f|+y", "200402190610f+img-a",
                               "200402190610f+img.txt", "200402190610f+imgb"}));
  EXPECT_EQ(view_.list, EntryLinesOf(Index()));
}

// Folders whose siblings extend their names by a character ordered before
// "\": each folder's files are listed right after it, deeper levels too.
TEST_F(IndexWriterTest, SiblingsThatExtendAFolderNameFollowItsContents) {
  struct Case {
    const char* name;
    std::vector<const char*> files;
    std::vector<const char*> lines;
  };
  const Case cases[] = {
      {"se and se2", {"se/a.wav", "se2/a.wav"}, {"d+se", "f|+a.wav", "d+se2", "f|+a.wav"}},
      {"img and img 2", {"img/title.bmp", "img 2/title.bmp"}, {"d+img", "f|+title.bmp", "d+img 2", "f|+title.bmp"}},
      {"A and A-B", {"A/x", "A-B/y"}, {"d+A", "f|+x", "d+A-B", "f|+y"}},
      {"x and x.y", {"x/f", "x.y"}, {"d+x", "f|+f", "f+x.y"}},
      {"deeper", {"s/img/a", "s/img 2/b", "s/img.txt"},
       {"d+s", "d|+img", "f||+a", "d|+img 2", "f||+b", "f|+img.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(Dat()).removeRecursively();
    tree_.MakeDir(QStringLiteral("DAT"));
    for (const char* f : c.files) File(QString::fromUtf8(f));
    FixDirTimes();
    ASSERT_EQ(Run(1), 0);
    QStringList got;
    for (const QString& line : EntryLinesOf(Index())) got << line.mid(12, 1) + line.mid(18);
    QStringList want;
    for (const char* l : c.lines) want << QString::fromUtf8(l);
    EXPECT_EQ(got, want);
  }
}

TEST_F(IndexWriterTest, SizeFieldBoundaries) {
  struct Case {
    const char* name;
    qint64 size;
    const char* field;
  };
  const Case cases[] = {
      {"s0", 0, "00000"},
      {"s1023", 1023, "00000"},
      {"s1024", 1024, "00001"},
      {"s12345", 12345, "00012"},
      {"s102399999", 102399999, "99999"},
      {"s102400000", 102400000, "99999"},  // 100 000 KiB keeps the five-character field
      {"s2g", qint64(1) << 31, "99999"},
      {"s5g", qint64(5) << 30, "99999"},  // beyond 32 bits
  };
  std::map<QString, QString> expectedByName;  // the index is in name order
  for (const Case& c : cases) {
    const QString rel = P(QString::fromLatin1(c.name));
    MakeSparse(tree_.Path(rel), c.size);
    tree_.SetModified(rel, Local(2004, 2, 19, 15, 10));
    expectedByName[QString::fromLatin1(c.name)] =
        QStringLiteral("200402190610f%1+%2").arg(QLatin1String(c.field), QLatin1String(c.name));
  }
  QStringList expected;
  for (const auto& [name, line] : expectedByName) expected << line;
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(EntryLinesOf(Index()), expected);
  for (const QString& line : EntryLinesOf(Index())) EXPECT_EQ(line.at(18), QLatin1Char('+')) << line.toStdString();
}

TEST_F(IndexWriterTest, JapaneseNamesAreWrittenInShiftJis) {
  File(QStringLiteral("画像/データ.txt"), 3000);
  FixDirTimes();
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(Index(), kHeader + QByteArray("200402200130d00000+\x89\xe6\x91\x9c\r\n"
                                          "200402190610f00002|+\x83\x66\x81\x5b\x83\x5e.txt\r\n"));
  EXPECT_EQ(view_.list, QStringList({QStringLiteral("200402200130d00000+画像"),
                                     QStringLiteral("200402190610f00002|+データ.txt")}));
}

TEST_F(IndexWriterTest, OneCharacterNameMakesALineOfTwentyCharacters) {
  File(QStringLiteral("a"));
  ASSERT_EQ(Run(1), 0);
  EXPECT_EQ(EntryLinesOf(Index()), QStringList{"200402190610f00000+a"});
  EXPECT_EQ(EntryLinesOf(Index())[0].size(), 20);
}

TEST_F(IndexWriterTest, TimesAreLocalPlusBiasWithSecondsDropped) {
  File(QStringLiteral("a"));
  tree_.SetModified(P(QStringLiteral("a")), Local(2004, 1, 1, 3, 59, 59));
  lm::timeZoneBias = -540;  // crosses back into the previous year
  ASSERT_EQ(Run(1), 0);
  EXPECT_EQ(EntryLinesOf(Index()), QStringList{"200312311859f00000+a"});
  lm::timeZoneBias = 300;  // west of Greenwich: forward
  ASSERT_EQ(Run(1), 0);
  EXPECT_EQ(EntryLinesOf(Index()), QStringList{"200401010859f00000+a"});
  lm::timeZoneBias = 0;
  ASSERT_EQ(Run(1), 0);
  EXPECT_EQ(EntryLinesOf(Index()), QStringList{"200401010359f00000+a"});
}

TEST_F(IndexWriterTest, TwinIsKeptUntouchedWhenNotRequested) {
  lm::makeTmpIndex = 0;
  File(QStringLiteral("a"));
  tree_.WriteFile(P(QStringLiteral("indextmp.fet")), "earlier twin\r\n");
  tree_.SetModified(P(QStringLiteral("indextmp.fet")), Local(2001, 1, 1, 0, 0));
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(TmpIndex(), QByteArray("earlier twin\r\n"));
  EXPECT_EQ(QFileInfo(tree_.Path(P(QStringLiteral("indextmp.fet")))).lastModified(),
            Local(2001, 1, 1, 0, 0));
  EXPECT_EQ(Index(), kHeader + Lines({"200402190610f00000+a"}));
}

TEST_F(IndexWriterTest, TwinIsNotCreatedWhenNotRequested) {
  lm::makeTmpIndex = 0;
  File(QStringLiteral("a"));
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(NamesIn(Dat()), QStringList({"a", "index.fet"}));
}

TEST_F(IndexWriterTest, DatIsFoundWithoutRegardToCaseAndEitherSeparator) {
  tree_.WriteFile(QStringLiteral("SAMPLE/DAT/x.txt"));
  tree_.SetModified(QStringLiteral("SAMPLE/DAT/x.txt"), Local(2004, 2, 19, 15, 10));
  ASSERT_EQ(lm::WriteIndexFiles(tree_.Path(QStringLiteral("sample\\dat\\")), kNext, 1, view_), 0);
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("SAMPLE/DAT/index.fet")), kHeader + Lines({"200402190610f00000+x.txt"}));
}

TEST_F(IndexWriterTest, MissingDatStopsWithAMessageNamingIt) {
  const QString missing = tree_.Path(QStringLiteral("NOPE/DAT"));
  EXPECT_EQ(lm::WriteIndexFiles(missing + QLatin1Char('\\'), kNext, 0, view_), -9);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.endsWith(QStringLiteral("『") + missing + QStringLiteral("』")))
      << boxes_.Shown()[0].text.toStdString();
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
  EXPECT_FALSE(QFileInfo::exists(missing));
}

// A run that fails must leave the earlier files exactly as they were.
class FailedRunTest : public IndexWriterTest {
 protected:
  void SetUp() override {
    IndexWriterTest::SetUp();
    tree_.WriteFile(P(QStringLiteral("index.fet")), kOldIndex);
    tree_.WriteFile(P(QStringLiteral("indextmp.fet")), kOldTwin);
    File(QStringLiteral("ok.txt"));
    view_.list << QStringLiteral("earlier line");
  }
  void ExpectUntouched() {
    EXPECT_EQ(Index(), kOldIndex);
    EXPECT_EQ(TmpIndex(), kOldTwin);
    for (const QString& n : NamesIn(Dat())) {
      EXPECT_FALSE(n.startsWith(QStringLiteral(".index"))) << "temporary file left: " << n.toStdString();
    }
  }
  const QByteArray kOldIndex = "#NextUpdate 2003 1 1 0 0 \r\nold\r\n";
  const QByteArray kOldTwin = "old twin\r\n";
};

TEST_F(FailedRunTest, NameThatShiftJisCannotHoldStopsTheRunNamingTheEntry) {
  File(QStringLiteral("sub/emoji\U0001F600.txt"));
  EXPECT_EQ(Run(0), -9);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  const QString text = boxes_.Shown()[0].text;
  EXPECT_TRUE(text.contains(QStringLiteral("Shift-JIS"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("\U0001F600"))) << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral("『") + Dat() + QStringLiteral("/sub/emoji\U0001F600.txt』")))
      << text.toStdString();
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
  ExpectUntouched();
}

// Names whose bytes are not UTF-8 have no characters to write: the run stops
// naming the file by its own bytes, escaped where they do not show, and
// says the name cannot become Shift-JIS. Raw Shift-JIS "ソ" (83 5C) is not
// blamed on the "\" its second byte happens to be.
TEST_F(FailedRunTest, NamesThatAreNotUtf8StopTheRunNamedByTheirOwnBytes) {
  struct Case {
    const char* raw;
    const char* shown;
  };
  const Case cases[] = {
      {"bad\xff\xfe.txt", "bad\\xFF\\xFE.txt"},
      {"\x83\x5C\x1B.txt", "\\x83\\\\x1B.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    boxes_.Clear();
    const QByteArray raw = QFile::encodeName(Dat()) + "/" + c.raw;
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(Run(0), -9);
    ::unlink(raw.constData());  // a name the temporary directory's cleanup could not spell
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    const QString text = boxes_.Shown()[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Shift-JISに変換できない名前"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("「\\」"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("『") + Dat() + QLatin1Char('/') + QLatin1String(c.shown) +
                              QStringLiteral("』")))
        << text.toStdString();
    ExpectUntouched();
  }
}

TEST_F(FailedRunTest, NamesThatWouldBreakTheLineLayoutStopTheRun) {
  for (const char* name : {"a\\b.txt", "pipe|name", "line\nbreak", "cr\rname", "tab\tname"}) {
    lmtest::TempTree other;
    other.WriteFile(QStringLiteral("DAT/index.fet"), kOldIndex);
    other.WriteFile(QStringLiteral("DAT/ok"));
    const QString bad = other.WriteFile(QStringLiteral("DAT/") + QString::fromLatin1(name));
    boxes_.Clear();
    EXPECT_EQ(lm::WriteIndexFiles(other.Path(QStringLiteral("DAT")), kNext, 0, view_), -9) << name;
    ASSERT_EQ(boxes_.Shown().size(), 1u) << name;
    EXPECT_TRUE(boxes_.Shown()[0].text.endsWith(QStringLiteral("『") + bad + QStringLiteral("』")))
        << boxes_.Shown()[0].text.toStdString();
    EXPECT_EQ(other.ReadFile(QStringLiteral("DAT/index.fet")), kOldIndex) << name;
  }
}

TEST_F(FailedRunTest, DanglingLinkStopsTheRunNamingIt) {
  const QString link = tree_.Path(P(QStringLiteral("sub/gone")));
  QDir().mkpath(tree_.Path(P(QStringLiteral("sub"))));
  ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(link).constData()), 0);
  EXPECT_EQ(Run(0), -9);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.endsWith(QStringLiteral("『") + link + QStringLiteral("』")))
      << boxes_.Shown()[0].text.toStdString();
  ExpectUntouched();
  EXPECT_EQ(view_.list, QStringList{"earlier line"});
}

TEST_F(FailedRunTest, IndexFetThatIsADirectoryIsReportedAndNothingElseChanges) {
  QFile::remove(tree_.Path(P(QStringLiteral("index.fet"))));
  tree_.MakeDir(P(QStringLiteral("INDEX.FET")));
  EXPECT_EQ(Run(0), -9);
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.endsWith(QStringLiteral("『") + Dat() + QStringLiteral("/INDEX.FET』")))
      << boxes_.Shown()[0].text.toStdString();
  EXPECT_EQ(TmpIndex(), kOldTwin);
}

TEST_F(FailedRunTest, TwinWithoutWriteBitsLeavesBothFilesByteIdentical) {
  const QByteArray twin = QFile::encodeName(tree_.Path(P(QStringLiteral("indextmp.fet"))));
  ASSERT_EQ(::chmod(twin.constData(), 0444), 0);
  EXPECT_EQ(Run(0), -9);
  ::chmod(twin.constData(), 0644);
  EXPECT_EQ(boxes_.Texts(), QStringList{kWriteDenied});
  ExpectUntouched();
  EXPECT_EQ(view_.list, QStringList{});
}

// The twin's rename fails after index.fet was already renamed into place:
// index.fet gets its earlier contents back, and no temporary or kept copy is
// left behind; with no earlier index.fet, the new one is taken away again.
int FailRenameOfTwin(const char* from, const char* to) {
  if (std::string_view(to).ends_with("/indextmp.fet")) {
    errno = EIO;
    return -1;
  }
  return ::rename(from, to);
}

TEST_F(FailedRunTest, FailedRenameOfTheTwinPutsIndexFetBack) {
  for (const bool indexExisted : {true, false}) {
    SCOPED_TRACE(indexExisted);
    boxes_.Clear();
    if (!indexExisted) QFile::remove(tree_.Path(P(QStringLiteral("index.fet"))));
    const lm::RenameFunction old = lm::SetRenameFunctionForTests(&FailRenameOfTwin);
    EXPECT_EQ(Run(0), -9);
    lm::SetRenameFunctionForTests(old);
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_TRUE(boxes_.Shown()[0].text.endsWith(QStringLiteral("『") + Dat() + QStringLiteral("/indextmp.fet』")))
        << boxes_.Shown()[0].text.toStdString();
    if (indexExisted) {
      ExpectUntouched();
    } else {
      EXPECT_FALSE(QFileInfo::exists(tree_.Path(P(QStringLiteral("index.fet")))));
      EXPECT_EQ(TmpIndex(), kOldTwin);
    }
    EXPECT_EQ(NamesIn(Dat()), (indexExisted ? QStringList{"index.fet", "indextmp.fet", "ok.txt"}
                                            : QStringList{"indextmp.fet", "ok.txt"}));
  }
}

TEST_F(IndexWriterTest, LinksAreFollowedAndPipesAreLeftOut) {
  lmtest::TempTree outside;
  outside.WriteFile(QStringLiteral("big.bin"), QByteArray(4096, 'b'));
  outside.WriteFile(QStringLiteral("dir/inner.txt"));
  outside.SetModified(QStringLiteral("big.bin"), Local(2004, 2, 19, 15, 10));
  outside.SetModified(QStringLiteral("dir/inner.txt"), Local(2004, 2, 19, 15, 10));
  outside.SetModified(QStringLiteral("dir"), Local(2004, 2, 20, 10, 30));
  ASSERT_EQ(::symlink(QFile::encodeName(outside.Path(QStringLiteral("big.bin"))).constData(),
                      QFile::encodeName(tree_.Path(P(QStringLiteral("linked.bin")))).constData()), 0);
  ASSERT_EQ(::symlink(QFile::encodeName(outside.Path(QStringLiteral("dir"))).constData(),
                      QFile::encodeName(tree_.Path(P(QStringLiteral("linkdir")))).constData()), 0);
  // A named pipe would block an open for reading; it is no file of a script.
  ASSERT_EQ(::mkfifo(QFile::encodeName(tree_.Path(P(QStringLiteral("pipe")))).constData(), 0644), 0);
  ASSERT_EQ(Run(0), 0);
  EXPECT_EQ(EntryLinesOf(Index()), QStringList({"200402200130d00000+linkdir",
                                                "200402190610f00000|+inner.txt",
                                                "200402190610f00004+linked.bin"}));
}

// Trees with thousands of directories: removing directories is slow on the
// disk here, so they are built in memory-backed /dev/shm when there is one.
class BigTreeTest : public ::testing::Test {
 protected:
  BigTreeTest()
      : dir_(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                 ? QStringLiteral("/dev/shm/lm-index-test-XXXXXX")
                 : QDir::tempPath() + QStringLiteral("/lm-index-test-XXXXXX")) {}
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(QDir().mkpath(Dat()));
    QFile old(Dat() + QStringLiteral("/index.fet"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old\r\n");
  }
  QString Dat() const { return dir_.path() + QStringLiteral("/DAT"); }
  QByteArray Index() const {
    QFile f(Dat() + QStringLiteral("/index.fet"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  int16_t Run() { return lm::WriteIndexFiles(Dat() + QLatin1Char('\\'), kNext, 0, view_); }
  QString Bound(const char* text) const {
    return QString::fromUtf8(text) + QChar(13) + QStringLiteral("『") + Dat() + QStringLiteral("』");
  }

  QTemporaryDir dir_;
  lmtest::FakeRunView view_;
  lmtest::ScriptedMessageBox boxes_;
};

TEST_F(BigTreeTest, MoreThanTenThousandEntriesStopTheRunBeforeWriting) {
  // Directories and files count together, at any depth.
  MakeMany(Dat(), "d", 5000, true);
  MakeMany(Dat() + QStringLiteral("/d00000"), "f", 5000, false);
  MakeMany(Dat() + QStringLiteral("/d00001"), "g", 1, false);
  EXPECT_EQ(Run(), -9);
  EXPECT_EQ(boxes_.Texts(),
            QStringList{Bound("DATフォルダの下のフォルダとファイルが合わせて10000個を超えています。")});
  EXPECT_EQ(Index(), QByteArray("old\r\n"));
}

TEST_F(BigTreeTest, TenThousandEntriesFitBesideTheOldIndexFiles) {
  const int16_t savedTmp = lm::makeTmpIndex;
  lm::makeTmpIndex = 1;
  MakeMany(Dat(), "f", lm::kMaxScanEntries, false);
  // index.fet and, after the first run, indextmp.fet lie in DAT too; they
  // are not listed and do not count.
  EXPECT_EQ(Run(), 0) << boxes_.Texts().join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(EntryLinesOf(Index()).size(), lm::kMaxScanEntries);
  EXPECT_EQ(Run(), 0) << boxes_.Texts().join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(EntryLinesOf(Index()).size(), lm::kMaxScanEntries);
  EXPECT_EQ(view_.list.size(), lm::kMaxScanEntries);
  lm::makeTmpIndex = savedTmp;
}

TEST_F(BigTreeTest, TenThousandDirectoriesFit) {
  MakeMany(Dat(), "d", lm::kMaxScanDirs, true);
  EXPECT_EQ(Run(), 0) << boxes_.Texts().join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(view_.list.size(), lm::kMaxScanDirs);
}

TEST_F(BigTreeTest, MoreThanTenThousandDirectoriesAreReportedAsSuch) {
  MakeMany(Dat(), "d", lm::kMaxScanDirs + 1, true);
  EXPECT_EQ(Run(), -9);
  EXPECT_EQ(boxes_.Texts(), QStringList{Bound("DATフォルダの下のフォルダが10000個を超えています。")});
  EXPECT_EQ(Index(), QByteArray("old\r\n"));
}

// ---- Failures of permission, made real also when the tests run as root ----

struct ChildOutcome {
  bool ran = false;
  int16_t status = 0;
  QStringList messages;
};

class PipeSink final : public lm::MessageBoxSink {
 public:
  explicit PipeSink(int fd) : fd_(fd) {}
  int Show(const QString& text, int, const QString&) override {
    const QByteArray bytes = text.toUtf8() + '\0';
    (void)!::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size()));
    return lm::button::OK;
  }

 private:
  int fd_;
};

// Runs `fn` as an ordinary user. Root passes every permission check, so as
// root `fn` runs in a child process that has dropped to the user nobody.
ChildOutcome RunUnprivileged(const std::function<int16_t()>& fn) {
  ChildOutcome out;
  if (::geteuid() != 0) {
    lmtest::ScriptedMessageBox boxes;
    out.status = fn();
    out.messages = boxes.Texts();
    out.ran = true;
    return out;
  }
  int fds[2];
  if (::pipe(fds) != 0) return out;
  const pid_t pid = ::fork();
  if (pid < 0) return out;
  if (pid == 0) {
    ::close(fds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);
    PipeSink sink(fds[1]);
    lm::SetMessageBoxSink(&sink);
    const int16_t s = fn();
    ::close(fds[1]);
    ::_exit(s + 100);
  }
  ::close(fds[1]);
  QByteArray all;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) all.append(buf, n);
  ::close(fds[0]);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) == 200) return out;
  out.ran = true;
  out.status = static_cast<int16_t>(WEXITSTATUS(wstatus) - 100);
  for (const QByteArray& m : all.split('\0')) {
    if (!m.isEmpty()) out.messages << QString::fromUtf8(m);
  }
  return out;
}

class PermissionTest : public FailedRunTest {
 protected:
  void SetUp() override {
    FailedRunTest::SetUp();
    // Let the unprivileged user reach the tree.
    ::chmod(QFile::encodeName(tree_.Path()).constData(), 0755);
  }
  void TearDown() override {
    ::chmod(QFile::encodeName(Dat()).constData(), 0755);
    FailedRunTest::TearDown();
  }
  ChildOutcome RunAsUser(int16_t mode = 0) {
    const QString dat = DatArg();
    return RunUnprivileged([dat, mode] {
      lmtest::FakeRunView view;
      return lm::WriteIndexFiles(dat, kNext, mode, view);
    });
  }
  void Chmod(const QString& rel, mode_t m) {
    ASSERT_EQ(::chmod(QFile::encodeName(tree_.Path(rel)).constData(), m), 0);
  }
};

TEST_F(PermissionTest, ReadOnlyDatIsReportedAndLeavesTheOldFiles) {
  Chmod(QStringLiteral("DAT"), 0555);
  Chmod(P(QStringLiteral("index.fet")), 0666);
  const ChildOutcome r = RunAsUser();
  if (!r.ran) GTEST_SKIP() << "cannot switch to an unprivileged user here";
  EXPECT_EQ(r.status, -9);
  EXPECT_EQ(r.messages, QStringList{kWriteDenied});
  ExpectUntouched();
}

TEST_F(PermissionTest, ReadOnlyIndexFetIsNotReplaced) {
  Chmod(QStringLiteral("DAT"), 0777);
  Chmod(P(QStringLiteral("index.fet")), 0444);
  const ChildOutcome r = RunAsUser();
  if (!r.ran) GTEST_SKIP() << "cannot switch to an unprivileged user here";
  EXPECT_EQ(r.status, -9);
  EXPECT_EQ(r.messages, QStringList{kWriteDenied});
  ExpectUntouched();
}

TEST_F(PermissionTest, ReadOnlyTwinIsReportedAndLeavesBothFiles) {
  Chmod(QStringLiteral("DAT"), 0777);
  Chmod(P(QStringLiteral("index.fet")), 0666);
  Chmod(P(QStringLiteral("indextmp.fet")), 0444);
  const ChildOutcome r = RunAsUser();
  if (!r.ran) GTEST_SKIP() << "cannot switch to an unprivileged user here";
  EXPECT_EQ(r.status, -9);
  EXPECT_EQ(r.messages, QStringList{kWriteDenied});
  ExpectUntouched();
}

TEST_F(PermissionTest, UnreadableFileIsListedWithSizeZero) {
  tree_.WriteFile(P(QStringLiteral("locked.bin")), QByteArray(5000, 'l'));
  tree_.SetModified(P(QStringLiteral("locked.bin")), Local(2004, 2, 19, 15, 10));
  Chmod(P(QStringLiteral("locked.bin")), 0);
  Chmod(QStringLiteral("DAT"), 0777);
  Chmod(P(QStringLiteral("index.fet")), 0666);
  Chmod(P(QStringLiteral("indextmp.fet")), 0666);
  const ChildOutcome r = RunAsUser(1);
  Chmod(P(QStringLiteral("locked.bin")), 0644);
  if (!r.ran) GTEST_SKIP() << "cannot switch to an unprivileged user here";
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.messages.isEmpty()) << r.messages.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(Index(), kHeader + Lines({"200402190610f00000+locked.bin", "200402190610f00000+ok.txt"}));
}

TEST_F(PermissionTest, UnreadableDirectoryStopsTheRunNamingIt) {
  tree_.MakeDir(P(QStringLiteral("closed")));
  Chmod(P(QStringLiteral("closed")), 0);
  Chmod(QStringLiteral("DAT"), 0777);
  const ChildOutcome r = RunAsUser();
  Chmod(P(QStringLiteral("closed")), 0755);
  if (!r.ran) GTEST_SKIP() << "cannot switch to an unprivileged user here";
  EXPECT_EQ(r.status, -9);
  ASSERT_EQ(r.messages.size(), 1);
  EXPECT_TRUE(r.messages[0].endsWith(QStringLiteral("『") + Dat() + QStringLiteral("/closed』")))
      << r.messages[0].toStdString();
  ExpectUntouched();
}

}  // namespace
