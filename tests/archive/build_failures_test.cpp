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

TEST_F(BuildFailureTest, WithoutCab32ThePackageTypesStopAfterWritingInstallTxt) {
  for (const QString& type : {lm::kArchiveTypeQsc, lm::kArchiveTypeAll}) {
    SCOPED_TRACE(type.toStdString());
    UseSample();
    boxes_.shown.clear();
    // install.txt was written before the check, "$" never was; both would
    // lie in the build's working folder, which goes with the build.
    QByteArray installTxt;
    bool optionFile = true;
    boxes_.react = [&](const QString&, int) {
      QFile f(lm::InstallFilePath());
      if (f.open(QIODevice::ReadOnly)) installTxt = f.readAll();
      optionFile = QFileInfo::exists(lm::SfxOptionsPath());
      return 0;
    };
    BuildFrom({QStringLiteral("UnLHA32.DLL")}, type);
    EXPECT_EQ(boxes_.Texts(), QStringList{NotInstalled(QStringLiteral("CAB32.DLL"))});
    EXPECT_EQ(boxes_.Styles(), std::vector<int>{16});
    EXPECT_EQ(installTxt, Sjis(QStringLiteral("type,script\r\nname,サンプル Script\r\ndirectory,SAMPLE\r\nrefresh,1\r\n")));
    EXPECT_FALSE(optionFile);
    EXPECT_EQ(lmtest::EntriesOf(other_), QStringList({QStringLiteral("UnLHA32.DLL"), QStringLiteral("builds")}));
    EXPECT_EQ(lmtest::EntriesOf(other_ + QStringLiteral("/builds")), QStringList());
    EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
    EXPECT_TRUE(recorder_.commands.isEmpty());
  }
}

TEST_F(BuildFailureTest, WithoutCab32TheLhaTypesStillBuild) {
  UseSample();
  BuildFrom({QStringLiteral("UnLHA32.DLL"), QStringLiteral("lfsfxw.exe")}, lm::kArchiveTypeLzh);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kMade}));
  EXPECT_TRUE(Exists(Arc(QStringLiteral("sample.lzh"))));
  EXPECT_EQ(lmtest::EntriesOf(other_),
            QStringList({QStringLiteral("UnLHA32.DLL"), QStringLiteral("builds"), QStringLiteral("lfsfxw.exe")}));
}

TEST_F(BuildFailureTest, TemporaryFilesThatCannotBeWrittenStopTheBuild) {
  const QString stop = lm::CR + QStringLiteral("処理を中止します。");
  struct Case {
    const char* label;
    QString type;
    bool blockWorkFolders;  // a file where the working folders go
    QString title;          // the option file's window title
    QString start;          // how the message starts
    QString end;            // and ends
  };
  const Case cases[] = {
      {"working folder", lm::kArchiveTypeLzh, true, QString(),
       QStringLiteral("一時ディレクトリ『") + prog_ + QStringLiteral("/builds』を作成できません。") + stop, QString()},
      {"$ for EXE", lm::kArchiveTypeExe, false, QStringLiteral("窓 😀"),
       QStringLiteral("自己解凍指定ファイル『") + prog_ + QStringLiteral("/builds/build-"),
       QStringLiteral("/$』を作成できません。") + stop},
      {"$ for all", lm::kArchiveTypeAll, false, QStringLiteral("窓 😀"),
       QStringLiteral("自己解凍指定ファイル『") + prog_ + QStringLiteral("/builds/build-"),
       QStringLiteral("/$』を作成できません。") + stop},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    lm::Profile& p = UseSample();
    p.exewintitle = c.title;
    boxes_.shown.clear();
    const QString blocker = prog_ + QStringLiteral("/builds");
    if (c.blockWorkFolders) {
      QDir(blocker).removeRecursively();
      tree_.WriteFile(QStringLiteral("unused"), "");
      ASSERT_TRUE(QFile::copy(tree_.Path(QStringLiteral("unused")), blocker));
    }
    lm::BuildArchives(c.type, 0);
    if (c.blockWorkFolders) QFile::remove(blocker);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith(c.start)) << boxes_.shown[0].text.toStdString();
    EXPECT_TRUE(boxes_.shown[0].text.contains(c.end)) << boxes_.shown[0].text.toStdString();
    EXPECT_EQ(boxes_.Styles(), std::vector<int>{0});
    EXPECT_TRUE(recorder_.commands.isEmpty());
    EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
    EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/builds")), QStringList());
  }
}

TEST_F(BuildFailureTest, AProfileNameShiftJisCannotHoldIsNamedInTheMessage) {
  lm::Profile& p = UseSample();
  p.profile = QStringLiteral("Script 😀");
  lm::BuildArchives(lm::kArchiveTypeLzh, 0);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(boxes_.shown[0].text.startsWith(QStringLiteral("インストール指定ファイル『") + prog_ +
                                              QStringLiteral("/builds/build-")))
      << boxes_.shown[0].text.toStdString();
  EXPECT_TRUE(boxes_.shown[0].text.contains(QStringLiteral("/install.txt』を作成できません。") + lm::CR +
                                            QStringLiteral("処理を中止します。") + lm::CR))
      << boxes_.shown[0].text.toStdString();
  EXPECT_TRUE(boxes_.shown[0].text.contains(QStringLiteral("Script 😀")));
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
  EXPECT_TRUE(recorder_.commands.isEmpty());
}

// A script whose name is shorter than three letters passes its check but
// cannot be named in the install file: the message says why, not only
// that the file was not made.
TEST_F(BuildFailureTest, AScriptNameTooShortForTheInstallFileIsTheReasonGiven) {
  sample_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Aw.ugu"));
  lmtest::UseSampleProfile(sample_, QString());
  lm::BuildArchives(lm::kArchiveTypeLzh, 0);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  const QString text = boxes_.shown[0].text;
  EXPECT_TRUE(text.startsWith(QStringLiteral("インストール指定ファイル『") + prog_ + QStringLiteral("/builds/build-")))
      << text.toStdString();
  EXPECT_TRUE(text.endsWith(QStringLiteral("/install.txt』を作成できません。") + lm::CR + QStringLiteral("処理を中止します。") +
                            lm::CR + QStringLiteral("スクリプト名が正しくありません。")))
      << text.toStdString();
  EXPECT_TRUE(recorder_.commands.isEmpty());
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
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
  EXPECT_EQ(recorder_.commands[4], QStringLiteral("a ") + Staging() + QStringLiteral("\\sample.lzh ") +
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
    // The script-tree command was the last. The partly built archive is
    // not left under the archive's name, nor anywhere else.
    EXPECT_EQ(recorder_.commands.size(), 5);
    EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
    EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.exe"))));
    EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.qsc"))));
    EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
    EXPECT_FALSE(Exists(prog_ + QStringLiteral("/$")));
  }
}

TEST_F(BuildFailureTest, AFailingPackStepLeavesTheEarlierArchivesAndNoWorkFiles) {
  UseSample();
  tree_.WriteFile(QStringLiteral("arc/sample.lzh"), "earlier archive");
  // A directory where the cabinet is to be written, made just before the
  // cabinet command runs.
  lm::SetArchiverCommandTrace([this](const QString& library, const QString& command) {
    recorder_.libraries << library;
    recorder_.commands << command;
    if (library == QLatin1String("Cab32.DLL")) {
      QString cab = command.section(QLatin1Char(' '), 2, 2);
      cab.replace(QLatin1Char('\\'), QLatin1Char('/'));
      QDir().mkpath(cab + QStringLiteral("/keep"));
    }
  });
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  ASSERT_EQ(boxes_.shown.size(), 3u);
  EXPECT_EQ(boxes_.shown[1].style, 48);
  EXPECT_FALSE(boxes_.shown[1].text.isEmpty());
  EXPECT_EQ(boxes_.shown[2].text, kFailed);
  EXPECT_EQ(recorder_.libraries.last(), QStringLiteral("Cab32.DLL"));
  // The new LZH archive was made, but the build failed: the earlier one
  // keeps its name; neither the staging folder nor the unpacked tree stays.
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList{QStringLiteral("sample.lzh")});
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("arc/sample.lzh")), QByteArray("earlier archive"));
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/builds")), QStringList());

  // The next build succeeds.
  lm::SetArchiverCommandTrace([this](const QString& library, const QString& command) {
    recorder_.libraries << library;
    recorder_.commands << command;
  });
  boxes_.shown.clear();
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  EXPECT_EQ(boxes_.Texts().last(), kMade);
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList({QStringLiteral("sample.lzh"), QStringLiteral("sample.qsc")}));
}

TEST_F(BuildFailureTest, AWorkTreeOfAnEarlierVersionIsNeitherPackedNorAskedAbout) {
  UseSample();
  // What earlier versions of the program left in the program folder's
  // shared work directory: a read-only file in a folder.
  const QString stale = prog_ + QStringLiteral("/temp/old/stale.txt");
  ASSERT_TRUE(QDir().mkpath(prog_ + QStringLiteral("/temp/old")));
  { QFile f(stale); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
  SetReadOnly(stale, true);
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kMade}));
  const lmtest::Tree cab =
      lmtest::ExtractWithCabextract(Arc(QStringLiteral("sample.qsc")), tree_.Path(QStringLiteral("out")));
  EXPECT_EQ(cab.count(QStringLiteral("old/stale.txt")), 0u);
  EXPECT_EQ(cab.count(QStringLiteral("install.txt")), 1u);
  EXPECT_TRUE(Exists(stale));
  SetReadOnly(stale, false);
  QDir(prog_ + QStringLiteral("/temp")).removeRecursively();
}

TEST_F(BuildFailureTest, TheWorkingFolderOfAKilledBuildIsRemovedByTheNextWithoutAsking) {
  UseSample();
  // A build killed while its tree was unpacked: read-only files in a
  // read-only folder. No process holds the folder's lock.
  const QString dead = prog_ + QStringLiteral("/builds/build-dead01");
  ASSERT_TRUE(QDir().mkpath(dead + QStringLiteral("/temp/SAMPLE/dat")));
  tree_.WriteFile(QStringLiteral("unused"), "x");
  ASSERT_TRUE(QFile::copy(tree_.Path(QStringLiteral("unused")), dead + QStringLiteral("/temp/SAMPLE/dat/a.txt")));
  SetReadOnly(dead + QStringLiteral("/temp/SAMPLE/dat/a.txt"), true);
  ASSERT_EQ(::chmod(QFile::encodeName(dead + QStringLiteral("/temp/SAMPLE/dat")).constData(), 0555), 0);
  // A name that is not a working folder's stays.
  ASSERT_TRUE(QDir().mkpath(prog_ + QStringLiteral("/builds/notes")));
  QStringList notes;
  const int listener = lm::AddRunNoteListener([&](const QString& line) { notes << line; });
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  lm::RemoveRunNoteListener(listener);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kMade}));
  EXPECT_EQ(notes, QStringList{QStringLiteral("中断された処理の作業フォルダ『") + dead + QStringLiteral("』を削除しました。")});
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/builds")), QStringList{QStringLiteral("notes")});
  QDir(prog_ + QStringLiteral("/builds/notes")).removeRecursively();
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
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/builds")), QStringList());
  const lmtest::Tree cab =
      lmtest::ExtractWithCabextract(Arc(QStringLiteral("sample.qsc")), tree_.Path(QStringLiteral("out")));
  EXPECT_EQ(cab.count(QStringLiteral("SAMPLE/dat/ソース.txt")), 1u);
}

TEST_F(BuildFailureTest, AWorkDirectoryThatCannotBeMadeEndsThePackageBuild) {
  UseSample();
  // A file where the build's work directory is to be made, put there while
  // the LZH archive is built.
  QString work;
  lm::SetArchiverCommandTrace([&](const QString& library, const QString& command) {
    recorder_.libraries << library;
    recorder_.commands << command;
    if (work.isEmpty()) {
      work = lm::CurrentBuildWorkDir();
      tree_.WriteFile(QStringLiteral("unused"), "");
      QFile::copy(tree_.Path(QStringLiteral("unused")), work + QStringLiteral("/temp"));
    }
  });
  lm::BuildArchives(lm::kArchiveTypeQsc, 0);
  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing),
                                         QStringLiteral("一時ディレクトリ『") + work + QStringLiteral("/temp/』を作成できません。"),
                                         kFailed}));
  EXPECT_EQ(boxes_.Styles(), std::vector<int>({0, 48, 0}));
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir), QStringList());
  EXPECT_EQ(recorder_.libraries.count(QStringLiteral("Cab32.DLL")), 0);
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/builds")), QStringList());
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
