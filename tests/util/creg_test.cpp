#include <gtest/gtest.h>

#include <QFile>
#include <QMimeDatabase>

#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/scoped_env.h"
#include "util/cfile.h"
#include "util/creg.h"

namespace {

using lmtest::ScopedEnv;

// A private store and a private desktop: its own mimeapps.list and desktop entries.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    lm::cReg::SetStorePathForTesting(t_.Path(QStringLiteral("config/loftmark/registry.ini")));
    t_.WriteFile(QStringLiteral("config/mimeapps.list"),
                 "[Added Associations]\ntext/plain=other.desktop;\n"
                 "[Default Applications]\n"
                 "text/plain=not-installed.desktop;lmtest-viewer.desktop;\n"
                 "image/png=lmtest-quoted.desktop\n");
    t_.WriteFile(QStringLiteral("data/applications/lmtest-viewer.desktop"),
                 "[Desktop Entry]\nType=Application\nName=Viewer\nExec=lmview --title=%c --flag %F %U\n");
    t_.WriteFile(QStringLiteral("data/applications/lmtest-quoted.desktop"),
                 "[Desktop Entry]\nName=Pics\nExec=pics\\sapp \"%f\" 100%%\n"
                 "[Desktop Action x]\nExec=wrong %f\n");
    t_.WriteFile(QStringLiteral("data/applications/lmtest-plain.desktop"),
                 "[Desktop Entry]\nName=Plain\nExec=plainview\nMimeType=application/x-lmtest-declared;\n");
  }
  void TearDown() override { lm::cReg::SetStorePathForTesting(QString()); }

  lmtest::TempTree t_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", QFile::encodeName(t_.Path(QStringLiteral("config")))};
  ScopedEnv configDirs_{"XDG_CONFIG_DIRS", QFile::encodeName(t_.Path(QStringLiteral("noconfig")))};
  ScopedEnv dataHome_{"XDG_DATA_HOME", QFile::encodeName(t_.Path(QStringLiteral("data")))};
  ScopedEnv desktop_{"XDG_CURRENT_DESKTOP", QByteArray()};
  lmtest::ScriptedMessageBox boxes_;
};

TEST_F(Registry, StoreIsConsultedFirstAndIgnoresCase) {
  lm::cReg reg;
  EXPECT_EQ(reg.RegGetString(lm::kHkeyCurrentUser, QStringLiteral("Software\\Loftmark"), QStringLiteral("x")),
            QString());
  EXPECT_TRUE(reg.RegSetString(lm::kHkeyCurrentUser, QStringLiteral("Software\\Loftmark"), QStringLiteral("Last"),
                               QStringLiteral("C:\\スクリプト/a b=c;d%e")));
  EXPECT_EQ(reg.RegGetString(lm::kHkeyCurrentUser, QStringLiteral("SOFTWARE\\loftmark"), QStringLiteral("LAST")),
            QStringLiteral("C:\\スクリプト/a b=c;d%e"));
  // Another root or another key is another value.
  EXPECT_EQ(reg.RegGetString(lm::kHkeyLocalMachine, QStringLiteral("Software\\Loftmark"), QStringLiteral("Last")),
            QString());
  EXPECT_EQ(reg.RegGetString(lm::kHkeyCurrentUser, QStringLiteral("Software/Loftmark"), QStringLiteral("Last")),
            QString());
  // The store wins over the desktop's answer, and it survives a new object.
  EXPECT_TRUE(reg.RegSetString(lm::kHkeyClassesRoot, QStringLiteral(".txt"), QString(), QStringLiteral("Mine")));
  EXPECT_EQ(lm::cReg().RegGetString(lm::kHkeyClassesRoot, QStringLiteral(".TXT"), QString()), QStringLiteral("Mine"));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(Registry, WriteFailureShowsTheErrorAndGivesFalse) {
  t_.WriteFile(QStringLiteral("blocker"), "x");
  lm::cReg::SetStorePathForTesting(t_.Path(QStringLiteral("blocker/registry.ini")));
  lm::cReg reg;
  EXPECT_FALSE(reg.RegSetString(lm::kHkeyCurrentUser, QStringLiteral("k"), QStringLiteral("v"), QStringLiteral("x")));
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_TRUE(boxes_.Shown()[0].text.startsWith(QStringLiteral("ERROR #"))) << boxes_.Shown()[0].text.toStdString();
  EXPECT_TRUE(boxes_.Shown()[0].text.contains(QStringLiteral(" : ")));
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
  EXPECT_EQ(boxes_.Shown()[0].title, QStringLiteral("Loftmark"));
}

TEST_F(Registry, ClassesRootFromTheMimeDatabase) {
  const lm::cReg reg;
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral(".txt"), QString()), QStringLiteral("text/plain"));
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral("text/plain"), QString()),
            QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment());
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral(".qqzzunknown"), QString()), QString());
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral("."), QString()), QString());
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral(".txt"), QStringLiteral("Content Type")), QString());
  EXPECT_EQ(reg.RegGetString(lm::kHkeyCurrentUser, QStringLiteral(".txt"), QString()), QString());
}

TEST_F(Registry, OpenCommandsFromDefaultApplications) {
  const lm::cReg reg;
  // The first installed entry of the default list; %c dropped, the first file code is "%1".
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral("text/plain\\shell\\open\\command"), QString()),
            QStringLiteral("lmview --title= --flag \"%1\""));
  EXPECT_EQ(reg.RegGetString(lm::kHkeyClassesRoot, QStringLiteral(".txt\\shell\\open\\command"), QString()),
            QStringLiteral("lmview --title= --flag \"%1\""));
  // Escapes, an already quoted code and "%%".
  EXPECT_EQ(lm::cReg::CommandOfDesktopEntry(QStringLiteral("lmtest-quoted.desktop")),
            QStringLiteral("pics app \"%1\" 100%"));
  EXPECT_EQ(lm::cReg::DefaultApplicationFor(QStringLiteral("application/x-lmtest-declared")),
            QStringLiteral("lmtest-plain.desktop"));
  EXPECT_EQ(lm::cReg::DefaultApplicationFor(QStringLiteral("application/x-lmtest-nobody")), QString());
  EXPECT_EQ(lm::cReg::CommandOfDesktopEntry(QStringLiteral("not-installed.desktop")), QString());
}

TEST_F(Registry, FileTypeAndExecutableThroughTheClassesRoot) {
  lm::cReg reg;
  const lm::cFile f;
  EXPECT_EQ(f.GetFileType(QStringLiteral("/x/a.qqzzunknown")), QStringLiteral("QQZZUNKNOWN ﾌｧｲﾙ"));
  EXPECT_EQ(f.GetFileType(QStringLiteral("/x/noext")), QStringLiteral(" ﾌｧｲﾙ"));
  EXPECT_EQ(f.GetFileType(QStringLiteral("/x/a.TXT")),
            QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment());
  EXPECT_EQ(f.Executable(QStringLiteral("/x/a b.txt")), QStringLiteral("lmview --title= --flag \"/x/a b.txt\""));
  EXPECT_EQ(f.Executable(QStringLiteral("/x/a.qqzzunknown")), QString());

  // Types registered in the store: a description and commands with and without "%1".
  ASSERT_TRUE(reg.RegSetString(lm::kHkeyClassesRoot, QStringLiteral(".lmx"), QString(), QStringLiteral("Loftmark.Doc")));
  ASSERT_TRUE(reg.RegSetString(lm::kHkeyClassesRoot, QStringLiteral("Loftmark.Doc"), QString(),
                               QStringLiteral("ロフトマーク文書")));
  ASSERT_TRUE(reg.RegSetString(lm::kHkeyClassesRoot, QStringLiteral("loftmark.doc\\shell\\open\\command"), QString(),
                               QStringLiteral("viewer.exe %1 /x %1")));
  EXPECT_EQ(f.GetFileType(QStringLiteral("C:\\d\\a.LMX")), QStringLiteral("ロフトマーク文書"));
  EXPECT_EQ(f.Executable(QStringLiteral("C:\\d\\a.lmx")), QStringLiteral("viewer.exe C:\\d\\a.lmx /x %1"));
  ASSERT_TRUE(reg.RegSetString(lm::kHkeyClassesRoot, QStringLiteral("Loftmark.Doc\\shell\\open\\command"), QString(),
                               QStringLiteral("viewer.exe")));
  EXPECT_EQ(f.Executable(QStringLiteral("C:\\d\\a.lmx")), QStringLiteral("viewer.exe C:\\d\\a.lmx"));
  // An extension without a type: the command under the extension's own key.
  ASSERT_TRUE(reg.RegSetString(lm::kHkeyClassesRoot, QStringLiteral(".lmy\\shell\\open\\command"), QString(),
                               QStringLiteral("\"/opt/y\" \"%1\"")));
  EXPECT_EQ(f.Executable(QStringLiteral("/d/f.lmy")), QStringLiteral("\"/opt/y\" \"/d/f.lmy\""));
}

}  // namespace
