// The archive build when something is missing or fails: absent libraries,
// temporary files that cannot be written, a script that fails its check, a
// failing archiver step, a work directory that cannot be emptied; and the
// defaults the driver fills into a profile.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "archive/archiver_wrapper.h"
#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "archive/common/result_codes.h"
#include "archive/install_files.h"
#include "profiles/profile_store.h"

namespace {

using lmtest::ArchiveBuildTest;
using lmtest::Exists;
using lmtest::kFailed;
using lmtest::kMade;
using lmtest::Missing;
using lmtest::Sjis;

QString NotInstalled(const QString& upper) {
  return upper + QStringLiteral("がインストールされていません。") + lm::CR +
         QStringLiteral("この機能を使用するためには、『") + upper + QStringLiteral("』が必要です。");
}

const QString kRetryPrompt = QStringLiteral("一時ディレクトリ内を消去できません。再試行しますか。");
const QString kCannotClear =
    QStringLiteral("一時ディレクトリ内をクリアできません。") + QStringLiteral("\r\n") + QStringLiteral("処理をおこないませんでした。");

class BuildFailureTest : public ArchiveBuildTest {
 protected:
  lm::Profile& UseSample(const QString& extra = QString()) {
    sample_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Sample.ugu"));
    return lmtest::UseSampleProfile(sample_, extra);
  }
  // Runs the build from another program folder that holds only `libraries`.
  void BuildFrom(const QStringList& libraries, const QString& type) {
    other_ = lmtest::ProgramDirWith(tree_, QStringLiteral("other prog"), libraries);
    scope_.reset();
    scope_.emplace(other_);
    lm::BuildArchives(type, 0);
  }
  void SetReadOnly(const QString& path, bool readOnly) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), readOnly ? 0444 : 0644), 0);
  }
  QString other_;
};

TEST_F(BuildFailureTest, WithoutUnlha32OnlyItsMessageIsShownForEveryType) {
  for (const QString& type : lm::ArchiveTypeTexts() + QStringList{QString(), QStringLiteral("ZIP")}) {
    SCOPED_TRACE(type.toStdString());
    UseSample();
    boxes_.shown.clear();
    BuildFrom({}, type);
    EXPECT_EQ(boxes_.Texts(), QStringList{NotInstalled(QStringLiteral("UNLHA32.DLL"))});
    EXPECT_EQ(boxes_.Styles(), std::vector<int>{16});
    EXPECT_EQ(lmtest::EntriesOf(other_), QStringList());  // neither install.txt nor "$"
    EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
    EXPECT_TRUE(recorder_.commands.isEmpty());
  }
}

TEST_F(BuildFailureTest, WithoutCab32ThePackageTypesStopAndLeaveInstallTxt) {
  for (const QString& type : {lm::kArchiveTypeQsc, lm::kArchiveTypeAll}) {
    SCOPED_TRACE(type.toStdString());
    UseSample();
    boxes_.shown.clear();
    BuildFrom({QStringLiteral("UnLHA32.DLL")}, type);
    EXPECT_EQ(boxes_.Texts(), QStringList{NotInstalled(QStringLiteral("CAB32.DLL"))});
    EXPECT_EQ(boxes_.Styles(), std::vector<int>{16});
    // install.txt was written before the check and stays; "$" never was.
    EXPECT_EQ(lmtest::EntriesOf(other_), QStringList({QStringLiteral("UnLHA32.DLL"), QStringLiteral("install.txt")}));
    QFile f(other_ + QStringLiteral("/install.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), Sjis(QStringLiteral("type,script\r\nname,サンプル Script\r\ndirectory,SAMPLE\r\nrefresh,1\r\n")));
    EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
    EXPECT_TRUE(recorder_.commands.isEmpty());
  }
}

TEST_F(BuildFailureTest, WithoutCab32TheLhaTypesStillBuild) {
  UseSample();
  BuildFrom({QStringLiteral("UnLHA32.DLL"), QStringLiteral("lfsfxw.exe")}, lm::kArchiveTypeLzh);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kMade}));
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.lzh"))));
  EXPECT_EQ(lmtest::EntriesOf(other_), QStringList({QStringLiteral("UnLHA32.DLL"), QStringLiteral("lfsfxw.exe")}));
}

TEST_F(BuildFailureTest, TemporaryFilesThatCannotBeWrittenStopTheBuild) {
  struct Case {
    const char* label;
    QString type;
    QString blocked;  // the temporary file that is made a directory
    QString message;
  };
  const Case cases[] = {
      {"install.txt", lm::kArchiveTypeLzh, QStringLiteral("install.txt"),
       QStringLiteral("インストール指定ファイル『") + prog_ + QStringLiteral("/install.txt』を作成できません。") + lm::CR +
           QStringLiteral("処理を中止します。")},
      {"$ for EXE", lm::kArchiveTypeExe, QStringLiteral("$"),
       QStringLiteral("自己解凍指定ファイル『") + prog_ + QStringLiteral("/$』を作成できません。") + lm::CR +
           QStringLiteral("処理を中止します。")},
      {"$ for all", lm::kArchiveTypeAll, QStringLiteral("$"),
       QStringLiteral("自己解凍指定ファイル『") + prog_ + QStringLiteral("/$』を作成できません。") + lm::CR +
           QStringLiteral("処理を中止します。")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    UseSample();
    boxes_.shown.clear();
    const QString blocker = prog_ + QLatin1Char('/') + c.blocked;
    ASSERT_TRUE(QDir().mkpath(blocker + QStringLiteral("/inside")));
    lm::BuildArchives(c.type, 0);
    QDir(blocker).removeRecursively();
    QFile::remove(prog_ + QStringLiteral("/install.txt"));
    EXPECT_EQ(boxes_.Texts(), QStringList{c.message});
    EXPECT_EQ(boxes_.Styles(), std::vector<int>{0});
    EXPECT_TRUE(recorder_.commands.isEmpty());
    EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
  }
}

TEST_F(BuildFailureTest, AProfileNameShiftJisCannotHoldIsNamedInTheMessage) {
  lm::Profile& p = UseSample();
  p.profile = QStringLiteral("Script 😀");
  lm::BuildArchives(lm::kArchiveTypeLzh, 0);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("インストール指定ファイル『") + prog_ +
                                              QStringLiteral("/install.txt』を作成できません。") + lm::CR +
                                              QStringLiteral("処理を中止します。") + lm::CR))
      << boxes_.shown[0].text.toStdString();
  EXPECT_TRUE(boxes_.shown[0].text.contains(QStringLiteral("Script 😀")));
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
  EXPECT_TRUE(recorder_.commands.isEmpty());
}

TEST_F(BuildFailureTest, AScriptThatFailsItsCheckShowsItsMessageAndRemovesTheTemporaryFiles) {
  lm::Profile& p = UseSample();
  p.dirarc.clear();
  p.namearc.clear();
  ASSERT_TRUE(QFile::remove(tree_.Path(QStringLiteral("s/Sample/DAT/mio00.euu"))));
  lm::BuildArchives(lm::kArchiveTypeExe, 0);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。")));
  EXPECT_EQ(boxes_.shown[0].style, 0);
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/$")));
  EXPECT_EQ(p.dirarc, QString());
  EXPECT_EQ(p.namearc, QString());
  EXPECT_TRUE(recorder_.commands.isEmpty());
}

TEST_F(BuildFailureTest, EmptyArchiveDirectoryAndNameGetTheProgramDirectoryAndTheScriptName) {
  lm::Profile& p = UseSample();
  p.dirarc.clear();
  p.namearc.clear();
  lm::BuildArchives(lm::kArchiveTypeLzh, 0);
  const QString made = prog_ + QStringLiteral("/sample.lzh");
  const bool built = Exists(made);
  QFile::remove(made);  // the shared program folder stays clean
  EXPECT_EQ(boxes_.Texts(),
            QStringList({QStringLiteral("配布用アーカイブ作成ディレクトリが定義されていません。") + lm::CR +
                             QStringLiteral("アーカイブ作成ディレクトリを下記に設定します。") + lm::CR +
                             QStringLiteral("『") + prog_ + QStringLiteral("』"),
                         QStringLiteral("配布用アーカイブ名が定義されていません。") + lm::CR +
                             QStringLiteral("アーカイブ名を下記とします。") + lm::CR + QStringLiteral("『sample』"),
                         Missing(sample_.missing), kMade}));
  EXPECT_TRUE(built);
  EXPECT_EQ(p.dirarc, prog_);
  EXPECT_EQ(p.namearc, QStringLiteral("sample"));
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
}

TEST_F(BuildFailureTest, ExtraArgumentsOfBlanksOnlyAddNothingToTheCommand) {
  UseSample(QStringLiteral("   "));
  lm::BuildArchives(lm::kArchiveTypeLzh, 0);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  ASSERT_EQ(recorder_.commands.size(), 7);
  EXPECT_EQ(recorder_.commands[4], QStringLiteral("a ") + sample_.arcDir + QStringLiteral("\\sample.lzh ") +
                                       sample_.scriptDir + QStringLiteral(" Sample.ugu SAMPLE\\dat\\*.* -xr2"));
}

TEST_F(BuildFailureTest, AFailingArchiverStepShowsTheLibraryTextAndStops) {
  for (const QString& type : {lm::kArchiveTypeLzh, lm::kArchiveTypeExe, lm::kArchiveTypeAll}) {
    SCOPED_TRACE(type.toStdString());
    UseSample(QStringLiteral("nothere.txt"));
    boxes_.shown.clear();
    recorder_.commands.clear();
    lm::BuildArchives(type, 0);
    EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing),
                                           lm::cArchiver::ErrStringFor(ARC_ERROR_NOT_EXIST, QStringLiteral("UnLHA32.DLL")),
                                           kFailed}));
    EXPECT_EQ(boxes_.Styles(), std::vector<int>({0, 48, 0}));
    // The script-tree command was the last: the attachments are in the
    // partly built archive, nothing else was made.
    EXPECT_EQ(recorder_.commands.size(), 5);
    EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.lzh"))));
    EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.exe"))));
    EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.qsc"))));
    EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
    EXPECT_FALSE(Exists(prog_ + QStringLiteral("/$")));
  }
}

TEST_F(BuildFailureTest, AFailingPackStepLeavesTheUnpackedContentForTheNextBuild) {
  UseSample();
  // A directory where the cabinet should be written.
  ASSERT_TRUE(QDir().mkpath(Arc(QStringLiteral("sample.cab/keep"))));
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  ASSERT_EQ(boxes_.shown.size(), 3u);
  EXPECT_EQ(boxes_.shown[1].style, 48);
  EXPECT_FALSE(boxes_.shown[1].text.isEmpty());
  EXPECT_EQ(boxes_.shown[2].text, kFailed);
  EXPECT_EQ(recorder_.libraries.last(), QStringLiteral("Cab32.DLL"));
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.lzh"))));
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.qsc"))));
  EXPECT_TRUE(QFileInfo(Arc(QStringLiteral("sample.cab/keep"))).isDir());
  EXPECT_TRUE(lmtest::EntriesOf(prog_ + QStringLiteral("/temp")).contains(QStringLiteral("install.txt")));

  // The next build empties the work directory first and succeeds.
  QDir(Arc(QStringLiteral("sample.cab"))).removeRecursively();
  boxes_.shown.clear();
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/temp")), QStringList());
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.qsc"))));
}

TEST_F(BuildFailureTest, AReadOnlyFileInTheWorkDirectoryIsRetriedAfterItWasMadeWritable) {
  UseSample();
  const QString stale = prog_ + QStringLiteral("/temp/old/stale.txt");
  ASSERT_TRUE(QDir().mkpath(prog_ + QStringLiteral("/temp/old")));
  { QFile f(stale); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
  SetReadOnly(stale, true);
  int prompts = 0;
  boxes_.react = [&](const QString& text, int style) {
    if (text != kRetryPrompt) return 0;
    EXPECT_EQ(style, 5);
    if (++prompts == 2) SetReadOnly(stale, false);  // the first Retry fails again
    return lm::button::Retry;
  };
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/temp")), QStringList());
  const lmtest::Tree cab =
      lmtest::ExtractWithCabextract(Arc(QStringLiteral("sample.qsc")), tree_.Path(QStringLiteral("out")));
  EXPECT_EQ(cab.count(QStringLiteral("old/stale.txt")), 0u);
  EXPECT_EQ(cab.count(QStringLiteral("install.txt")), 1u);
}

TEST_F(BuildFailureTest, CancelAtTheRetryPromptEndsThePackageBuild) {
  UseSample();
  const QString stale = prog_ + QStringLiteral("/temp/stale.txt");
  ASSERT_TRUE(QDir().mkpath(prog_ + QStringLiteral("/temp")));
  { QFile f(stale); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
  SetReadOnly(stale, true);
  boxes_.react = [&](const QString& text, int) { return text == kRetryPrompt ? lm::button::Cancel : 0; };
  lm::BuildArchives(lm::kArchiveTypeAll, 0);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kRetryPrompt, kCannotClear, kFailed}));
  EXPECT_EQ(boxes_.Styles(), std::vector<int>({0, 5, 0, 0}));
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.lzh"))));
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.exe"))));
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.qsc"))));
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.cab"))));
  EXPECT_TRUE(Exists(stale));
  EXPECT_EQ(recorder_.libraries.count(QStringLiteral("Cab32.DLL")), 0);
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
  SetReadOnly(stale, false);
}

TEST_F(BuildFailureTest, AReadOnlyScriptFileDoesNotStopTheClearingAfterThePack) {
  UseSample();
  const QString locked = tree_.Path(QStringLiteral("s/Sample/DAT/ソース.txt"));
  SetReadOnly(locked, true);
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  SetReadOnly(locked, false);
  // The unpacked copy keeps the read-only attribute; the work directory is
  // emptied all the same, without asking.
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kMade}));
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/temp")), QStringList());
  const lmtest::Tree cab =
      lmtest::ExtractWithCabextract(Arc(QStringLiteral("sample.qsc")), tree_.Path(QStringLiteral("out")));
  EXPECT_EQ(cab.count(QStringLiteral("SAMPLE/dat/ソース.txt")), 1u);
}

TEST_F(BuildFailureTest, AWorkDirectoryThatCannotBeMadeEndsThePackageBuild) {
  UseSample();
  const QString blocker = prog_ + QStringLiteral("/temp");
  { QFile f(blocker); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  QFile::remove(blocker);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing),
                                         QStringLiteral("一時ディレクトリ『") + prog_ + QStringLiteral("/temp/』を作成できません。"),
                                         kFailed}));
  EXPECT_EQ(boxes_.Styles(), std::vector<int>({0, 48, 0}));
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.lzh"))));
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.qsc"))));
  EXPECT_EQ(recorder_.libraries.count(QStringLiteral("Cab32.DLL")), 0);
}

TEST_F(BuildFailureTest, OlderArchivesOfTheSameNameAreReplaced) {
  UseSample();
  // An older archive with a member the new build does not have, and older
  // package files.
  tree_.WriteFile(QStringLiteral("old/junk.txt"), "junk");
  {
    lm::cUnLHA lha;
    lha.SetCommandLine(QStringLiteral("a ") + Arc(QStringLiteral("sample.lzh")) + QLatin1Char(' ') +
                       tree_.Path(QStringLiteral("old")) + QStringLiteral("/ junk.txt"));
    ASSERT_EQ(lha.ReturnCode(), 0) << lha.OutPut().toStdString();
  }
  tree_.WriteFile(QStringLiteral("arc/sample.qsc"), "old package");
  tree_.WriteFile(QStringLiteral("arc/sample.cab"), "old cabinet");
  tree_.WriteFile(QStringLiteral("arc/sample.exe"), "old executable");
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  const lmtest::Tree lzh =
      lmtest::ExtractWithBsdtar(Arc(QStringLiteral("sample.lzh")), tree_.Path(QStringLiteral("out/lzh")));
  EXPECT_EQ(lzh.count(QStringLiteral("junk.txt")), 0u);
  EXPECT_EQ(lmtest::ExtractWithCabextract(Arc(QStringLiteral("sample.qsc")), tree_.Path(QStringLiteral("out/qsc"))), lzh);
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.cab"))));
  // The LZH builder deletes an older executable as well, also when it makes none.
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.exe"))));
}

}  // namespace
