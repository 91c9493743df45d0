// The comparison of the local and the server's update definition files, on
// real files in temporary directories.
#include <vector>

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "sync/sync_test_print.h"

#include "index/index_writer.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "sync/profile_scope.h"
#include "sync/check_differ.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace {

using namespace lm;
using lmtest::ScriptedMessageBox;
using lmtest::TempTree;

const QStringList kHeader{QStringLiteral("#NextUpdate 2004 3 1 9 0 "),
                          QStringLiteral("#FieldInfo date 12 attr 1 size 5")};

QStringList Paths(const QList<IndexEntry>& entries) {
  QStringList out;
  for (const IndexEntry& e : entries) out << e.path;
  return out;
}

QString L(const char* s) { return QString::fromUtf8(s); }

QStringList Lines(std::initializer_list<const char*> lines) {
  QStringList out = kHeader;
  for (const char* l : lines) out << QString::fromUtf8(l);
  return out;
}

class CompareTest : public ::testing::Test {
 protected:
  QString Write(const QString& name, const QStringList& lines) {
    const QString path = tree.Path(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    FileError error;
    EXPECT_TRUE(WriteTextLines(path, lines, &error)) << error.message.toStdString();
    return path;
  }
  int16_t Compare(const QStringList& local, const QStringList& server) {
    return CompareIndexFiles(Write(QStringLiteral("dat/index.fet"), local),
                             Write(QStringLiteral("indexserver.fet"), server));
  }

  TempTree tree;
  ScriptedMessageBox boxes;
};

TEST_F(CompareTest, HeaderOnlyFilesGiveFourEmptyLists) {
  EXPECT_EQ(Compare(kHeader, kHeader), 0);
  EXPECT_TRUE(localEntries.isEmpty());
  EXPECT_TRUE(serverEntries.isEmpty());
  EXPECT_TRUE(uploadList.isEmpty());
  EXPECT_TRUE(deleteList.isEmpty());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CompareTest, MissingFilesAreReportedAndLeaveEmptyLists) {
  // A comparison that worked leaves lists behind; a failed one empties them.
  ASSERT_EQ(Compare(Lines({"200402200130d00000+data"}), Lines({"200402200130d00000+old"})), 0);
  ASSERT_FALSE(localEntries.isEmpty());

  const QString present = tree.Path(QStringLiteral("indexserver.fet"));
  const QString absent = tree.Path(QStringLiteral("nowhere/index.fet"));
  struct Case {
    QString local, server, message;
  } cases[] = {
      {absent, present, QStringLiteral("ローカルのの更新定義ファイルが存在しません。")},
      {tree.Path(QStringLiteral("dat/index.fet")), absent,
       QStringLiteral("サーバの更新定義ファイルが存在しません。")},
  };
  for (const Case& c : cases) {
    boxes.Clear();
    EXPECT_EQ(CompareIndexFiles(c.local, c.server), -9);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, c.message);
    EXPECT_EQ(boxes.Shown()[0].style, 0);
    EXPECT_EQ(boxes.Shown()[0].title, QStringLiteral("Loftmark"));
    EXPECT_TRUE(localEntries.isEmpty() && serverEntries.isEmpty() && uploadList.isEmpty() &&
                deleteList.isEmpty());
  }
}

// The comparison hands its lists back as one value, the same the module keeps.
TEST_F(CompareTest, ReturnsItsListsAsAValue) {
  IndexComparison result;
  result.uploads << QStringLiteral("stale");
  ASSERT_EQ(CompareIndexFiles(Write(QStringLiteral("dat/index.fet"), Lines({"200402200130d00000+data"})),
                              Write(QStringLiteral("indexserver.fet"), Lines({"200402200130d00000+old"})), result),
            0);
  ASSERT_EQ(result.local.size(), 1);
  EXPECT_EQ(result.local[0].path, QStringLiteral("\\data\\"));
  ASSERT_EQ(result.server.size(), 1);
  EXPECT_EQ(result.server[0].path, QStringLiteral("\\old\\"));
  EXPECT_EQ(result.uploads, QStringList{QStringLiteral("\\data\\")});
  EXPECT_EQ(result.deletions, QStringList{QStringLiteral("\\old\\")});
  EXPECT_EQ(result.uploads, uploadList);
  EXPECT_EQ(result.deletions, deleteList);
  EXPECT_EQ(LastComparison().local.size(), 1);

  // A failed comparison hands back four empty lists.
  EXPECT_EQ(CompareIndexFiles(tree.Path(QStringLiteral("nowhere/index.fet")), tree.Path(QStringLiteral("indexserver.fet")),
                              result),
            -9);
  EXPECT_TRUE(result.local.isEmpty() && result.server.isEmpty() && result.uploads.isEmpty() &&
              result.deletions.isEmpty());
}

TEST(IndexLineSplit, ShortHeaderAndEntryLines) {
  struct Case {
    const char* line;
    bool accepted;
    const char* date;
    const char* attr;
    const char* size;
    const char* name;
  } cases[] = {
      {"200402200130f00000+a", true, "200402200130", "f", "00000", "+a"},  // 20: a one-character name
      {"200402200130f00000+ab", true, "200402200130", "f", "00000", "+ab"},  // 21
      {"200402200130f00000+", false, "", "", "", ""},        // 19: no name
      {"   200402200130f00000   ", false, "", "", "", ""},  // 18 after trimming
      {"#NextUpdate 2004 3 1 9 0 ", false, "", "", "", ""},
      {"#FieldInfo date 12 attr 1 size 5", false, "", "", "", ""},
      {"  #200402200130f00000+comment", false, "", "", "", ""},
      {"200402190610f00012|+title.bmp  ", true, "200402190610", "f", "00012", "|+title.bmp  "},
      {"", false, "", "", "", ""},
  };
  for (const auto& c : cases) {
    QString date, attr, size, name;
    EXPECT_EQ(SplitIndexLine(L(c.line), date, attr, size, name), c.accepted) << c.line;
    if (!c.accepted) continue;
    EXPECT_EQ(date, L(c.date));
    EXPECT_EQ(attr, L(c.attr));
    EXPECT_EQ(size, L(c.size));
    EXPECT_EQ(name, L(c.name));
  }
}

TEST(TreeNames, DepthBareNameAndParentWithTheirFallbacks) {
  EXPECT_EQ(TreeDepth(QStringLiteral("+a")), 0);
  EXPECT_EQ(TreeDepth(QStringLiteral("||+x")), 2);
  EXPECT_EQ(TreeDepth(QStringLiteral("|+a|b")), 2);
  EXPECT_EQ(TreeDepth(QStringLiteral("|")), -9);

  TreeNameReader r;
  EXPECT_EQ(r.BareName(QStringLiteral("|+a+b.txt")), QStringLiteral("b.txt"));  // last mark wins
  EXPECT_EQ(r.BareName(QStringLiteral("noMarks")), QStringLiteral("b.txt"));    // previous reused
  EXPECT_EQ(r.BareName(QStringLiteral("+")), QStringLiteral("b.txt"));          // too short
  EXPECT_EQ(r.BareName(QStringLiteral("+x+")), QStringLiteral("x+"));           // last char is name
  EXPECT_EQ(r.ParentDir(QStringLiteral("\\a\\b\\")), QStringLiteral("\\a\\"));
  EXPECT_EQ(r.ParentDir(QStringLiteral("\\a\\")), QStringLiteral("\\"));
  EXPECT_EQ(r.ParentDir(QStringLiteral("\\")), QStringLiteral("\\"));  // previous result
  TreeNameReader fresh;
  EXPECT_EQ(fresh.ParentDir(QStringLiteral("x")), QString());
  EXPECT_EQ(fresh.BareName(QStringLiteral("x")), QString());
}

TEST(SizeFields, ReadAsDecimalNumbers) {
  struct Case {
    const char* field;
    qint64 value;
  } cases[] = {{"00012", 12}, {"12", 12}, {"   12", 12}, {"1 2", 12}, {"12ab3", 12},
               {"", 0},       {"abc", 0}, {"-0001", -1}, {"99999", 99999}};
  for (const auto& c : cases) EXPECT_EQ(SizeValue(L(c.field)), c.value) << c.field;
}

TEST_F(CompareTest, PathsAreRebuiltFromTheTreeMarks) {
  ASSERT_EQ(Compare(Lines({
                        "200402200130d00000+dat",
                        "200402190610f00001|+index.fet",
                        "200402190610f00001+readme.txt",
                        "200402200130d00000+al",
                        "200402200130d00000|+b",
                        "200402190610f00001||+x",
                        "200402190610f00001|+y",
                        "200402190610f00001|+a+b.txt",
                    }),
                    kHeader),
            0);
  EXPECT_EQ(Paths(localEntries),
            (QStringList{L("\\dat\\"), L("\\dat\\index.fet"), L("\\readme.txt"), L("\\al\\"),
                         L("\\al\\b\\"), L("\\al\\b\\x"), L("\\al\\y"), L("\\al\\b.txt")}));
  ASSERT_EQ(localEntries.size(), 8);
  EXPECT_EQ(localEntries[1].date, L("200402190610"));
  EXPECT_EQ(localEntries[1].attr, L("f"));
  EXPECT_EQ(localEntries[1].size, L("00001"));
}

TEST_F(CompareTest, DepthDropsOfSeveralLevelsAndEmptyDirectoriesRebuildTheTruePath) {
  ASSERT_EQ(Compare(Lines({
                        "200402200130d00000+al",
                        "200402200130d00000|+b",
                        "200402200130d00000||+c",
                        "200402190610f00001|||+f",
                        "200402190610f00001|+z",        // three marks down to one
                        "200402200130d00000|+empty",
                        "200402190610f00001|+sibling",  // beside the empty directory
                        "200402200130d00000+top",
                        "200402200130d00000|+deep",
                        "200402200130d00000||+deeper",
                        "200402190610f00001+last",      // a "+" line returns to the root
                        "200402200130d00000+img",
                        "200402190610f00001+img.txt",   // sorts between \\img and its contents
                        "200402190610f00001|+title.bmp",
                        "200402200130d00000|+sub",
                        "200402190610f00001|+sub.txt",
                        "200402190610f00001||+inner",
                    }),
                    kHeader),
            0);
  EXPECT_EQ(Paths(localEntries),
            (QStringList{L("\\al\\"), L("\\al\\b\\"), L("\\al\\b\\c\\"), L("\\al\\b\\c\\f"),
                         L("\\al\\z"), L("\\al\\empty\\"), L("\\al\\sibling"), L("\\top\\"),
                         L("\\top\\deep\\"), L("\\top\\deep\\deeper\\"), L("\\last"), L("\\img\\"),
                         L("\\img.txt"), L("\\img\\title.bmp"), L("\\img\\sub\\"), L("\\img\\sub.txt"),
                         L("\\img\\sub\\inner")}));
}

TEST_F(CompareTest, ContentsAfterASimilarlyNamedDirectoryStayAmbiguous) {
  // \img, \img 2, \img 2\x, \img\y in the writer's order: the marks alone
  // cannot say that y belongs to \img; both files are read alike, so the
  // comparison still pairs the entries.
  const QStringList lines = Lines({"200402200130d00000+img", "200402200130d00000+img 2",
                                   "200402190610f00001|+x", "200402190610f00001|+y"});
  ASSERT_EQ(Compare(lines, lines), 0);
  EXPECT_EQ(Paths(localEntries),
            (QStringList{L("\\img\\"), L("\\img 2\\"), L("\\img 2\\x"), L("\\img 2\\y")}));
  EXPECT_TRUE(uploadList.isEmpty());
  EXPECT_TRUE(deleteList.isEmpty());
}

TEST_F(CompareTest, LineEndsAndShiftJisNames) {
  // CR alone and CR LF end lines; a lone LF stays inside the line.
  QByteArray local;
  QByteArray name;
  ASSERT_TRUE(EncodeCp932(QStringLiteral("画像"), name));
  local += "#NextUpdate 2004 3 1 9 0 \r#FieldInfo date 12 attr 1 size 5\r\n";
  local += "200402200130d00000+" + name + "\r";
  local += "200402190610f00012|+title.bmp\r\n";
  local += "200402190610f00012+one\r\n";
  const QString localPath = tree.WriteFile(QStringLiteral("local.fet"), local);
  const QString serverPath = Write(QStringLiteral("server.fet"), kHeader);
  ASSERT_EQ(CompareIndexFiles(localPath, serverPath), 0);
  EXPECT_EQ(Paths(localEntries), (QStringList{QStringLiteral("\\画像\\"),
                                              QStringLiteral("\\画像\\title.bmp"),
                                              QStringLiteral("\\one")}));

  // A lone LF stays inside the line, so the name holds a control character:
  // the reading stops and names it with the character escaped.
  local += "200402190610f00012+two\nstill-two\r\n";
  tree.WriteFile(QStringLiteral("local.fet"), local);
  boxes.Clear();
  EXPECT_EQ(CompareIndexFiles(localPath, serverPath), -9);
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_TRUE(boxes.Shown()[0].text.contains(QStringLiteral("『two\\x0Astill-two』"))) << boxes.Shown()[0].text.toStdString();
  EXPECT_TRUE(localEntries.isEmpty());
}

TEST_F(CompareTest, UploadsAndDeletionsFollowDateAttrAndNumericSize) {
  ASSERT_EQ(Compare(Lines({
                        "200403011200f00012+same.txt",
                        "200403011200f00012+bigger.txt",
                        "200403011200d00000+both-dirs",
                        "200403011200d00000+local-dir",
                        "200403011200f00001+local-only.txt",
                        "200403011200d00000+clash",
                        "200403011200f00001+older-on-server.txt",
                    }),
                    Lines({
                        "200403011200f   12+same.txt",
                        "200403011200f00013+bigger.txt",
                        "200401011111d00000+both-dirs",
                        "200403011200d00000+server-dir",
                        "200403011200f00001+server-only.txt",
                        "200403011200f00000+clash",
                        "200402011200f00001+older-on-server.txt",
                    })),
            0);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(uploadList, (QStringList{L("\\bigger.txt"), L("\\clash\\"), L("\\local-dir\\"),
                                     L("\\local-only.txt"), L("\\older-on-server.txt")}));
  EXPECT_EQ(deleteList, (QStringList{L("\\clash"), L("\\server-dir\\"), L("\\server-only.txt")}));
}

TEST_F(CompareTest, ANewerServerFileIsUploadedOnlyWhenTheUserSaysYes) {
  const QString question = QStringLiteral(
      "ファイル作成日付に矛盾を発見しました。\r以下のファイルはローカルよりもサーバのほうが新しい日付になっています。\r"
      "『\\news.txt』\rこのファイルをこのままサーバにアップロードしてもよろしいですか？");
  for (int answer : {button::Yes, button::No}) {
    boxes.Clear();
    boxes.Answer(answer);
    ASSERT_EQ(Compare(Lines({"200403011200f00001+news.txt"}), Lines({"200404011200f00001+news.txt"})),
              0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, question);
    EXPECT_EQ(boxes.Shown()[0].style, 36);
    EXPECT_EQ(boxes.Shown()[0].title, QStringLiteral("Loftmark"));
    EXPECT_EQ(uploadList, answer == button::Yes ? QStringList{L("\\news.txt")} : QStringList{});
    EXPECT_EQ(Paths(localEntries), QStringList{L("\\news.txt")});
    EXPECT_EQ(Paths(serverEntries), QStringList{L("\\news.txt")});
    EXPECT_TRUE(deleteList.isEmpty());
  }
}

TEST_F(CompareTest, APathListedManyTimesIsJudgedOnce) {
  // Against the server's first line for the path: one upload.
  ASSERT_EQ(Compare(Lines({"200403011200f00005+dup.txt"}),
                    Lines({"200402011200f00001+dup.txt", "200402011200f00002+dup.txt",
                           "200403011200f00005+dup.txt"})),
            0);
  EXPECT_EQ(uploadList, QStringList{L("\\dup.txt")});
  EXPECT_TRUE(deleteList.isEmpty());

  // A thousand newer copies on the server: one question, one upload; a
  // thousand server-only copies: one deletion; twice locally: once.
  QStringList server = kHeader;
  for (int i = 0; i < 1000; ++i) {
    server << L("200405011200f00001+news.txt") << L("200405011200f00001+gone.txt");
  }
  boxes.Clear();
  boxes.Answer(button::Yes);
  ASSERT_EQ(Compare(Lines({"200403011200f00001+news.txt", "200403011200f00001+news.txt",
                           "200403011200f00001+new.txt", "200403011200f00001+new.txt"}),
                    server),
            0);
  EXPECT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(uploadList, (QStringList{L("\\new.txt"), L("\\news.txt")}));
  EXPECT_EQ(deleteList, QStringList{L("\\gone.txt")});
}

TEST_F(CompareTest, ResultListsAreInOrdinalOrder) {
  ASSERT_EQ(Compare(Lines({"200403011200f00001+bb", "200403011200d00000+aa", "200403011200f00001+aa.txt",
                           "200403011200f00001+BB", "200403011200f00001+_x"}),
                    Lines({"200403011200f00001+zz", "200403011200f00001+ZZ", "200403011200f00001+a b"})),
            0);
  // "." (2E) < "\" (5C); upper case < "_" (5F) < lower case.
  EXPECT_EQ(uploadList, (QStringList{L("\\BB"), L("\\_x"), L("\\aa.txt"), L("\\aa\\"), L("\\bb")}));
  EXPECT_EQ(deleteList, (QStringList{L("\\ZZ"), L("\\a b"), L("\\zz")}));
  // The entry lists keep file order.
  EXPECT_EQ(Paths(localEntries),
            (QStringList{L("\\bb"), L("\\aa\\"), L("\\aa.txt"), L("\\BB"), L("\\_x")}));
}

TEST_F(CompareTest, OneCharacterNamesAreEntriesAtTheTopAndDeeper) {
  ASSERT_EQ(Compare(Lines({"200403011200f00001+x", "200403011200f00001+xy", "200403011200d00000+a",
                           "200403011200f00001|+b", "200403011200d00000|+c", "200403011200f00000||+d"}),
                    Lines({"200403011200f00001+x"})),
            0);
  EXPECT_EQ(Paths(localEntries),
            (QStringList{L("\\x"), L("\\xy"), L("\\a\\"), L("\\a\\b"), L("\\a\\c\\"), L("\\a\\c\\d")}));
  EXPECT_EQ(uploadList,
            (QStringList{L("\\a\\"), L("\\a\\b"), L("\\a\\c\\"), L("\\a\\c\\d"), L("\\xy")}));
  EXPECT_TRUE(deleteList.isEmpty());
}

// Names that would reach outside the tree or hide themselves stop the
// reading of either file, named with their control characters escaped.
TEST_F(CompareTest, UnsafeNamesInEitherIndexStopTheComparison) {
  struct Case {
    const char* line;
    const char* shown;
  };
  const Case cases[] = {
      {"202001010000f00000+..\\..\\victim.txt", "『..\\..\\victim.txt』"},
      {"202001010000f00000+..", "『..』"},
      {"202001010000d00000+.", "『.』"},
      {"202001010000f00000|+..", "『..』"},
      {"202001010000f00000+../x", "『../x』"},
      {"202001010000f00000+/etc/passwd", "『/etc/passwd』"},
      {"202001010000f00000+C:\\Windows\\x", "『C:\\Windows\\x』"},
      {"202001010000f00000+C:x", "『C:x』"},
      {"202001010000f00000+\\\\srv\\share\\x", "『\\\\srv\\share\\x』"},
      {"202001010000f00000+a\x1b[2Jb", "『a\\x1B[2Jb』"},
      {"202001010000f00000+tab\there", "『tab\\x09here』"},
  };
  for (const Case& c : cases) {
    for (int side = 0; side < 2; ++side) {
      SCOPED_TRACE(std::string(c.line) + (side == 0 ? " local" : " server"));
      boxes.Clear();
      const QStringList bad = Lines({"200403011200f00001+ok.txt", c.line});
      const QStringList good = Lines({"200403011200f00001+ok.txt"});
      EXPECT_EQ(side == 0 ? Compare(bad, good) : Compare(good, bad), -9);
      ASSERT_EQ(boxes.Shown().size(), 1u);
      EXPECT_TRUE(boxes.Shown()[0].text.contains(L(c.shown))) << boxes.Shown()[0].text.toStdString();
      EXPECT_TRUE(localEntries.isEmpty() && serverEntries.isEmpty() && uploadList.isEmpty() &&
                  deleteList.isEmpty());
    }
  }
}

class CurrentProfileTest : public CompareTest {
 protected:
  lmtest::CurrentProfileScope scope{tree.Path(), 2};
};

TEST_F(CurrentProfileTest, FindsTheIndexFileOfEitherScriptLayout) {
  Write(QStringLiteral("indexserver.fet"), Lines({"200403011200f00001+server.txt"}));
  // Regular: DAT in the directory named after the script (found in any case).
  tree.WriteFile(QStringLiteral("scripts/sample.ugu"), "ugu");
  tree.WriteFile(QStringLiteral("scripts/Sample/dat/mio00.euu"), "mio");
  Write(QStringLiteral("scripts/Sample/dat/index.fet"), Lines({"200403011200f00001+regular.txt"}));
  // Non-regular: DAT beside the script information file.
  tree.WriteFile(QStringLiteral("other/beside.ugu"), "ugu");
  tree.WriteFile(QStringLiteral("other/DAT/mio00.euu"), "mio");
  Write(QStringLiteral("other/DAT/INDEX.FET"), Lines({"200403011200f00001+beside.txt"}));

  struct Case {
    const char* ugu;
    const char* localPath;
  } cases[] = {{"scripts/sample.ugu", "\\regular.txt"}, {"other/beside.ugu", "\\beside.txt"}};
  for (const Case& c : cases) {
    scope.Current().ugu = tree.Path(L(c.ugu));
    ASSERT_EQ(CompareCurrentProfile(), 0) << c.ugu;
    EXPECT_EQ(Paths(localEntries), QStringList{L(c.localPath)});
    EXPECT_EQ(deleteList, QStringList{L("\\server.txt")});
  }
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CurrentProfileTest, AMissingFileGivesBothMessages) {
  tree.WriteFile(QStringLiteral("scripts/sample.ugu"), "ugu");
  scope.Current().ugu = tree.Path(QStringLiteral("scripts/sample.ugu"));
  EXPECT_EQ(CompareCurrentProfile(), -9);
  EXPECT_EQ(boxes.Texts(), (QStringList{QStringLiteral("ローカルのの更新定義ファイルが存在しません。"),
                                        QStringLiteral("更新定義ファイルが存在しません。")}));
  ASSERT_EQ(boxes.Shown().size(), 2u);
  EXPECT_EQ(boxes.Shown()[1].style, 0);
  EXPECT_EQ(boxes.Shown()[1].title, QStringLiteral("Loftmark"));
}

// ---- against index files written by our own writer ----

class NullView final : public IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

void WriteIndex(const QString& datDir) {
  NullView view;
  ASSERT_EQ(WriteIndexFiles(datDir + QLatin1Char('/'), QStringLiteral("2004 3 1 9 0 "), 1, view), 0);
}

TEST_F(CompareTest, OwnWriterOutputAgainstAModifiedCopy) {
  const QDateTime old(QDate(2004, 2, 1), QTime(10, 0), Qt::LocalTime);
  const QDateTime later(QDate(2004, 3, 1), QTime(10, 0), Qt::LocalTime);
  const QStringList files{"dat/al/b/c/deep.txt", "dat/al/z.txt", "dat/img/title.bmp",
                          "dat/img.txt", "dat/mio00.euu", "dat/gone.txt", "dat/CONVERT.EXA"};
  for (const QString& f : files) tree.WriteFile(f, QByteArray(1500, 'x'));
  tree.MakeDir(QStringLiteral("dat/empty"));
  for (const QString& e : QStringList{"dat/al/b/c/deep.txt", "dat/al/b/c", "dat/al/b",
                                      "dat/al/z.txt", "dat/al", "dat/img/title.bmp", "dat/img",
                                      "dat/img.txt", "dat/mio00.euu", "dat/gone.txt",
                                      "dat/CONVERT.EXA", "dat/empty"})
    tree.SetModified(e, old);
  WriteIndex(tree.Path(QStringLiteral("dat")));
  const QString serverCopy = tree.Path(QStringLiteral("indexserver.fet"));
  ASSERT_TRUE(QFile::copy(tree.Path(QStringLiteral("dat/index.fet")), serverCopy));

  // The author changes the tree: one file grows, one is new deep down, one is gone.
  tree.WriteFile(QStringLiteral("dat/mio00.euu"), QByteArray(5000, 'y'));
  tree.WriteFile(QStringLiteral("dat/al/b/c/new.txt"), QByteArray(10, 'n'));
  ASSERT_TRUE(QFile::remove(tree.Path(QStringLiteral("dat/gone.txt"))));
  for (const QString& e : QStringList{"dat/mio00.euu", "dat/al/b/c/new.txt"}) tree.SetModified(e, later);
  tree.SetModified(QStringLiteral("dat/al/b/c"), old);
  tree.SetModified(QStringLiteral("dat"), old);
  WriteIndex(tree.Path(QStringLiteral("dat")));

  ASSERT_EQ(CompareIndexFiles(tree.Path(QStringLiteral("dat/index.fet")), serverCopy), 0);
  EXPECT_TRUE(boxes.Shown().empty());
  // Every rebuilt path is the entry's true place in the tree, also after the
  // drop from \\al\\b\\c\\new.txt (three marks) to \\al\\z.txt (one mark).
  EXPECT_EQ(Paths(localEntries),
            (QStringList{L("\\al\\"), L("\\al\\b\\"), L("\\al\\b\\c\\"), L("\\al\\b\\c\\deep.txt"),
                         L("\\al\\b\\c\\new.txt"), L("\\al\\z.txt"), L("\\empty\\"),
                         L("\\img\\"), L("\\img\\title.bmp"), L("\\img.txt"), L("\\mio00.euu"),
                         L("\\CONVERT.EXA")}));
  EXPECT_EQ(uploadList, (QStringList{L("\\al\\b\\c\\new.txt"), L("\\mio00.euu")}));
  EXPECT_EQ(deleteList, QStringList{L("\\gone.txt")});
}

}  // namespace

namespace {

// Trees whose names share prefixes, one-character names, empty files,
// Shift-JIS names whose second byte is 0x5C and blanks: the index written by
// our writer reads back as exactly the tree's own paths.
TEST_F(CompareTest, OwnWriterOutputReadsBackAsTheTruePaths) {
  struct Case {
    const char* name;
    std::vector<const char*> files;  // a trailing "/" makes an empty folder
  };
  const Case cases[] = {
      {"se and se2", {"se/a.wav", "se2/a.wav"}},
      {"img and img 2", {"img/title.bmp", "img 2/title.bmp", "img.txt"}},
      {"A and A-B", {"A/x.txt", "A-B/y.txt", "A-B/A/z"}},
      {"x and x.y", {"x/in.txt", "x.y", "x/x.y/deep"}},
      {"one character", {"a", "b/c", "b/d/e", "f/"}},
      {"empty files", {"empty", "sub/empty", "sub/"}},
      {"Shift-JIS 0x5C", {"表/ソ.txt", "表 2/表", "ソ/a"}},
      {"blanks", {"a b/c d", "a b c/e", "a/ f", " lead/x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempTree t;
    QStringList want;
    for (const char* f : c.files) {
      QString rel = QString::fromUtf8(f);
      if (rel.endsWith(QLatin1Char('/'))) {
        t.MakeDir(QStringLiteral("dat/") + rel);
      } else {
        t.WriteFile(QStringLiteral("dat/") + rel, rel.contains(QStringLiteral("empty")) ? QByteArray() : QByteArray("x"));
      }
      // Every level of the path is an entry: folders end with "\".
      const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
      QString path = QStringLiteral("\\");
      for (qsizetype i = 0; i < parts.size(); ++i) {
        path += parts[i];
        const bool folder = i + 1 < parts.size() || rel.endsWith(QLatin1Char('/'));
        if (folder) path += QLatin1Char('\\');
        if (!want.contains(path)) want << path;
      }
    }
    WriteIndex(t.Path(QStringLiteral("dat")));
    boxes.Clear();
    ASSERT_TRUE(ReadIndexFile(t.Path(QStringLiteral("dat/index.fet")), 0));
    QStringList got = Paths(localEntries);
    got.sort();
    want.sort();
    EXPECT_EQ(got, want);
    EXPECT_TRUE(boxes.Shown().empty());
  }
}

}  // namespace
