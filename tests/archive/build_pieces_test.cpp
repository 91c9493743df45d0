// The pieces of the archive build on their own: the bytes of install.txt and
// of the option file "$", the add command of each kind of attachment, and the
// emptying of the work directory.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "archive/build_test_support.h"
#include "archive/cab_package_builder.h"
#include "archive/install_files.h"
#include "archive/lzh_builder.h"
#include "support/empty_profiles.h"
#include "profiles/profile_store.h"

namespace {

using lmtest::Exists;

class TemporaryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lmtest::ResetProfiles();
  }
  QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  lmtest::TempTree tree_;
  lmtest::ProgramDirScope scope_{tree_.Path()};
  lm::Profile& p_ = lm::profileTable[0];
};

TEST_F(TemporaryFileTest, InstallFileHoldsTheTrimmedProfileNameAndTheScriptName) {
  p_.profile = QStringLiteral("  My Script  ");
  p_.ugu = QStringLiteral(" /s/Sample.ugu ");
  ASSERT_EQ(lm::WriteInstallFileFor(p_), 0);
  EXPECT_EQ(Read(tree_.Path(QStringLiteral("install.txt"))),
            QByteArray("type,script\r\nname,My Script\r\ndirectory,SAMPLE\r\nrefresh,1\r\n"));

  // Japanese names are written in Shift-JIS; an existing file is replaced.
  p_.profile = QStringLiteral("さくら");
  p_.ugu = QStringLiteral("/s/さくら.psn");
  ASSERT_EQ(lm::WriteInstallFileFor(p_), 0);
  EXPECT_EQ(Read(tree_.Path(QStringLiteral("install.txt"))),
            QByteArray("type,script\r\nname,\x82\xb3\x82\xad\x82\xe7\r\ndirectory,\x82\xb3\x82\xad\x82\xe7\r\nrefresh,1\r\n"));
}

TEST_F(TemporaryFileTest, InstallFileIsNotWrittenForAnInvalidScriptNameOrAnUnencodableText) {
  struct Case {
    const char* label;
    QString profile;
    QString ugu;
  };
  const Case cases[] = {
      {"no script file", QStringLiteral("x"), QString()},
      {"not a script extension", QStringLiteral("x"), QStringLiteral("/s/Sample.txt")},
      {"script name under three characters", QStringLiteral("x"), QStringLiteral("/s/ab.ugu")},
      {"profile name outside Shift-JIS", QStringLiteral("x 😀"), QStringLiteral("/s/Sample.ugu")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    p_.profile = c.profile;
    p_.ugu = c.ugu;
    lm::FileError error;
    EXPECT_EQ(lm::WriteInstallFileFor(p_, &error), -9);
    EXPECT_FALSE(error.ok());
    EXPECT_FALSE(Exists(tree_.Path(QStringLiteral("install.txt"))));
  }
}

TEST_F(TemporaryFileTest, OptionFileLinesFollowTheProfile) {
  const QByteArray title("$InstallTitle=\xb2\xdd\xbd\xc4\xb0\xd9\x90\xe6\xcc\xab\xd9\xc0\xde(&D)\r\n");
  struct Case {
    const char* label;
    QString windowTitle, installDir, command;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"all empty", QString(), QString(), QString(), title},
      {"blanks only count as empty", QStringLiteral("   "), QStringLiteral(" "), QStringLiteral("  "), title},
      {"all set: the title trimmed, directory and command as stored", QStringLiteral("  Sample 配布  "),
       QStringLiteral(" C:\\Quillet "), QStringLiteral(" readme.txt"),
       QByteArray("$WindowTitle=Sample \x94\x7a\x95\x7a\r\n$InstallDir= C:\\Quillet \r\n") + title +
           QByteArray("$Command= readme.txt\r\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    p_.exewintitle = c.windowTitle;
    p_.exeviewdir = c.installDir;
    p_.autoview = c.command;
    ASSERT_EQ(lm::WriteSfxOptionsFor(p_), 0);
    EXPECT_EQ(Read(tree_.Path(QStringLiteral("$"))), c.bytes);
  }
}

TEST_F(TemporaryFileTest, OptionFileWithATextOutsideShiftJisIsNotWritten) {
  p_.autoview = QStringLiteral("読んで😀.txt");
  lm::FileError error;
  EXPECT_EQ(lm::WriteSfxOptionsFor(p_, &error), -9);
  EXPECT_EQ(error.kind, lm::FileError::Kind::NotEncodable);
  EXPECT_FALSE(Exists(tree_.Path(QStringLiteral("$"))));
}

// The add command of single attachments, against the archive "L" and the
// script directory <tree>/s/.
TEST_F(TemporaryFileTest, AttachmentCommandsByKindAndPlace) {
  tree_.WriteFile(QStringLiteral("s/doc/readme.txt"), "r");
  tree_.WriteFile(QStringLiteral("s/my docs/read me.txt"), "r");
  tree_.WriteFile(QStringLiteral("other/manual/a.txt"), "a");
  tree_.WriteFile(QStringLiteral("other/note.txt"), "n");
  tree_.WriteFile(QStringLiteral("s/-dash.txt"), "d");
  const QString d = tree_.Path(QStringLiteral("s")) + QLatin1Char('/');
  const QString other = tree_.Path(QStringLiteral("other"));
  struct Case {
    const char* label;
    QString attachment;
    QString command;
    QString storedAfter;
  };
  const Case cases[] = {
      {"file inside", d + QStringLiteral("doc/readme.txt"), QStringLiteral("a L ") + d + QStringLiteral(" doc/readme.txt -xr2"),
       d + QStringLiteral("doc/readme.txt")},
      {"directory inside", d + QStringLiteral("doc"), QStringLiteral("a L ") + d + QStringLiteral(" doc\\*.* -xr2"),
       d + QStringLiteral("doc")},
      {"directory inside with its separator, kept as stored", d + QStringLiteral("doc/"),
       QStringLiteral("a L ") + d + QStringLiteral(" doc/\\*.* -xr2"), d + QStringLiteral("doc/")},
      {"names with blanks stay one word", d + QStringLiteral("my docs/read me.txt"),
       QStringLiteral("a L ") + d + QStringLiteral(" \"my docs/read me.txt\" -xr2"), d + QStringLiteral("my docs/read me.txt")},
      {"a name that begins like a switch", d + QStringLiteral("-dash.txt"),
       QStringLiteral("a L ") + d + QStringLiteral(" \"-dash.txt\" -xr2"), d + QStringLiteral("-dash.txt")},
      {"the script directory itself: its content", d, QStringLiteral("a L ") + d + QStringLiteral(" *.* -xr2"), d},
      {"a doubled separator after the script directory", d + QStringLiteral("/doc/readme.txt"),
       QStringLiteral("a L ") + d + QStringLiteral(" doc/readme.txt -xr2"), d + QStringLiteral("/doc/readme.txt")},
      {"file outside: alone", other + QStringLiteral("/note.txt"), QStringLiteral("a L ") + other + QStringLiteral("/note.txt"),
       other + QStringLiteral("/note.txt")},
      {"directory outside", other + QStringLiteral("/manual"),
       QStringLiteral("a L ") + other + QStringLiteral("/ manual\\*.* -xr2"), other + QStringLiteral("/manual")},
      {"directory outside with its separator, stored without it", other + QStringLiteral("/manual/"),
       QStringLiteral("a L ") + other + QStringLiteral("/ manual\\*.* -xr2"), other + QStringLiteral("/manual")},
      // The script directory compared in other letter case: outside.
      {"inside in other letter case", tree_.Path(QStringLiteral("S/doc/readme.txt")),
       QStringLiteral("a L ") + tree_.Path(QStringLiteral("S/doc/readme.txt")), tree_.Path(QStringLiteral("S/doc/readme.txt"))},
      {"missing", d + QStringLiteral("nothing.txt"), QString(), d + QStringLiteral("nothing.txt")},
      {"missing outside with a separator, kept", other + QStringLiteral("/gone/"), QString(), other + QStringLiteral("/gone/")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(lm::AttachmentAddCommand(c.attachment, d, QStringLiteral("L")), c.command);
    EXPECT_EQ(lm::KeptAttachment(c.attachment, d), c.storedAfter);
    // The build keeps every attachment of the profile in that form.
    p_.addfilecnt = 4;
    p_.addfile[3] = c.attachment;
    lm::KeepAttachments(p_, d);
    EXPECT_EQ(p_.addfile[3], c.storedAfter);
  }
}

// The query alone reads nothing of the profile table and changes nothing; the
// kept form is a function of its own.
TEST_F(TemporaryFileTest, AttachmentAddCommandLeavesTheProfileAlone) {
  tree_.WriteFile(QStringLiteral("other/manual/a.txt"), "a");
  const QString d = tree_.Path(QStringLiteral("s")) + QLatin1Char('/');
  const QString given = tree_.Path(QStringLiteral("other/manual/"));
  p_.addfile[3] = given;
  EXPECT_EQ(lm::AttachmentAddCommand(given, d, QStringLiteral("L")),
            QStringLiteral("a L ") + tree_.Path(QStringLiteral("other")) + QStringLiteral("/ manual\\*.* -xr2"));
  EXPECT_EQ(p_.addfile[3], given);
  EXPECT_EQ(lm::KeptAttachment(given, d), tree_.Path(QStringLiteral("other/manual")));
  // Inside the script directory, missing, or a file: kept as given.
  for (const QString& kept : {d + QStringLiteral("doc/"), tree_.Path(QStringLiteral("gone/")),
                              tree_.Path(QStringLiteral("other/manual/a.txt"))}) {
    EXPECT_EQ(lm::KeptAttachment(kept, d), kept);
  }
}

class WorkDirectoryTest : public ::testing::Test {
 protected:
  QString W(const QString& rel = QString()) const { return tree_.Path(QStringLiteral("work/")) + rel; }
  lmtest::TempTree tree_;
  lmtest::WatchedMessageBox boxes_;
};

TEST_F(WorkDirectoryTest, ListDirTreeIsBreadthFirstAndDoesNotFollowLinks) {
  tree_.MakeDir(QStringLiteral("work/a/b/c"));
  tree_.MakeDir(QStringLiteral("work/x/y"));
  tree_.MakeDir(QStringLiteral("work/.hidden"));
  tree_.WriteFile(QStringLiteral("work/a/file.txt"));
  tree_.WriteFile(QStringLiteral("outside/keep.txt"), "keep");
  ASSERT_TRUE(QFile::link(tree_.Path(QStringLiteral("outside")), W(QStringLiteral("a/link"))));
  ASSERT_TRUE(lm::ListDirTree(W()));
  EXPECT_EQ(lm::dirList, QStringList({W(), W(QStringLiteral(".hidden/")), W(QStringLiteral("a/")), W(QStringLiteral("x/")),
                                      W(QStringLiteral("a/b/")), W(QStringLiteral("x/y/")), W(QStringLiteral("a/b/c/"))}));
  EXPECT_EQ(lm::dirCount, 7);
}

TEST_F(WorkDirectoryTest, ClearTempDirEmptiesNestedDirectoriesAndKeepsTheDirectory) {
  tree_.WriteFile(QStringLiteral("work/top.txt"), "t");
  tree_.WriteFile(QStringLiteral("work/a/b/c/deep.txt"), "d");
  tree_.WriteFile(QStringLiteral("work/a/b/.hidden"), "h");
  tree_.MakeDir(QStringLiteral("work/a/empty"));
  tree_.WriteFile(QStringLiteral("outside/keep.txt"), "keep");
  ASSERT_TRUE(QFile::link(tree_.Path(QStringLiteral("outside")), W(QStringLiteral("a/link"))));
  ASSERT_TRUE(QFile::link(tree_.Path(QStringLiteral("outside/keep.txt")), W(QStringLiteral("filelink"))));
  EXPECT_EQ(lm::ClearTempDir(W()), 0);
  EXPECT_TRUE(QFileInfo(W()).isDir());
  EXPECT_EQ(lmtest::EntriesOf(W()), QStringList());
  // What the links pointed at is untouched.
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("outside/keep.txt")), QByteArray("keep"));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(WorkDirectoryTest, ClearTempDirAsksAgainUntilTheReadOnlyFileCanGoOrTheUserCancels) {
  const QString file = tree_.WriteFile(QStringLiteral("work/a/b/locked.txt"), "l");
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
  std::vector<int> answers = {lm::button::Retry, lm::button::Cancel};
  boxes_.react = [&](const QString&, int style) {
    EXPECT_EQ(style, 5);
    const int a = answers.front();
    answers.erase(answers.begin());
    return a;
  };
  EXPECT_EQ(lm::ClearTempDir(W()), -1);
  EXPECT_EQ(boxes_.Texts(), QStringList(2, QStringLiteral("一時ディレクトリ内を消去できません。再試行しますか。")));
  EXPECT_TRUE(Exists(file));

  // Made writable, a Retry goes on from the file and empties the tree.
  boxes_.shown.clear();
  boxes_.react = [&](const QString&, int) {
    ::chmod(QFile::encodeName(file).constData(), 0644);
    return lm::button::Retry;
  };
  ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
  EXPECT_EQ(lm::ClearTempDir(W()), 0);
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(lmtest::EntriesOf(W()), QStringList());
}

}  // namespace
