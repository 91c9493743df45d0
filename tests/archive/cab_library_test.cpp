// Cab32.DLL: packing with the command of the script-package build, listing
// and checking cabinets. Archives are read back by cabextract and gcab.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "archive/archiver_wrapper.h"
#include "archive/common/archiver_api.h"
#include "archive/common/result_codes.h"
#include "archiver_test_support.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/cfile.h"
#include "util/cp932/cp932.h"

// libgcab 1.5 leaks its inflate state when it unpacks certain cabinets (the
// full archive check); the leak is inside the library, not in Cab32.DLL.
// Sanitized runs of this program ignore leaks that come from it (full stacks
// are needed to see the library's frames below glib's allocator).
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libgcab-1.0.so\n"; }

namespace {

using lmtest::BinDir;
using lmtest::RunTool;
using lmtest::TreeFiles;

class CabLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lmtest::HaveLibrary("Cab32.DLL")) << "Cab32.DLL is not built in " << LM_BIN_DIR;
  }

  // The script-package command: "-a -r " + cab + " " + S(W) + " *.*".
  static QString PackCommand(const QString& cab, const QString& workDir) {
    const lm::cFile f;
    return QStringLiteral("-a -r ") + cab + QLatin1Char(' ') + f.GetDosShortPathName(workDir) +
           QStringLiteral(" *.*");
  }

  // Every listed member as "dir\name" (no leading "\" for the top level).
  static QStringList ListedNames(lm::cArchiver& arc, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
      const QString path = arc.FilePath(int16_t(i));
      names << (path == QStringLiteral("\\") ? QString() : path) + arc.FileName(int16_t(i));
    }
    return names;
  }

  lmtest::ProgramDirScope scope_{BinDir()};
  lmtest::ScriptedMessageBox boxes_;
  lmtest::TempTree tree_;
};

// A script tree as the LZH unpacking leaves it in the work directory.
void FillScriptTree(lmtest::TempTree& tree, const QString& root) {
  QByteArray binary;
  for (int i = 0; i < 70000; ++i) binary.append(char((i * 7919) >> 3));
  tree.WriteFile(root + QStringLiteral("/install.txt"), "type,script\r\nname,テスト\r\n");
  tree.WriteFile(root + QStringLiteral("/SAMPLE/sample.ugu"), "[persona]\r\n");
  tree.WriteFile(root + QStringLiteral("/SAMPLE/dat/index.fet"), QByteArray(3000, 'i'));
  tree.WriteFile(root + QStringLiteral("/SAMPLE/dat/画像/背景.bin"), binary);
  tree.WriteFile(root + QStringLiteral("/SAMPLE/dat/画像/深い/階層/空.txt"));  // empty file
  tree.WriteFile(root + QStringLiteral("/SAMPLE/dat/音声/ボイス 01.wav"), QByteArray(123457, 'v'));
}

TEST_F(CabLibraryTest, PackedTreeIsRestoredIdenticallyByCabextractAndGcab) {
  ASSERT_TRUE(lmtest::HaveTool("cabextract") && lmtest::HaveTool("gcab"));
  // Blanks in both the program directory and the archive directory.
  const QString work = tree_.Path(QStringLiteral("prog dir")) + QStringLiteral("\\temp\\");
  FillScriptTree(tree_, QStringLiteral("prog dir/temp"));
  tree_.MakeDir(QStringLiteral("arc dir"));
  const QString cab = lm::cFile().GetDosShortPathName(tree_.Path(QStringLiteral("arc dir"))) +
                      QStringLiteral("\\パッケージ.cab");

  lm::cCAB arc;
  ASSERT_TRUE(arc.Loaded()) << arc.LoadError().toStdString();
  arc.SetCommandLine(PackCommand(cab, work));
  ASSERT_EQ(arc.ReturnCode(), 0) << arc.OutPut().toStdString();
  EXPECT_EQ(arc.ErrString(), QString());
  EXPECT_TRUE(arc.OutPut().contains(QStringLiteral("SAMPLE\\dat\\画像\\背景.bin"))) << arc.OutPut().toStdString();

  const QString cabPath = tree_.Path(QStringLiteral("arc dir/パッケージ.cab"));
  const auto expected = TreeFiles(tree_.Path(QStringLiteral("prog dir/temp")));
  ASSERT_EQ(expected.size(), 6u);

  const QString out1 = tree_.MakeDir(QStringLiteral("by cabextract"));
  auto r = RunTool(QStringLiteral("cabextract"), {QStringLiteral("-q"), QStringLiteral("-d"), out1, cabPath});
  ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
  EXPECT_EQ(TreeFiles(out1), expected);

  const QString out2 = tree_.MakeDir(QStringLiteral("by gcab"));
  r = RunTool(QStringLiteral("gcab"), {QStringLiteral("-x"), cabPath}, out2);
  ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
  EXPECT_EQ(TreeFiles(out2), expected);

  // The cabinet is complete: the full check passes and the listing holds
  // every file with its relative path.
  EXPECT_TRUE(arc.CheckArchive(cabPath));
  const int count = arc.SetArcFile(cabPath);
  ASSERT_EQ(count, 6);
  EXPECT_TRUE(ListedNames(arc, count).contains(QStringLiteral("SAMPLE\\dat\\画像\\深い\\階層\\空.txt")));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(CabLibraryTest, PatternsBaseDirectoryAndRecursionChooseTheMembers) {
  tree_.WriteFile(QStringLiteral("src/a.txt"), "a");
  tree_.WriteFile(QStringLiteral("src/b.dat"), "b");
  tree_.WriteFile(QStringLiteral("src/.hidden"), "h");
  tree_.WriteFile(QStringLiteral("src/サブ/c.txt"), "c");
  tree_.WriteFile(QStringLiteral("src/サブ/孫/d.TXT"), "d");
  const QString src = tree_.Path(QStringLiteral("src")) + QLatin1Char('\\');
  const QString cab = tree_.Path(QStringLiteral("t.cab"));
  struct Case {
    QString tail;
    QStringList names;
  };
  const Case cases[] = {
      {QStringLiteral("-a -r %1 %2 *.*"),
       {".hidden", "a.txt", "b.dat", "サブ\\c.txt", "サブ\\孫\\d.TXT"}},
      {QStringLiteral("-a %1 %2 *.*"), {".hidden", "a.txt", "b.dat"}},
      {QStringLiteral("-a -r %1 %2 *.txt"), {"a.txt", "サブ\\c.txt", "サブ\\孫\\d.TXT"}},
      {QStringLiteral("-a %1 %2 サブ\\*.*"), {"サブ\\c.txt"}},
      {QStringLiteral("-r -a %1 %2 サブ"), {"サブ\\c.txt", "サブ\\孫\\d.TXT"}},
      {QStringLiteral("-a -r %1 %2"), {".hidden", "a.txt", "b.dat", "サブ\\c.txt", "サブ\\孫\\d.TXT"}},
      {QStringLiteral("-a %1 %2 a.txt a.txt b.dat"), {"a.txt", "b.dat"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail.toStdString());
    QFile::remove(cab);
    lm::cCAB arc;
    arc.SetCommandLine(c.tail.arg(cab, src));
    ASSERT_EQ(arc.ReturnCode(), 0) << arc.OutPut().toStdString();
    const int count = arc.SetArcFile(cab);
    EXPECT_EQ(ListedNames(arc, count), c.names);
  }
}

TEST_F(CabLibraryTest, DirectoriesAndTheCabinetAreFoundWhateverTheirLetterCase) {
  tree_.WriteFile(QStringLiteral("Script/Dat/a.txt"), "a");
  tree_.WriteFile(QStringLiteral("Script/Dat/Sub/b.txt"), "b");
  tree_.WriteFile(QStringLiteral("Arc/OUT.CAB"), "older");
  lm::cCAB arc;
  // The base directory, a named directory and the target's directory typed
  // in other letter case; the older cabinet's name differs in case as well.
  arc.SetCommandLine(QStringLiteral("-a -r %1\\arc\\out.cab %1\\SCRIPT\\ dat\\SUB")
                         .arg(tree_.Path()));
  ASSERT_EQ(arc.ReturnCode(), 0) << arc.OutPut().toStdString();
  EXPECT_EQ(QDir(tree_.Path(QStringLiteral("Arc"))).entryList(QDir::Files | QDir::Hidden), QStringList{"OUT.CAB"});
  const QString cab = tree_.Path(QStringLiteral("Arc/OUT.CAB"));
  ASSERT_EQ(arc.SetArcFile(cab), 1);
  EXPECT_EQ(arc.FilePath(0), QStringLiteral("dat\\Sub\\"));
  EXPECT_EQ(arc.FileName(0), QStringLiteral("b.txt"));
}

TEST_F(CabLibraryTest, CabinetInsideThePackedTreeIsNotPackedIntoItself) {
  tree_.WriteFile(QStringLiteral("work/a.txt"), "a");
  const QString cab = tree_.WriteFile(QStringLiteral("work/sub/self.cab"), "an older cabinet");
  lm::cCAB arc;
  arc.SetCommandLine(QStringLiteral("-a -r %1 %2\\ *.*").arg(cab, tree_.Path(QStringLiteral("work"))));
  ASSERT_EQ(arc.ReturnCode(), 0) << arc.OutPut().toStdString();
  const int count = arc.SetArcFile(cab);
  EXPECT_EQ(ListedNames(arc, count), QStringList{"a.txt"});
}

TEST_F(CabLibraryTest, RefusedCommandsReportTheirCodeAndWriteNothing) {
  tree_.WriteFile(QStringLiteral("src/a.txt"), "a");
  tree_.MakeDir(QStringLiteral("empty"));
  const QString src = tree_.Path(QStringLiteral("src")) + QLatin1Char('\\');
  const QString cab = tree_.Path(QStringLiteral("out.cab"));
  struct Case {
    QString command;
    int32_t code;
  };
  const Case cases[] = {
      {QString(), ARC_ERROR_COMMAND_NAME},
      {QStringLiteral("-x ") + cab + QLatin1Char(' ') + src, ARC_ERROR_COMMAND_NAME},
      {QStringLiteral("-a -q ") + cab + QLatin1Char(' ') + src, ARC_ERROR_COMMAND_NAME},
      {QStringLiteral("-a -r"), ARC_ERROR_NOT_ARC_FILE},
      {QStringLiteral("-a -r ") + src, ARC_ERROR_NOT_ARC_FILE},
      {QStringLiteral("-a -r ") + cab + QLatin1Char(' ') + tree_.Path(QStringLiteral("nowhere")) + QStringLiteral("\\ *.*"),
       ARC_ERROR_NOT_EXIST},
      {QStringLiteral("-a -r ") + cab + QLatin1Char(' ') + tree_.Path(QStringLiteral("empty")) + QStringLiteral("\\ *.*"),
       ARC_ERROR_NOT_EXIST},
      {QStringLiteral("-a ") + cab + QLatin1Char(' ') + src + QStringLiteral("*.none"), ARC_ERROR_NOT_EXIST},
      {QStringLiteral("-a -r ") + tree_.Path(QStringLiteral("nodir/out.cab")) + QLatin1Char(' ') + src +
           QStringLiteral(" *.*"),
       ARC_ERROR_TMP_OPEN},
      // The target names a directory: nothing replaces it.
      {QStringLiteral("-a -r ") + tree_.Path(QStringLiteral("empty")) + QLatin1Char(' ') + src + QStringLiteral(" *.*"),
       ARC_ERROR_CANNOT_WRITE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command.toStdString());
    lm::cCAB arc;
    arc.SetCommandLine(c.command);
    EXPECT_EQ(arc.ReturnCode(), c.code) << arc.OutPut().toStdString();
    EXPECT_EQ(arc.ErrString(), lm::cArchiver::ErrStringFor(c.code, QStringLiteral("Cab32.DLL")));
    EXPECT_FALSE(QFile::exists(cab));
  }
  EXPECT_EQ(QDir(tree_.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"empty", "src"}));
}

TEST_F(CabLibraryTest, OlderCabinetIsReplacedOnlyByACompleteOne) {
  tree_.WriteFile(QStringLiteral("src/new.txt"), "new content");
  const QString cab = tree_.WriteFile(QStringLiteral("arc/out.cab"), "an older file of that name");
  const QString src = tree_.Path(QStringLiteral("src")) + QLatin1Char('\\');

  // Failing runs: a missing base directory, a file too large for the format
  // and two files too large together (sparse files, nothing is really
  // written).
  tree_.WriteFile(QStringLiteral("big/huge.bin"));
  ASSERT_TRUE(QFile::resize(tree_.Path(QStringLiteral("big/huge.bin")), qint64(3) << 30));
  for (const char* name : {"pair/half1.bin", "pair/half2.bin"}) {
    tree_.WriteFile(QString::fromLatin1(name));
    ASSERT_TRUE(QFile::resize(tree_.Path(QString::fromLatin1(name)), qint64(1100) << 20));
  }
  struct Case {
    QString base;
    int32_t code;
  };
  const Case failing[] = {{tree_.Path(QStringLiteral("gone")) + QLatin1Char('\\'), ARC_ERROR_NOT_EXIST},
                          {tree_.Path(QStringLiteral("big")) + QLatin1Char('\\'), ARC_ERROR_CANNOT_WRITE},
                          {tree_.Path(QStringLiteral("pair")) + QLatin1Char('\\'), ARC_ERROR_CANNOT_WRITE}};
  for (const Case& c : failing) {
    SCOPED_TRACE(c.base.toStdString());
    lm::cCAB arc;
    arc.SetCommandLine(QStringLiteral("-a -r ") + cab + QLatin1Char(' ') + c.base + QStringLiteral(" *.*"));
    EXPECT_EQ(arc.ReturnCode(), c.code);
    EXPECT_EQ(tree_.ReadFile(QStringLiteral("arc/out.cab")), QByteArray("an older file of that name"));
    EXPECT_EQ(QDir(tree_.Path(QStringLiteral("arc"))).entryList(QDir::Files | QDir::Hidden), QStringList{"out.cab"});
  }

  lm::cCAB arc;
  arc.SetCommandLine(QStringLiteral("-a -r ") + cab + QLatin1Char(' ') + src + QStringLiteral(" *.*"));
  ASSERT_EQ(arc.ReturnCode(), 0);
  EXPECT_TRUE(arc.CheckArchive(cab));
  ASSERT_EQ(arc.SetArcFile(cab), 1);
  EXPECT_EQ(arc.FileName(0), QStringLiteral("new.txt"));
  EXPECT_EQ(QDir(tree_.Path(QStringLiteral("arc"))).entryList(QDir::Files | QDir::Hidden), QStringList{"out.cab"});
}

TEST_F(CabLibraryTest, MembersKeepTheirLocalModificationTime) {
  ASSERT_TRUE(lmtest::HaveTool("cabextract"));
  tree_.WriteFile(QStringLiteral("src/when.txt"), "x");
  tree_.SetModified(QStringLiteral("src/when.txt"), QDateTime(QDate(2021, 3, 4), QTime(5, 6, 8)));
  const QString cab = tree_.Path(QStringLiteral("t.cab"));
  lm::cCAB arc;
  arc.SetCommandLine(QStringLiteral("-a ") + cab + QLatin1Char(' ') + tree_.Path(QStringLiteral("src")) +
                     QStringLiteral("/ *.*"));
  ASSERT_EQ(arc.ReturnCode(), 0);
  ASSERT_EQ(arc.SetArcFile(cab), 1);
  EXPECT_EQ(arc.FileDate(0), QStringLiteral("2021/03/04"));
  EXPECT_EQ(arc.FILETIME(0), QStringLiteral("05:06:08"));
  const auto r = RunTool(QStringLiteral("cabextract"), {QStringLiteral("-l"), cab});
  EXPECT_TRUE(r.out.contains("04.03.2021 05:06:08")) << r.out.toStdString();
}

TEST_F(CabLibraryTest, TimesOutsideThePackedDateRangeAreHeldAtItsEnds) {
  ASSERT_TRUE(lmtest::HaveTool("cabextract"));
  tree_.WriteFile(QStringLiteral("src/early.txt"), "1");
  tree_.WriteFile(QStringLiteral("src/late.txt"), "2");
  tree_.SetModified(QStringLiteral("src/early.txt"), QDateTime(QDate(1970, 1, 2), QTime(3, 4, 6)));
  tree_.SetModified(QStringLiteral("src/late.txt"), QDateTime(QDate(2150, 6, 7), QTime(8, 9, 10)));
  const QString cab = tree_.Path(QStringLiteral("t.cab"));
  lm::cCAB arc;
  arc.SetCommandLine(QStringLiteral("-a ") + cab + QLatin1Char(' ') + tree_.Path(QStringLiteral("src")) +
                     QStringLiteral("/ *.*"));
  ASSERT_EQ(arc.ReturnCode(), 0);
  ASSERT_EQ(arc.SetArcFile(cab), 2);
  EXPECT_EQ(arc.FileDate(0) + QLatin1Char(' ') + arc.FILETIME(0), QStringLiteral("1980/01/01 00:00:00"));
  EXPECT_EQ(arc.FileDate(1) + QLatin1Char(' ') + arc.FILETIME(1), QStringLiteral("2107/12/31 23:59:58"));
  const auto r = RunTool(QStringLiteral("cabextract"), {QStringLiteral("-l"), cab});
  EXPECT_TRUE(r.out.contains("01.01.1980 00:00:00 | early.txt")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("31.12.2107 23:59:58 | late.txt")) << r.out.toStdString();
}

TEST_F(CabLibraryTest, ListsACabinetMadeByGcab) {
  ASSERT_TRUE(lmtest::HaveTool("gcab") && lmtest::HaveTool("cabextract"));
  tree_.WriteFile(QStringLiteral("in/top.txt"), QByteArray(12345, 't'));
  tree_.WriteFile(QStringLiteral("in/docs/説明.txt"), QByteArray(1234567, 'd'));
  tree_.SetModified(QStringLiteral("in/top.txt"), QDateTime(QDate(2019, 12, 31), QTime(23, 59, 58)));
  const QString cab = tree_.Path(QStringLiteral("gcab.cab"));
  auto r = RunTool(QStringLiteral("gcab"),
                   {QStringLiteral("-c"), QStringLiteral("-z"), cab, QStringLiteral("top.txt"),
                    QStringLiteral("docs/説明.txt")},
                   tree_.Path(QStringLiteral("in")));
  ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();

  lm::cCAB arc;
  ASSERT_EQ(arc.SetArcFile(cab), 2);
  ASSERT_EQ(arc.fileList().size(), 2u);
  EXPECT_EQ(arc.FileName(0), QStringLiteral("top.txt"));
  EXPECT_EQ(arc.FilePath(0), QStringLiteral("\\"));
  EXPECT_EQ(arc.FileName(1), QStringLiteral("説明.txt"));
  EXPECT_EQ(arc.FilePath(1), QStringLiteral("docs\\"));
  EXPECT_EQ(arc.FileOriginal(0), lmtest::LocaleNumber("12,345"));
  EXPECT_EQ(arc.FileOriginal(1), lmtest::LocaleNumber("1,234,567"));
  // The date and time as stored (gcab stores UTC, whatever the local zone),
  // the same as cabextract reads them.
  r = RunTool(QStringLiteral("cabextract"), {QStringLiteral("-l"), cab});
  const QString listing = QString::fromUtf8(r.out);
  const QString stamp = arc.FileDate(0).mid(8, 2) + QLatin1Char('.') + arc.FileDate(0).mid(5, 2) + QLatin1Char('.') +
                        arc.FileDate(0).left(4) + QLatin1Char(' ') + arc.FILETIME(0) + QStringLiteral(" | top.txt");
  EXPECT_TRUE(listing.contains(stamp)) << stamp.toStdString() << "\n" << listing.toStdString();
  EXPECT_TRUE(arc.FileDate(0) == QStringLiteral("2019/12/31") || arc.FileDate(0) == QStringLiteral("2020/01/01"))
      << arc.FileDate(0).toStdString();
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(arc.FileType(int16_t(i)), QStringLiteral("MSZIP"));
    EXPECT_EQ(arc.FileCRC(int16_t(i)), QStringLiteral("0000"));  // the format keeps no member checksum
    EXPECT_FALSE(arc.FilePacked(int16_t(i)).isEmpty());
    EXPECT_TRUE(arc.FileRatio(int16_t(i)).endsWith(QLatin1Char('%')));
    EXPECT_EQ(arc.FileAttr(int16_t(i)).size(), 4);
  }
  // Repetitive data packs well: the ratio is well below 100%.
  EXPECT_LT(arc.FileRatio(1).chopped(1).toDouble(), 10.0) << arc.FileRatio(1).toStdString();
}

TEST_F(CabLibraryTest, ListsHandMadeCabinetsWithAnsiAndUtf8Names) {
  std::string sjis;
  ASSERT_TRUE(cp932::FromUtf8("日本\\語.txt", sjis));
  const QByteArray cabBytes = lmtest::MakeStoredCab({
      {QByteArray::fromStdString(sjis), "abc", 0x5821, 0x6000, 0x21},      // 2024-01-01 12:00:00, read-only
      {QStringLiteral("ユニ/コード.txt").toUtf8(), "defg", 0x4C8F, 0x8C5D, 0xA6},  // UTF-8 flag, hidden, system
      {"root.txt", QByteArray(), 0x0021, 0x0000, 0x00},
  });
  const QString cab = tree_.WriteFile(QStringLiteral("hand.cab"), cabBytes);
  lm::cCAB arc;
  ASSERT_EQ(arc.SetArcFile(cab), 3);
  struct Row {
    const char* name;
    const char* path;
    const char* original;
    const char* date;
    const char* time;
    const char* attr;
  };
  const Row rows[] = {
      {"語.txt", "日本\\", "3", "2024/01/01", "12:00:00", "r--a"},
      {"コード.txt", "ユニ\\", "4", "2018/04/15", "17:34:58", "-hsa"},
      {"root.txt", "\\", "", "1980/01/01", "00:00:00", "----"},
  };
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Row& row = rows[i];
    EXPECT_EQ(arc.FileName(int16_t(i)), QString::fromUtf8(row.name));
    EXPECT_EQ(arc.FilePath(int16_t(i)), QString::fromUtf8(row.path));
    EXPECT_EQ(arc.FileOriginal(int16_t(i)), QString::fromUtf8(row.original));
    EXPECT_EQ(arc.FileDate(int16_t(i)), QString::fromUtf8(row.date));
    EXPECT_EQ(arc.FILETIME(int16_t(i)), QString::fromUtf8(row.time));
    EXPECT_EQ(arc.FileAttr(int16_t(i)), QString::fromUtf8(row.attr));
    EXPECT_EQ(arc.FileType(int16_t(i)), QStringLiteral("NONE"));
  }
}

TEST_F(CabLibraryTest, StoredMemberIsListedAtItsFullSize) {
  // One uncompressed member of 60 000 bytes: its data block holds the bytes
  // and an 8-byte block header, so packed and unpacked sizes nearly agree.
  const QString cab = tree_.WriteFile(QStringLiteral("stored.cab"),
                                      lmtest::MakeStoredCab({{"big.bin", QByteArray(60000, 'x'), 0x21, 0, 0x20}}));
  lm::cCAB arc;
  ASSERT_EQ(arc.SetArcFile(cab), 1);
  EXPECT_EQ(arc.FileOriginal(0), lmtest::LocaleNumber("60,000"));
  EXPECT_EQ(arc.FilePacked(0), lmtest::LocaleNumber("60,008"));
  EXPECT_EQ(arc.FileRatio(0), lmtest::LocaleNumber("100.0%"));
}

TEST_F(CabLibraryTest, CheckFindsDamageThatTheHeadersDoNotShow) {
  tree_.WriteFile(QStringLiteral("src/data.txt"), QByteArray(50000, 'q') + QByteArray("tail", 4));
  const QString cab = tree_.Path(QStringLiteral("good.cab"));
  lm::cCAB arc;
  arc.SetCommandLine(QStringLiteral("-a ") + cab + QLatin1Char(' ') + tree_.Path(QStringLiteral("src")) +
                     QStringLiteral("\\ *.*"));
  ASSERT_EQ(arc.ReturnCode(), 0);
  EXPECT_EQ(arc.CheckMode(), 4);
  EXPECT_TRUE(arc.CheckArchive(cab));

  QByteArray bytes = tree_.ReadFile(QStringLiteral("good.cab"));
  QByteArray damaged = bytes;
  damaged[damaged.size() - 20] = char(damaged[damaged.size() - 20] ^ 0x5A);  // inside the data block
  const QString bad = tree_.WriteFile(QStringLiteral("damaged.cab"), damaged);
  EXPECT_FALSE(arc.CheckArchive(bad));
  arc.SetCheckMode(0);  // headers only
  EXPECT_TRUE(arc.CheckArchive(bad));
  arc.SetCheckMode(4);

  const QString cut = tree_.WriteFile(QStringLiteral("cut.cab"), bytes.left(30));
  const QString text = tree_.WriteFile(QStringLiteral("text.cab"), "not a cabinet at all");
  for (const QString& p : {cut, text, tree_.Path(QStringLiteral("missing.cab"))}) {
    SCOPED_TRACE(p.toStdString());
    EXPECT_FALSE(arc.CheckArchive(p));
    EXPECT_EQ(arc.SetArcFile(p), 0);
  }
  EXPECT_EQ(boxes_.Shown().size(), 3u);
}

TEST_F(CabLibraryTest, EmptyCabinetListsNothing) {
  const QString cab = tree_.WriteFile(QStringLiteral("empty.cab"), lmtest::MakeStoredCab({}));
  lm::cCAB arc;
  EXPECT_EQ(arc.SetArcFile(cab), 0);
  ASSERT_EQ(arc.fileList().size(), 1u);
  EXPECT_EQ(arc.FileName(0), QString());
  EXPECT_EQ(arc.FilePath(0), QString());
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(CabLibraryTest, QueriesAndModes) {
  lm::cCAB arc;
  ASSERT_TRUE(arc.Loaded());
  EXPECT_EQ(arc.Version(), 100);
  EXPECT_FALSE(arc.Running());
  for (bool on : {true, false}) {
    arc.SetBackGroundMode(on);
    EXPECT_EQ(arc.BackGroundMode(), on);
    arc.SetCursorMode(on);
    EXPECT_EQ(arc.CursorMode(), on);
  }
  // The library has no options to offer: nothing chosen, the text kept.
  QString option = QStringLiteral("-r");
  EXPECT_EQ(arc.ConfigDialog(option, 1), QString());
  EXPECT_EQ(arc.ReturnCode(), 0);
  EXPECT_TRUE(option.startsWith(QStringLiteral("-r")));
}

// The C interface directly: the output buffer is filled up to its size and
// never ends in half a double-byte character; the find functions filter by
// pattern.
class CabApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lmtest::HaveLibrary("Cab32.DLL"));
    lib_ = ::dlopen((BinDir() + QStringLiteral("/Cab32.DLL")).toUtf8().constData(), RTLD_NOW | RTLD_NODELETE);
    ASSERT_NE(lib_, nullptr) << ::dlerror();
    cab_ = reinterpret_cast<decltype(cab_)>(::dlsym(lib_, "Cab"));
    open_ = reinterpret_cast<decltype(open_)>(::dlsym(lib_, "CabOpenArchive"));
    first_ = reinterpret_cast<decltype(first_)>(::dlsym(lib_, "CabFindFirst"));
    next_ = reinterpret_cast<decltype(next_)>(::dlsym(lib_, "CabFindNext"));
    close_ = reinterpret_cast<decltype(close_)>(::dlsym(lib_, "CabCloseArchive"));
    ASSERT_TRUE(cab_ && open_ && first_ && next_ && close_);
  }
  void TearDown() override {
    if (lib_) ::dlclose(lib_);
  }

  std::string Run(const QString& command, uint32_t size, int* rc) {
    std::string sjis;
    EXPECT_TRUE(cp932::FromUtf8(command.toStdString(), sjis));
    std::string buffer(size + 8, '#');
    *rc = cab_(nullptr, sjis.c_str(), size ? buffer.data() : nullptr, size);
    if (size == 0) return {};
    EXPECT_NE(buffer.find('\0'), std::string::npos);
    EXPECT_LT(buffer.find('\0'), size);
    EXPECT_EQ(buffer.substr(size), std::string(8, '#'));  // nothing written past the size
    return buffer.substr(0, buffer.find('\0'));
  }

  void* lib_ = nullptr;
  int (*cab_)(ARC_HWND, const char*, char*, uint32_t) = nullptr;
  HARC (*open_)(ARC_HWND, const char*, uint32_t) = nullptr;
  int (*first_)(HARC, const char*, ArchiveInfo*) = nullptr;
  int (*next_)(HARC, ArchiveInfo*) = nullptr;
  int (*close_)(HARC) = nullptr;
  lmtest::TempTree tree_;
};

TEST_F(CabApiTest, OutputIsCutAtTheBufferSizeBetweenCharacters) {
  tree_.WriteFile(QStringLiteral("src/漢字の名前です.txt"), "1");
  tree_.WriteFile(QStringLiteral("src/ｶﾀｶﾅとかな.txt"), "2");
  const QString command = QStringLiteral("-a %1 %2\\ *.*").arg(tree_.Path(QStringLiteral("t.cab")),
                                                                tree_.Path(QStringLiteral("src")));
  int rc = -1;
  const std::string full = Run(command, 20800, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_GT(full.size(), 40u);
  for (uint32_t size = 0; size <= full.size() + 1; ++size) {
    SCOPED_TRACE(size);
    const std::string part = Run(command, size, &rc);
    ASSERT_EQ(rc, 0);
    if (size == 0) continue;
    EXPECT_LE(part.size(), size - 1);
    EXPECT_EQ(full.compare(0, part.size(), part), 0);
    EXPECT_GE(part.size() + 2, std::min<size_t>(size - 1, full.size()));  // at most one character short
    std::string utf8;
    EXPECT_TRUE(cp932::ToUtf8(part, utf8));  // no half character at the end
  }
}

TEST_F(CabApiTest, FindFunctionsFilterByPatternAndRejectUnknownHandles) {
  tree_.WriteFile(QStringLiteral("src/a.txt"), "1");
  tree_.WriteFile(QStringLiteral("src/b.dat"), "2");
  tree_.WriteFile(QStringLiteral("src/sub/c.txt"), "3");
  int rc = -1;
  const QString cab = tree_.Path(QStringLiteral("t.cab"));
  Run(QStringLiteral("-a -r %1 %2\\ *.*").arg(cab, tree_.Path(QStringLiteral("src"))), 1000, &rc);
  ASSERT_EQ(rc, 0);
  HARC h = open_(nullptr, cab.toUtf8().constData(), 0);
  ASSERT_NE(h, nullptr);
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const Case cases[] = {{"*.*", {"a.txt", "b.dat", "sub\\c.txt"}},
                        {"*.txt", {"a.txt", "sub\\c.txt"}},
                        {"sub\\*.*", {"sub\\c.txt"}},
                        {"*.none", {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<std::string> names;
    ArchiveInfo info{};
    for (int r = first_(h, c.pattern, &info); r == 0; r = next_(h, &info)) names.push_back(info.fileName);
    EXPECT_EQ(names, c.names);
  }
  EXPECT_EQ(close_(h), 0);
  ArchiveInfo info{};
  EXPECT_NE(first_(h, "*.*", &info), 0);  // closed handle
  EXPECT_NE(close_(h), 0);
  EXPECT_EQ(open_(nullptr, tree_.Path(QStringLiteral("src/a.txt")).toUtf8().constData(), 0), nullptr);
}

TEST_F(CabApiTest, ASecondCommandWhileOneRunsIsRefusedAsBusy) {
  auto running = reinterpret_cast<int (*)()>(::dlsym(lib_, "CabGetRunning"));
  ASSERT_NE(running, nullptr);
  EXPECT_EQ(running(), 0);
  // Enough data that packing takes a noticeable while.
  QByteArray noise;
  uint32_t seed = 7;
  for (int i = 0; i < (4 << 20); ++i) {
    seed = seed * 1103515245u + 12345u;
    noise.append(char(seed >> 16));
  }
  for (int i = 0; i < 6; ++i) tree_.WriteFile(QStringLiteral("src/big%1.bin").arg(i), noise);
  const QString command = QStringLiteral("-a %1 %2\\ *.*").arg(tree_.Path(QStringLiteral("big.cab")),
                                                                tree_.Path(QStringLiteral("src")));
  std::atomic<int> firstRc{-1};
  std::thread first([&] {
    int rc = -1;
    Run(command, 1000, &rc);
    firstRc = rc;
  });
  bool seenRunning = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!seenRunning && firstRc.load() == -1 && std::chrono::steady_clock::now() < deadline) {
    seenRunning = running() != 0;
    if (!seenRunning) std::this_thread::yield();
  }
  int secondRc = -1;
  if (seenRunning) Run(QStringLiteral("-a %1 %2\\ *.*").arg(tree_.Path(QStringLiteral("other.cab")),
                                                           tree_.Path(QStringLiteral("src"))),
                       1000, &secondRc);
  first.join();
  ASSERT_TRUE(seenRunning) << "the first command ended before it was seen running";
  EXPECT_EQ(secondRc, ARC_ERROR_ALREADY_RUNNING);
  EXPECT_EQ(firstRc.load(), 0);
  EXPECT_EQ(running(), 0);
  EXPECT_FALSE(QFile::exists(tree_.Path(QStringLiteral("other.cab"))));
}

TEST_F(CabApiTest, PatternsMatchShiftJisNamesWhoseSecondByteIsABackslash) {
  // ソ and 表 end in the byte 0x5C, the code of "\\".
  auto sjis = [](const char* utf8) {
    std::string out;
    EXPECT_TRUE(cp932::FromUtf8(utf8, out));
    return QByteArray::fromStdString(out);
  };
  const QString cab = tree_.WriteFile(QStringLiteral("sjis.cab"),
                                      lmtest::MakeStoredCab({{sjis("ソフト\\表.txt"), "1", 0x21, 0, 0x20},
                                                             {sjis("ソ.dat"), "2", 0x21, 0, 0x20},
                                                             {sjis("表\\ソ"), "3", 0x21, 0, 0x20}}));
  HARC h = open_(nullptr, cab.toUtf8().constData(), 0);
  ASSERT_NE(h, nullptr);
  struct Case {
    const char* pattern;  // UTF-8, passed in code page 932
    std::vector<std::string> names;
  };
  const Case cases[] = {{"*.txt", {"ソフト\\表.txt"}},
                        {"ソフト\\*.*", {"ソフト\\表.txt"}},
                        {"ソ*", {"ソ.dat", "表\\ソ"}},
                        {"表\\*", {"表\\ソ"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<std::string> names;
    ArchiveInfo info{};
    for (int r = first_(h, sjis(c.pattern).constData(), &info); r == 0; r = next_(h, &info)) {
      std::string utf8;
      EXPECT_TRUE(cp932::ToUtf8(info.fileName, utf8));
      names.push_back(utf8);
    }
    EXPECT_EQ(names, c.names);
  }
  close_(h);

  // Through the wrapper the directory and file parts split at real separators.
  lmtest::ScriptedMessageBox boxes;
  lmtest::ProgramDirScope scope(BinDir());
  lm::cCAB arc;
  ASSERT_EQ(arc.SetArcFile(cab), 3);
  EXPECT_EQ(arc.FilePath(0), QStringLiteral("ソフト\\"));
  EXPECT_EQ(arc.FileName(0), QStringLiteral("表.txt"));
  EXPECT_EQ(arc.FilePath(1), QStringLiteral("\\"));
  EXPECT_EQ(arc.FileName(1), QStringLiteral("ソ.dat"));
  EXPECT_EQ(arc.FilePath(2), QStringLiteral("表\\"));
  EXPECT_EQ(arc.FileName(2), QStringLiteral("ソ"));
}

}  // namespace

namespace {

// Both libraries' command entry points answer a missing or undecodable
// command line alike, with a report in the caller's buffer.
TEST(LibraryEntryPoints, RefuseMissingAndUndecodableCommandLinesAlike) {
  struct Case {
    const char* label;
    const char* line;
    const char* report;
  } cases[] = {
      {"missing", nullptr, "no command line\r\n"},
      {"a lead byte without its second byte", "l x.lzh \x81", "the command line is not valid Shift-JIS\r\n"},
  };
  for (const auto& [file, entry] : {std::pair{"UnLHA32.DLL", "Unlha"}, std::pair{"Cab32.DLL", "Cab"}}) {
    SCOPED_TRACE(file);
    void* lib = ::dlopen((BinDir() + QLatin1Char('/') + QLatin1String(file)).toUtf8().constData(), RTLD_NOW);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    auto run = reinterpret_cast<int (*)(ARC_HWND, const char*, char*, uint32_t)>(::dlsym(lib, entry));
    ASSERT_NE(run, nullptr);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.label);
      char output[256];
      std::memset(output, '#', sizeof output);
      EXPECT_EQ(run(nullptr, c.line, output, sizeof output), ARC_ERROR_COMMAND_NAME);
      EXPECT_STREQ(output, c.report);
    }
    ::dlclose(lib);
  }
}

}  // namespace
