// cUnLHA and cCAB: the ErrString table, finding and loading the libraries,
// the listing's failure message and limits, and the command lines of the
// archive builds run through both wrappers against the real libraries.
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <stdexcept>

#include "archive/archiver_wrapper.h"
#include "archive/common/result_codes.h"
#include "archiver_test_support.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/cfile.h"
#include "util/message_box.h"

namespace {

using lmtest::BinDir;
using lmtest::RunTool;
using lmtest::TreeFiles;

// Codes whose text does not depend on the library.
const std::pair<int32_t, const char*> kCommonTexts[] = {
    {0x8005, "展開する為のﾃﾞｨｽｸの空きが足りません。"},
    {0x8006, "展開先のﾌｧｲﾙはﾘｰﾄﾞｵﾝﾘｰです。"},
    {0x8007, "ﾕｰｻﾞｰによって展開をｽｷｯﾌﾟされました。"},
    {0x8008, "格納ﾌｧｲﾙの種類がMS-DOSで扱える形式(BINARY 及び TEXT)以外です。"},
    {0x800A, "格納ﾌｧｲﾙにﾊﾟｽﾜｰﾄﾞがかかっています。"},
    {0x800C, "格納ﾌｧｲﾙのﾁｪｯｸｻﾑが合っていません。"},
    {0x800D, "展開時にﾌｧｲﾙを開けませんでした。"},
    {0x800E, "より新しいﾌｧｲﾙが展開先に存在しています。"},
    {0x800F, "ﾌｧｲﾙは解凍先に存在していません。"},
    {0x8010, "ﾌｧｲﾙが展開先に既に存在しています。"},
    {0x8011, "格納ﾌｧｲﾙ数が限界を超えている。処理は正常に行われているが、限界を超えた部分については情報は選られない。"},
    {0x8012, "ﾃﾞｨﾚｸﾄﾘが作成できません。"},
    {0x8013, "展開中に書き込みｴﾗｰが生じました。"},
    {0x8014, "Lzhﾌｧｲﾙのﾊﾌﾏﾝｺｰﾄﾞが壊れています。"},
    {0x8015, "Lzhﾌｧｲﾙのｺﾒﾝﾄﾍｯﾀﾞが壊れています。"},
    {0x8016, "Lzhﾌｧｲﾙのﾍｯﾀﾞのﾁｪｯｸｻﾑが合っていません。"},
    {0x8017, "Lzhﾌｧｲﾙのﾍｯﾀﾞが壊れています。"},
    {0x8018, "Lzhﾌｧｲﾙを開く事が出来ません。"},
    {0x8019, "Lzhﾌｧｲﾙ名の指定がされていません。"},
    {0x801A, "Lzhﾌｧｲﾙの読み込み時に読み込みｴﾗｰが出ました。"},
    {0x801B, "指定されたﾌｧｲﾙはLzhﾌｧｲﾙではありません。"},
    {0x801C, "ｺﾏﾝﾄﾞ指定が間違っています。"},
    {0x801D, "作業用のためのﾋｰﾌﾟﾒﾓﾘが不足しています。"},
    {0x801E, "ｸﾞﾛｰﾊﾞﾙﾒﾓﾘが不足しています。"},
    {0x8020, "ﾕｰｻﾞｰによって解凍を中断されました。"},
    {0x8025, "作業ﾌｧｲﾙがｵｰﾌﾟﾝできません。"},
    // Not in the table: "&H" and the code in upper-case hexadecimal.
    {0, ""},
    {0x8021, "未知のｴﾗｰです。&H8021"},
    {0x8022, "未知のｴﾗｰです。&H8022"},
    {0x8023, "未知のｴﾗｰです。&H8023"},
    {0x8024, "未知のｴﾗｰです。&H8024"},
    {0x8004, "未知のｴﾗｰです。&H8004"},
    {0x8026, "未知のｴﾗｰです。&H8026"},
    {0xABC, "未知のｴﾗｰです。&HABC"},
    {1, "未知のｴﾗｰです。&H1"},
    {-1, "未知のｴﾗｰです。&HFFFFFFFF"},
    {-32763, "未知のｴﾗｰです。&HFFFF8005"},  // 0x8005 read as a negative 16-bit number is no table entry
    {INT32_MIN, "未知のｴﾗｰです。&H80000000"},
};

// The three texts that name the library: LHA wrapper's, then CAB wrapper's.
const std::tuple<int32_t, const char*, const char*> kLibraryTexts[] = {
    {0x8009, "UnLHA32.DLLで扱えない格納ﾓｰﾄﾞで格納されています。", "Cab32.DLLで扱えない格納ﾓｰﾄﾞで格納されています。"},
    {0x800B, "格納ﾌｧｲﾙがUnLHA32.DLLが対応していないﾊﾞｰｼﾞｮﾝの形式です。",
     "格納ﾌｧｲﾙがCab32.DLLが対応していないﾊﾞｰｼﾞｮﾝの形式です。"},
    {0x801F, "既に別のﾌﾟﾛｾｽからUnLHA32.DLLが呼ばれています。", "既に別のﾌﾟﾛｾｽからCab32.DLLが呼ばれています。"},
};

TEST(ArchiverErrString, EveryCodeOfBothWrappers) {
  lmtest::ProgramDirScope scope(BinDir());
  lm::cUnLHA lha;
  lm::cCAB cab;
  for (const auto& [code, text] : kCommonTexts) {
    SCOPED_TRACE(code);
    EXPECT_EQ(lm::cArchiver::ErrStringFor(code, lha.LibraryFile()), QString::fromUtf8(text));
    EXPECT_EQ(lm::cArchiver::ErrStringFor(code, cab.LibraryFile()), QString::fromUtf8(text));
  }
  for (const auto& [code, lhaText, cabText] : kLibraryTexts) {
    SCOPED_TRACE(code);
    EXPECT_EQ(lm::cArchiver::ErrStringFor(code, lha.LibraryFile()), QString::fromUtf8(lhaText));
    EXPECT_EQ(lm::cArchiver::ErrStringFor(code, cab.LibraryFile()), QString::fromUtf8(cabText));
  }
}

TEST(ArchiverErrString, FollowsTheReturnCodeOfTheLastCommand) {
  lmtest::ProgramDirScope scope(BinDir());
  lm::cCAB cab;
  ASSERT_TRUE(cab.Loaded()) << cab.LoadError().toStdString();
  EXPECT_EQ(cab.ReturnCode(), 0);
  EXPECT_EQ(cab.ErrString(), QString());
  cab.SetCommandLine(QStringLiteral("-z nothing"));
  EXPECT_EQ(cab.CommandLine(), QStringLiteral("-z nothing"));
  EXPECT_EQ(cab.ReturnCode(), ARC_ERROR_COMMAND_NAME);
  EXPECT_EQ(cab.ErrString(), QStringLiteral("ｺﾏﾝﾄﾞ指定が間違っています。"));
}

// A program folder of its own for the loading tests.
class ArchiverLoadingTest : public ::testing::Test {
 protected:
  lmtest::TempTree dir_;
  lmtest::ProgramDirScope scope_{dir_.Path()};
  lmtest::ScriptedMessageBox boxes_;
};

// Whatever is wrong with the library, the wrapper says so and calls nothing.
void ExpectUnusable(lm::cArchiver& arc, const QString& why) {
  EXPECT_FALSE(arc.Loaded());
  EXPECT_TRUE(arc.LoadError().contains(arc.LibraryFile())) << arc.LoadError().toStdString();
  EXPECT_TRUE(arc.LoadError().contains(why)) << arc.LoadError().toStdString();
  arc.SetCommandLine(QStringLiteral("a x.lzh y.txt"));
  EXPECT_EQ(arc.ReturnCode(), lm::cArchiver::kLibraryMissing);
  EXPECT_EQ(arc.ErrString(), arc.LoadError());
  EXPECT_EQ(arc.OutPut(), QString());
  EXPECT_EQ(arc.Version(), 0);
  EXPECT_FALSE(arc.Running());
  EXPECT_FALSE(arc.BackGroundMode());
  arc.SetCursorMode(true);
  EXPECT_FALSE(arc.CursorMode());
  EXPECT_FALSE(arc.CheckArchive(QStringLiteral("/x.lzh")));
  QString option = QStringLiteral("opt");
  EXPECT_EQ(arc.ConfigDialog(option, 0), QString());
  EXPECT_EQ(arc.ReturnCode(), lm::cArchiver::kLibraryMissing);
  EXPECT_EQ(arc.SetArcFile(QStringLiteral("/x.lzh")), 0);
  EXPECT_EQ(arc.fileList().size(), 1u);
}

TEST_F(ArchiverLoadingTest, MissingLibraryIsAnErrorTheCallerSees) {
  lm::cUnLHA lha;
  ExpectUnusable(lha, QStringLiteral("見つかりません"));
  lm::cCAB cab;
  ExpectUnusable(cab, QStringLiteral("見つかりません"));
  EXPECT_EQ(boxes_.Shown().size(), 2u);  // the listing's own failure message
}

TEST_F(ArchiverLoadingTest, BrokenOrForeignLibraryIsNotUsed) {
  // Not a shared library at all.
  dir_.WriteFile(QStringLiteral("Cab32.DLL"), "MZ this is no library");
  {
    lm::cCAB cab;
    ExpectUnusable(cab, QStringLiteral("読み込めません"));
  }
  // A real shared library without the archiver functions.
  const QString foreign = lm::cFile().FindOnSearchPath(QStringLiteral("libz.so.1"));
  ASSERT_FALSE(foreign.isEmpty());
  QFile::remove(dir_.Path(QStringLiteral("Cab32.DLL")));
  ASSERT_TRUE(QFile::copy(foreign, dir_.Path(QStringLiteral("Cab32.DLL"))));
  lm::cCAB cab;
  ExpectUnusable(cab, QStringLiteral("読み込めません"));
}

TEST_F(ArchiverLoadingTest, LibraryIsFoundInTheProgramFolderWhateverItsLetterCase) {
  ASSERT_TRUE(lmtest::HaveLibrary("Cab32.DLL")) << "Cab32.DLL not built";
  ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/Cab32.DLL"), dir_.Path(QStringLiteral("cab32.dll"))));
  lm::cCAB cab;
  EXPECT_TRUE(cab.Loaded()) << cab.LoadError().toStdString();
  EXPECT_GT(cab.Version(), 0);
}

class ArchiverListingTest : public ::testing::Test {
 protected:
  lmtest::ProgramDirScope scope_{BinDir()};
  lmtest::ScriptedMessageBox boxes_;
  lmtest::TempTree tree_;
};

TEST_F(ArchiverListingTest, ArchiveThatCannotBeOpenedShowsTheMessage) {
  const QString notArchive = tree_.WriteFile(QStringLiteral("plain.txt"), "hello");
  const QString cases[] = {tree_.Path(QStringLiteral("missing.cab")), notArchive};
  for (const QString& path : cases) {
    SCOPED_TRACE(path.toStdString());
    boxes_.Clear();
    lm::cCAB cab;
    ASSERT_TRUE(cab.Loaded());
    EXPECT_EQ(cab.SetArcFile(path), 0);
    ASSERT_EQ(boxes_.Shown().size(), 1u);
    EXPECT_EQ(boxes_.Shown()[0].text, QStringLiteral("'") + path + QStringLiteral("' のﾊﾝﾄﾞﾙの取得に失敗したのサ") +
                                          QChar(13) + QStringLiteral("ヽ( ´ー｀)丿ﾌｯ"));
    EXPECT_EQ(boxes_.Shown()[0].style, 48);
    EXPECT_EQ(boxes_.Shown()[0].title, QStringLiteral("Loftmark"));
    ASSERT_EQ(cab.fileList().size(), 1u);
    EXPECT_EQ(cab.FileName(0), QString());
    EXPECT_THROW(cab.FileName(1), std::out_of_range);
  }
}

TEST_F(ArchiverListingTest, ANewListingReplacesTheOldOneAndIndexesAreChecked) {
  const QString two = tree_.WriteFile(
      QStringLiteral("two.cab"), lmtest::MakeStoredCab({{"a.txt", "1", 0x21, 0, 0x20}, {"b\\c.txt", "2", 0x21, 0, 0x20}}));
  const QString one = tree_.WriteFile(QStringLiteral("one.cab"), lmtest::MakeStoredCab({{"z.txt", "3", 0x21, 0, 0x20}}));
  lm::cCAB cab;
  ASSERT_EQ(cab.SetArcFile(two), 2);
  EXPECT_EQ(cab.FileName(1), QStringLiteral("c.txt"));
  EXPECT_EQ(cab.FilePath(1), QStringLiteral("b\\"));
  ASSERT_EQ(cab.SetArcFile(one), 1);
  EXPECT_EQ(cab.fileList().size(), 1u);
  EXPECT_EQ(cab.FileName(0), QStringLiteral("z.txt"));
  for (int16_t bad : {int16_t(-1), int16_t(1), int16_t(400)}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(cab.FileName(bad), std::out_of_range);
    EXPECT_THROW(cab.FileCRC(bad), std::out_of_range);
  }
}

TEST(ArchiverLimits, MaxFileCountAbove405IsRefused) {
  lmtest::ProgramDirScope scope(BinDir());
  lm::cCAB cab;
  EXPECT_EQ(cab.MaxFileCount(), 256);
  EXPECT_EQ(cab.CheckMode(), 4);
  EXPECT_TRUE(cab.SetMaxFileCount(405));
  EXPECT_EQ(cab.MaxFileCount(), 405);
  for (int16_t bad : {int16_t(406), int16_t(32767), int16_t(-4), int16_t(-32768)}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(cab.SetMaxFileCount(bad));
    EXPECT_EQ(cab.MaxFileCount(), 405);
  }
  EXPECT_TRUE(cab.SetMaxFileCount(-3));  // the smallest buffer, 80 characters
}

TEST(ArchiverLimits, OutputIsLimitedByMaxFileCount) {
  lmtest::ProgramDirScope scope(BinDir());
  lmtest::TempTree tree;
  for (int i = 0; i < 40; ++i) tree.WriteFile(QStringLiteral("src/ファイル%1.txt").arg(i), "x");
  const QString command = QStringLiteral("-a -r %1 %2\\ *.*").arg(tree.Path(QStringLiteral("t.cab")),
                                                                   tree.Path(QStringLiteral("src")));
  lm::cCAB full;
  full.SetCommandLine(command);
  ASSERT_EQ(full.ReturnCode(), 0);
  ASSERT_GT(full.OutPut().toUtf8().size(), 400);
  lm::cCAB small;
  ASSERT_TRUE(small.SetMaxFileCount(-3));
  small.SetCommandLine(command);
  ASSERT_EQ(small.ReturnCode(), 0);
  EXPECT_FALSE(small.OutPut().isEmpty());
  EXPECT_TRUE(full.OutPut().startsWith(small.OutPut()));
  EXPECT_LT(small.OutPut().size(), 80);
}

TEST(ArchiverTexts, CommandThatShiftJisCannotHoldIsNotPassedOn) {
  lmtest::ProgramDirScope scope(BinDir());
  lmtest::TempTree tree;
  tree.WriteFile(QStringLiteral("src/a.txt"), "x");
  lm::cCAB cab;
  const QString cabPath = tree.Path(QStringLiteral("한국어.cab"));  // Hangul has no code page 932 form
  cab.SetCommandLine(QStringLiteral("-a %1 %2\\ *.*").arg(cabPath, tree.Path(QStringLiteral("src"))));
  EXPECT_EQ(cab.ReturnCode(), ARC_ERROR_COMMAND_NAME);
  EXPECT_TRUE(cab.ErrString().contains(QStringLiteral("Shift-JIS"))) << cab.ErrString().toStdString();
  EXPECT_FALSE(QFile::exists(cabPath));
  EXPECT_EQ(QDir(tree.Path()).entryList(QDir::Files), QStringList());
}

// The command lines of the LZH, self-extracting and script-package builds,
// run through cUnLHA and cCAB against the real libraries.
class ArchiverBuildCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lmtest::HaveLibrary("UnLHA32.DLL")) << "UnLHA32.DLL not built";
    ASSERT_TRUE(lmtest::HaveLibrary("Cab32.DLL"));
  }

  // Runs one command as the builders do; false (with the error text in the
  // test log) when the library reports a failure.
  static bool Run(lm::cArchiver& arc, const QString& command) {
    arc.SetCommandLine(command);
    (void)arc.OutPut();
    EXPECT_EQ(arc.ReturnCode(), 0) << command.toStdString() << "\n" << arc.ErrString().toStdString() << "\n"
                                   << arc.OutPut().toStdString();
    return arc.ReturnCode() == 0;
  }

  QString S(const QString& path) const { return lm::cFile().GetDosShortPathName(path); }

  lmtest::TempTree tree_;
  lmtest::ProgramDirScope scope_{BinDir()};
  lmtest::ScriptedMessageBox boxes_;
};

TEST_F(ArchiverBuildCommandsTest, LzhSfxAndScriptPackageCommands) {
  // Script C:\s\Sample.ugu in the regular layout, the program folder and the
  // archive folder with blanks in their paths.
  tree_.WriteFile(QStringLiteral("s/Sample.ugu"), "[persona]\r\n");
  tree_.WriteFile(QStringLiteral("s/SAMPLE/dat/index.fet"), "2027 1 1 0 0 \r\n");
  tree_.WriteFile(QStringLiteral("s/SAMPLE/dat/画像/背景.txt"), QByteArray(5000, 'b'));
  tree_.WriteFile(QStringLiteral("s/SAMPLE/dat/空.txt"));
  tree_.WriteFile(QStringLiteral("s/SAMPLE/dat/LASTUPDATE"), "x");
  tree_.WriteFile(QStringLiteral("s/SAMPLE/dat/UPDATE.LOG"), "x");
  tree_.WriteFile(QStringLiteral("s/SAMPLE/dat/MIRROR.FET"), "x");
  tree_.WriteFile(QStringLiteral("s/doc/readme.txt"), "read me");
  tree_.WriteFile(QStringLiteral("other/att file.txt"), "attached");
  tree_.WriteFile(QStringLiteral("other/manual/章/手順.txt"), "manual");
  tree_.WriteFile(QStringLiteral("prog dir/install.txt"), "type,script\r\nname,My Script\r\ndirectory,SAMPLE\r\nrefresh,1\r\n");
  tree_.WriteFile(QStringLiteral("prog dir/$"), "$InstallTitle=\xB2\xDD\xBD\xC4\xB0\xD9\x90\xE6\xCC\xAB\xD9\xC0\xDE(&D)\r\n");
  tree_.MakeDir(QStringLiteral("arc dir"));
  const QString D = tree_.Path(QStringLiteral("s")) + QLatin1Char('\\');
  const QString prog = tree_.Path(QStringLiteral("prog dir"));
  const QString dirarc = tree_.Path(QStringLiteral("arc dir"));
  const QString lzh = S(dirarc) + QStringLiteral("\\sample.lzh");

  {
    lm::cUnLHA lha;
    ASSERT_TRUE(lha.Loaded()) << lha.LoadError().toStdString();
    lha.setHwnd(0);
    // Attachments: inside the script's directory, a file outside it (alone,
    // no base directory), a directory outside it (base directory and name).
    ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + S(D) + QStringLiteral(" doc\\readme.txt -xr2")));
    ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + S(tree_.Path(QStringLiteral("other/att file.txt")))));
    ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + S(tree_.Path(QStringLiteral("other")) + QLatin1Char('\\')) +
                             QStringLiteral(" manual\\*.* -xr2")));
    ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + S(D) + QLatin1Char(' ') +
                             QStringLiteral("Sample.ugu SAMPLE\\dat\\*.* -xr2")));
    ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + S(prog) + QStringLiteral("\\install.txt")));
    ASSERT_TRUE(Run(lha, QStringLiteral("d ") + lzh +
                             QStringLiteral(" SAMPLE\\dat\\LASTUPDATE SAMPLE\\dat\\UPDATE.LOG SAMPLE\\dat\\MIRROR.FET")));
    ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + S(prog) + QStringLiteral("\\$")));
    ASSERT_TRUE(Run(lha, QStringLiteral("s  ") + S(dirarc) + QStringLiteral("\\sample ") + S(dirarc) +
                             QStringLiteral("\\ -gw4gx2 -x")));
    ASSERT_TRUE(Run(lha, QStringLiteral("d ") + lzh + QStringLiteral(" $")));
  }
  EXPECT_TRUE(QFile::exists(tree_.Path(QStringLiteral("arc dir/sample.exe"))));

  // What the LZH archive must hold: the attachment, the script file, the
  // data tree less the three excluded files, install.txt; not "$".
  std::map<QString, QByteArray> lzhContent;
  for (const auto& [rel, bytes] : TreeFiles(tree_.Path(QStringLiteral("s")))) {
    if (!rel.endsWith(QStringLiteral("LASTUPDATE")) && !rel.endsWith(QStringLiteral("UPDATE.LOG")) &&
        !rel.endsWith(QStringLiteral("MIRROR.FET"))) {
      lzhContent[rel] = bytes;
    }
  }
  lzhContent[QStringLiteral("install.txt")] = tree_.ReadFile(QStringLiteral("prog dir/install.txt"));
  lzhContent[QStringLiteral("att file.txt")] = "attached";
  lzhContent[QStringLiteral("manual/章/手順.txt")] = "manual";
  ASSERT_EQ(lzhContent.size(), 8u);

  // The script package: unpack into the work directory, pack it as a cabinet.
  const QString work = prog + QStringLiteral("\\temp\\");
  tree_.MakeDir(QStringLiteral("prog dir/temp"));
  {
    lm::cUnLHA lha;
    ASSERT_TRUE(Run(lha, QStringLiteral("e ") + lzh + QLatin1Char(' ') + S(work) + QStringLiteral(" *.* ") +
                             QStringLiteral(" -xr2 -jyc -jyo")));
  }
  EXPECT_EQ(TreeFiles(tree_.Path(QStringLiteral("prog dir/temp"))), lzhContent);
  const QString cab = S(dirarc) + QStringLiteral("\\sample.cab");
  {
    lm::cCAB cabArc;
    ASSERT_TRUE(Run(cabArc, QStringLiteral("-a -r ") + cab + QLatin1Char(' ') + S(work) + QStringLiteral(" *.*")));
  }
  const QString byCab = tree_.MakeDir(QStringLiteral("by cabextract"));
  const auto r = RunTool(QStringLiteral("cabextract"),
              {QStringLiteral("-q"), QStringLiteral("-d"), byCab, tree_.Path(QStringLiteral("arc dir/sample.cab"))});
  ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
  EXPECT_EQ(TreeFiles(byCab), lzhContent);
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(ArchiverBuildCommandsTest, LhaListingOfMembersWithAndWithoutDirectories) {
  tree_.WriteFile(QStringLiteral("src/top.txt"), QByteArray(2345, 'a'));
  tree_.WriteFile(QStringLiteral("src/dir/sub/file.txt"), "0123456789");
  const QString lzh = tree_.Path(QStringLiteral("t.lzh"));
  lm::cUnLHA lha;
  ASSERT_TRUE(Run(lha, QStringLiteral("a ") + lzh + QLatin1Char(' ') + tree_.Path(QStringLiteral("src")) +
                           QStringLiteral("\\ top.txt dir\\sub\\file.txt -xr2")));
  ASSERT_EQ(lha.SetArcFile(lzh), 2);
  EXPECT_EQ(lha.FileName(0), QStringLiteral("top.txt"));
  EXPECT_EQ(lha.FilePath(0), QStringLiteral("\\"));
  EXPECT_EQ(lha.FileOriginal(0), lmtest::LocaleNumber("2,345"));
  EXPECT_EQ(lha.FileName(1), QStringLiteral("file.txt"));
  EXPECT_EQ(lha.FilePath(1), QStringLiteral("dir\\sub\\"));
  EXPECT_EQ(lha.FileOriginal(1), QStringLiteral("10"));
  // CRC-16 (the LHA checksum) of "0123456789".
  EXPECT_EQ(lha.FileCRC(1), QStringLiteral("443D"));
  EXPECT_TRUE(lha.FileType(1).startsWith(QStringLiteral("-lh")));
}

TEST_F(ArchiverBuildCommandsTest, EmptyLzhListsOneEmptyEntry) {
  // An LZH archive holding no member is its end-of-archive byte alone.
  const QString lzh = tree_.WriteFile(QStringLiteral("empty.lzh"), QByteArray(1, '\0'));
  lm::cUnLHA lha;
  EXPECT_EQ(lha.SetArcFile(lzh), 0);
  ASSERT_EQ(lha.fileList().size(), 1u);
  EXPECT_EQ(lha.FileName(0), QString());
  EXPECT_TRUE(boxes_.Shown().empty());
}

}  // namespace
