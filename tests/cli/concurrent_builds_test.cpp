// Builds that run at the same time, as real processes: two commands, or the
// window (driven in this process on the offscreen platform) and a command.
// Each build works in a folder of its own and holds its script and its
// archive names while it runs, so both succeed and every archive holds its
// own script only, checked with lhasa, 7-Zip and cabextract. A build that
// needs what another run holds waits (saying so once) or, with --no-wait,
// stops at once naming what is busy.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

#include <QComboBox>
#include <QDate>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "cli/cli_fixture.h"
#include "cli/concurrent_support.h"
#include "shell/ui/main_window.h"
#include "shell/ui/startup.h"
#include "support/empty_profiles.h"
#include "support/scripted_message_box.h"
#include "support/window_session.h"
#include "util/app_globals.h"
#include "util/run_lock.h"

namespace {

using clitest::BuildsTest;
using clitest::Script;
using clitest::kWaiting;

TEST_F(BuildsTest, TwoCommandsBuildingAtOnceEachMakeTheirOwnArchives) {
  struct Case {
    const char* label;
    bool otherScript;
    const char* firstOut;
    const char* firstName;
    const char* secondOut;
    const char* secondName;
  } cases[] = {
      {"different scripts, different folders", true, "dist/a", "sample", "dist/b", "other"},
      {"different scripts, one folder", true, "dist/one", "sample", "dist/one", "other"},
      {"one script, different folders", false, "dist/s1", "sample", "dist/s2", "sample"},
      {"different scripts, one folder, the same names", true, "dist/same", "pkg", "dist/same", "pkg"},
      {"one script, one folder, the same names", false, "dist/both", "pkg", "dist/both", "pkg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Script& second = c.otherScript ? other : sample;
    const QString firstName = QString::fromLatin1(c.firstName);
    const QString secondName = QString::fromLatin1(c.secondName);
    auto a = StartBuild(sample, c.firstOut, firstName, next1);
    auto b = StartBuild(second, c.secondOut, secondName, next2);
    const clitest::Result ra = Finish(*a);
    const clitest::Result rb = Finish(*b);
    ASSERT_EQ(ra.code, 0) << ra.err.toStdString();
    ASSERT_EQ(rb.code, 0) << rb.err.toStdString();
    const bool aWaited = ra.err.contains(kWaiting);
    const bool bWaited = rb.err.contains(kWaiting);
    EXPECT_FALSE(aWaited && bWaited);
    if (QLatin1String(c.firstOut) == QLatin1String(c.secondOut) && firstName == secondName) {
      // The same archives: the names hold the complete archives of the run
      // that ended last, the one that waited.
      if (aWaited) {
        CheckArchives(c.firstOut, firstName, sample, next1);
      } else if (bWaited) {
        CheckArchives(c.secondOut, secondName, second, next2);
      } else {
        // The first had ended before the second began: either set, whole.
        EXPECT_TRUE(Mismatch(c.firstOut, firstName, sample, next1).isEmpty() ||
                    Mismatch(c.secondOut, secondName, second, next2).isEmpty());
      }
    } else {
      CheckArchives(c.firstOut, firstName, sample, next1);
      CheckArchives(c.secondOut, secondName, second, next2);
    }
    EXPECT_EQ(DeadWorkFolders(), QStringList());
  }
}

TEST_F(BuildsTest, ARunThatFindsTheArchivesBusyWaitsOrWithNoWaitStops) {
  for (const bool script : {false, true}) {
    SCOPED_TRACE(script ? "the script's index files" : "the archive names");
    // This process holds what the command needs, as another run would.
    const QString out = tree.MakeDir("dist/busy");
    lm::RunLocks held;
    const lm::RunResource busy = script ? lm::IndexFilesResource(tree.Path("scripts/Sample/DAT"))
                                        : lm::ArchiveNamesResource(out, QStringLiteral("sample"));
    ASSERT_TRUE(lm::TryTakeRunLock(busy, held));

    const clitest::Result refused = Loftmark({"build", "--script", sample.file, "--type", "all", "--out", "dist/busy",
                                              "--next", next1, "--no-wait"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(busy.what + QStringLiteral("は別の処理が使用中です。"))) << refused.err.toStdString();
    EXPECT_EQ(lmtest::EntriesOf(out), QStringList());

    auto waiting = StartBuild(sample, "dist/busy", QStringLiteral("sample"), next1);
    // It says once that it waits, and waits.
    QDeadlineTimer deadline(60000);
    QByteArray err;
    while (!err.contains("別の処理が終わるのを待っています…") && !deadline.hasExpired()) {
      waiting->waitForReadyRead(200);
      err += waiting->readAllStandardError();
    }
    ASSERT_TRUE(err.contains("別の処理が終わるのを待っています…")) << err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(err).contains(busy.what));
    QThread::msleep(500);
    EXPECT_EQ(waiting->state(), QProcess::Running);
    EXPECT_EQ(lmtest::EntriesOf(out), QStringList());
    held.Release();
    const clitest::Result done = Finish(*waiting);
    ASSERT_EQ(done.code, 0) << done.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(err + done.err.toUtf8()).count(kWaiting), 1);
    CheckArchives("dist/busy", QStringLiteral("sample"), sample, next1);
    QDir(out).removeRecursively();
  }
}

// The window's build of one script beside a command's build.
class WindowBesideCommand : public BuildsTest {
 protected:
  void SetUp() override {
    BuildsTest::SetUp();
    lmtest::ResetProfiles();
    lm::makeTmpIndex = 0;
    session = std::make_unique<lmtest::WindowSession>(bin, runtime);
  }
  void TearDown() override {
    lmtest::WindowSession::End(window);
    session.reset();
  }

  void StartWindow(const Script& script, const QString& out, const QString& next) {
    tree.WriteFile("bin/lfup.ini", "profile(000)=" + script.profile.toUtf8() + "\r\nugu(000)=" +
                                       tree.Path(script.file).toUtf8() + "\r\ndirarc(000)=" + tree.MakeDir(out).toUtf8() +
                                       "\r\nnamearc(000)=sample\r\n");
    window = lm::StartLoftmark(program, {});
    ASSERT_NE(window, nullptr);
    int k = 0;
    const QStringList parts = next.split(QLatin1Char(' '));
    for (const char* n : {"Text1", "Text2", "Text3", "Text5", "Text6"})
      window->findChild<QLineEdit*>(QString::fromLatin1(n))->setText(parts[k++]);
    QTest::mouseClick(window->findChild<QRadioButton*>(QStringLiteral("Option2")), Qt::LeftButton);
    auto* combo1 = window->findChild<QComboBox*>(QStringLiteral("Combo1"));
    combo1->setCurrentIndex(combo1->findText(lm::kArchiveTypeAll));
  }

  lmtest::ScriptedMessageBox boxes;
  std::unique_ptr<lm::FIND> window;
  std::unique_ptr<lmtest::WindowSession> session;
};

TEST_F(WindowBesideCommand, BothBuildsSucceedAndEachPackageHoldsItsOwnScript) {
  struct Case {
    const char* label;
    bool sameScript;
  } cases[] = {{"different scripts", false}, {"the same script", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const QString windowOut = QStringLiteral("dist/window-") + QString::number(c.sameScript);
    const QString commandOut = QStringLiteral("dist/command-") + QString::number(c.sameScript);
    StartWindow(sample, windowOut, next1);
    boxes.Clear();
    const Script& theirs = c.sameScript ? sample : other;
    auto command = StartBuild(theirs, commandOut, QStringLiteral("sample"), next2);
    // Started after the command: on the same script the window waits for it
    // in its dialog, or the command waits for the window.
    bool sawWait = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
      if (auto* d = window->findChild<QProgressDialog*>(QStringLiteral("RunWait")); d && d->isVisible()) {
        sawWait = true;
        EXPECT_TRUE(d->labelText().startsWith(kWaiting));
      }
    });
    look.start(20);
    QThread::msleep(300);
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!lm::ArchiveBuildRunning(), 120000);
    look.stop();
    const clitest::Result r = Finish(*command);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(boxes.Texts(), QStringList{lmtest::kMade});
    if (c.sameScript) {
      EXPECT_TRUE(sawWait || r.err.contains(kWaiting)) << r.err.toStdString();
    }
    CheckArchives(windowOut, QStringLiteral("sample"), sample, next1);
    CheckArchives(commandOut, QStringLiteral("sample"), theirs, next2);
    lmtest::WindowSession::End(window);
  }
}

}  // namespace
