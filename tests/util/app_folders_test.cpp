// Where the program keeps its settings and working files: beside a
// writable program folder, in the user's XDG folders otherwise.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/temp_tree.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/scoped_env.h"

namespace {

class AppFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = lm::programDir;
    lm::programDir.clear();
    lm::SetExecutableDirForTesting(prog_.Path());
  }
  void TearDown() override {
    ::chmod(QFile::encodeName(prog_.Path()).constData(), 0755);
    lm::SetExecutableDirForTesting(QString());
    lm::programDir = saved_;
  }
  static int Mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
  }

  lmtest::TempTree prog_;
  lmtest::TempTree home_;
  lmtest::ScopedEnv homeEnv_{"HOME", QFile::encodeName(home_.Path())};
  lmtest::ScopedEnv configEnv_{"XDG_CONFIG_HOME", QFile::encodeName(home_.Path("cfg"))};
  lmtest::ScopedEnv cacheEnv_{"XDG_CACHE_HOME", QFile::encodeName(home_.Path("cache"))};
  QString saved_;
};

TEST_F(AppFoldersTest, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
  EXPECT_TRUE(lm::KeepsFilesBesideProgram());
  EXPECT_EQ(lm::ProgramFolder(), prog_.Path());
  EXPECT_EQ(lm::ConfigFolder(), prog_.Path());
  EXPECT_EQ(lm::CacheFolder(), prog_.Path());
  EXPECT_EQ(lm::DefaultArchiveFolder(), prog_.Path());
  // Nothing is made in the user's folders.
  EXPECT_FALSE(QFileInfo::exists(home_.Path("cfg")));
  EXPECT_FALSE(QFileInfo::exists(home_.Path("cache")));
  // programDir, once recorded, is the program folder.
  const QString other = prog_.MakeDir("other");
  lm::programDir = other;
  EXPECT_EQ(lm::ConfigFolder(), other);
}

TEST_F(AppFoldersTest, ProgramFoldersThatCountAsInstalled) {
  // Each folder sends the files to the user's folders, whoever runs the
  // program (root included: a folder without write bits is read-only on purpose).
  struct Case {
    const char* what;
    QString folder;
    int mode;  // applied to the folder when >= 0
  } cases[] = {
      {"no write bit", prog_.MakeDir("readonly"), 0555},
      {"no write bit, not even listable", prog_.MakeDir("closed"), 0111},
      {"missing", prog_.Path("missing"), -1},
      {"under /usr", QStringLiteral("/usr/lib"), -1},
      {"/usr itself", QStringLiteral("/usr"), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.mode >= 0) {
      ASSERT_EQ(::chmod(QFile::encodeName(c.folder).constData(), static_cast<mode_t>(c.mode)), 0);
    }
    lm::programDir = c.folder;
    EXPECT_FALSE(lm::KeepsFilesBesideProgram());
    EXPECT_EQ(lm::ConfigFolder(), home_.Path("cfg/loftmark"));
    EXPECT_EQ(lm::CacheFolder(), home_.Path("cache/loftmark"));
    EXPECT_EQ(lm::DefaultArchiveFolder(), home_.Path());
    if (c.mode >= 0) ::chmod(QFile::encodeName(c.folder).constData(), 0755);
  }
  // A sibling whose name only begins with "usr" is not under /usr.
  lm::programDir = prog_.MakeDir("usrx");
  EXPECT_TRUE(lm::KeepsFilesBesideProgram());
}

TEST_F(AppFoldersTest, XdgVariablesAndTheirDefaults) {
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path()).constData(), 0555), 0);
  struct Case {
    const char* what;
    QByteArray config;  // XDG_CONFIG_HOME
    QByteArray cache;   // XDG_CACHE_HOME
    QString wantConfig;
    QString wantCache;
  } cases[] = {
      {"both set", QFile::encodeName(home_.Path("c 1")), QFile::encodeName(home_.Path("k 2")),
       home_.Path("c 1/loftmark"), home_.Path("k 2/loftmark")},
      {"empty: the defaults below HOME", "", "", home_.Path(".config/loftmark"), home_.Path(".cache/loftmark")},
      {"relative: ignored", "rel/cfg", "rel/cache", home_.Path(".config/loftmark"), home_.Path(".cache/loftmark")},
      {"trailing slash", QFile::encodeName(home_.Path("t/")), QFile::encodeName(home_.Path("u//")),
       home_.Path("t/loftmark"), home_.Path("u/loftmark")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lmtest::ScopedEnv config("XDG_CONFIG_HOME", c.config);
    lmtest::ScopedEnv cache("XDG_CACHE_HOME", c.cache);
    EXPECT_EQ(lm::ConfigFolder(), c.wantConfig);
    EXPECT_EQ(lm::CacheFolder(), c.wantCache);
    EXPECT_TRUE(QFileInfo(c.wantConfig).isDir());
    EXPECT_TRUE(QFileInfo(c.wantCache).isDir());
  }
}

TEST_F(AppFoldersTest, UserFoldersAreMadePrivateOnFirstUseAndNotByTheVersionText) {
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path()).constData(), 0555), 0);
  const QString text = lm::FoldersText();
  EXPECT_TRUE(text.contains(home_.Path("cfg/loftmark"))) << text.toStdString();
  EXPECT_TRUE(text.contains(home_.Path("cache/loftmark"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("利用者のフォルダ"))) << text.toStdString();
  EXPECT_FALSE(QFileInfo::exists(home_.Path("cfg"))) << "the version text made a folder";

  EXPECT_EQ(lm::ConfigFolder(), home_.Path("cfg/loftmark"));
  EXPECT_EQ(Mode(home_.Path("cfg/loftmark")), 0700);
  EXPECT_EQ(lm::CacheFolder(), home_.Path("cache/loftmark"));
  EXPECT_EQ(Mode(home_.Path("cache/loftmark")), 0700);
  // An existing folder keeps the mode its owner gave it.
  ASSERT_EQ(::chmod(QFile::encodeName(home_.Path("cfg/loftmark")).constData(), 0750), 0);
  lm::ConfigFolder();
  EXPECT_EQ(Mode(home_.Path("cfg/loftmark")), 0750);
}

TEST_F(AppFoldersTest, TheVersionTextOfAPortableCopyNamesTheProgramFolder) {
  const QStringList lines = lm::FoldersText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("設定ファイル (lfup.ini): ")));
  EXPECT_TRUE(lines[0].endsWith(prog_.Path()));
  EXPECT_TRUE(lines[1].endsWith(prog_.Path()));
  EXPECT_TRUE(lines[2].contains(QStringLiteral("プログラムのフォルダに保存します")));
}

}  // namespace
