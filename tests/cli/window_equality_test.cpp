// The commands write what the window writes: the same index files byte for
// byte and archives of the same size and members, for the same profile and
// next update. The window runs in this process on the offscreen platform and
// stays open while the commands run beside it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "cli/cli_fixture.h"
#include "shell/ui/main_window.h"
#include "shell/ui/startup.h"
#include "support/empty_profiles.h"
#include "support/scripted_message_box.h"
#include "support/window_session.h"
#include "util/app_globals.h"

namespace {

class WindowAndCommand : public clitest::CommandLineTest {
 protected:
  void SetUp() override {
    clitest::CommandLineTest::SetUp();
    lmtest::ResetProfiles();
    lm::makeTmpIndex = 0;
    session = std::make_unique<lmtest::WindowSession>(bin, tree.MakeDir("run"));
    year = QString::number(QDate::currentDate().year() + 1);
    next = {year, "4", "1", "9", "0"};
  }

  void TearDown() override {
    lmtest::WindowSession::End(window);
    session.reset();
  }

  void StartWindow(const QByteArray& ini) {
    tree.WriteFile("bin/lfup.ini", ini);
    window = lm::StartLoftmark(program, {});
    ASSERT_NE(window, nullptr);
  }

  template <class T>
  T* Find(const char* name) const {
    T* w = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  void TypeNextUpdate() {
    int k = 0;
    for (const char* n : {"Text1", "Text2", "Text3", "Text5", "Text6"}) Find<QLineEdit>(n)->setText(next[k++]);
  }

  QByteArray Profile(const QString& script, const QString& dirarc = QString()) const {
    QByteArray ini = "profile(000)=Sample\r\nugu(000)=" + script.toUtf8() + "\r\n";
    if (!dirarc.isEmpty()) ini += "dirarc(000)=" + dirarc.toUtf8() + "\r\nnamearc(000)=sample\r\n";
    return ini;
  }

  lmtest::ScriptedMessageBox boxes;
  std::unique_ptr<lm::FIND> window;
  std::unique_ptr<lmtest::WindowSession> session;
  QString year;
  QStringList next;
};

TEST_F(WindowAndCommand, IndexFilesAreTheSameBytes) {
  struct Case {
    const char* script;
    const char* dat;
  } cases[] = {{"scripts/Sample.ugu", "scripts/Sample/DAT/"}, {"scripts/beside/Beside.ugu", "scripts/beside/DAT/"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    StartWindow(Profile(tree.Path(c.script)));
    TypeNextUpdate();
    Find<QCheckBox>("Check1")->setChecked(true);
    QTest::mouseClick(Find<QRadioButton>("Option1"), Qt::LeftButton);
    boxes.Clear();
    QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);
    ASSERT_EQ(boxes.Texts(), QStringList{QStringLiteral("更新定義ファイルを出力しました。")});
    const QByteArray index = tree.ReadFile(QString::fromLatin1(c.dat) + "index.fet");
    const QByteArray tmp = tree.ReadFile(QString::fromLatin1(c.dat) + "indextmp.fet");
    ASSERT_FALSE(index.isEmpty());
    ASSERT_FALSE(tmp.isEmpty());
    QFile::remove(tree.Path(QString::fromLatin1(c.dat) + "index.fet"));
    QFile::remove(tree.Path(QString::fromLatin1(c.dat) + "indextmp.fet"));

    // The window is still open: the command runs beside it.
    ASSERT_TRUE(window->isVisible());
    const clitest::Result r = Loftmark({"index", "--profile", "Sample", "--next", next.join(' '), "--tmp"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("更新定義ファイルを出力しました。\n"));
    EXPECT_EQ(tree.ReadFile(QString::fromLatin1(c.dat) + "index.fet"), index);
    EXPECT_EQ(tree.ReadFile(QString::fromLatin1(c.dat) + "indextmp.fet"), tmp);
    lmtest::WindowSession::End(window);
  }
}

TEST_F(WindowAndCommand, ArchivesHoldTheSameMembers) {
  const QString windowOut = tree.MakeDir("dist/window");
  StartWindow(Profile(tree.Path("scripts/Sample.ugu"), windowOut));
  TypeNextUpdate();
  QTest::mouseClick(Find<QRadioButton>("Option2"), Qt::LeftButton);
  auto* combo1 = Find<QComboBox>("Combo1");
  combo1->setCurrentIndex(combo1->findText(lm::kArchiveTypeAll));
  boxes.Clear();
  QTest::mouseClick(Find<QPushButton>("Command1"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(windowOut + "/sample.qsc") && !lm::ArchiveBuildRunning(), 60000);
  ASSERT_EQ(boxes.Texts(), QStringList{lmtest::kMade});
  const QByteArray index = tree.ReadFile("scripts/Sample/DAT/index.fet");

  const clitest::Result r = Loftmark({"build", "--profile", "Sample", "--type", "all", "--out", "dist/command",
                                      "--next", next.join(' ')});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(tree.ReadFile("scripts/Sample/DAT/index.fet"), index);
  const QString commandOut = tree.Path("dist/command");
  // Byte for byte but for the times of the files each run writes anew
  // (index.fet, install.txt and, in the .exe, the option file "$"): each
  // such member may differ in its header's time stamp and header checksum.
  const struct {
    const char* ext;
    int freshMembers;
    int bytesPerMember;
  } archives[] = {{".lzh", 2, 6}, {".exe", 3, 6}, {".qsc", 2, 4}};
  for (const auto& a : archives) {
    SCOPED_TRACE(a.ext);
    const QByteArray mine = tree.ReadFile(QStringLiteral("dist/command/sample") + a.ext);
    const QByteArray theirs = tree.ReadFile(QStringLiteral("dist/window/sample") + a.ext);
    ASSERT_EQ(mine.size(), theirs.size());
    int differing = 0;
    for (qsizetype i = 0; i < mine.size(); ++i) differing += mine[i] != theirs[i] ? 1 : 0;
    EXPECT_LE(differing, a.freshMembers * a.bytesPerMember);
  }
  // Member for member, read by independent readers. (The archives record
  // the times of index.fet and install.txt, which each run writes anew.)
  EXPECT_EQ(lmtest::ExtractWithBsdtar(commandOut + "/sample.lzh", tree.Path("x/command-lzh")),
            lmtest::ExtractWithBsdtar(windowOut + "/sample.lzh", tree.Path("x/window-lzh")));
  EXPECT_EQ(lmtest::ExtractWithCabextract(commandOut + "/sample.qsc", tree.Path("x/command-qsc")),
            lmtest::ExtractWithCabextract(windowOut + "/sample.qsc", tree.Path("x/window-qsc")));
  EXPECT_EQ(lmtest::ExtractWithSelf(commandOut + "/sample.exe", tree.Path("x/command-exe")),
            lmtest::ExtractWithSelf(windowOut + "/sample.exe", tree.Path("x/window-exe")));
}

}  // namespace
