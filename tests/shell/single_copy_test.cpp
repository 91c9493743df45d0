// The real program as separate processes: one running copy per executable,
// a second start ends at once, a crashed copy does not block, and a
// termination request closes the window and saves the profiles.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include "shell/instance_guard.h"
#include "support/temp_tree.h"
#include "util/text_file.h"

namespace {

class SingleCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString built = QStringLiteral(LM_BIN_DIR "/loftmark");
    ASSERT_TRUE(QFile::exists(built)) << "build the loftmark target first";
    program = tree.MakeDir("bin") + "/loftmark";
    ASSERT_TRUE(QFile::copy(built, program));
    QFile::setPermissions(program, QFile::permissions(built));
    // The window lives in the module beside the program.
    ASSERT_TRUE(QFile::copy(QStringLiteral(LM_BIN_DIR "/loftmark-window.so"), tree.Path("bin/loftmark-window.so")));
    runtime = tree.MakeDir("run");
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
  }
  void TearDown() override {
    for (QProcess* p : started) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
      delete p;
    }
    if (savedRuntime.isNull())
      qunsetenv("XDG_RUNTIME_DIR");
    else
      qputenv("XDG_RUNTIME_DIR", savedRuntime);
  }

  QProcess* Launch() {
    auto* p = new QProcess;
    started << p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(program, {});
    EXPECT_TRUE(p->waitForStarted(10000));
    return p;
  }

  // Waits until a copy holds the marker and has had time to take its lock.
  bool WaitUntilRunning() {
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
      if (lm::InstanceMarkerExists()) {
        QThread::msleep(300);
        return true;
      }
      QThread::msleep(50);
    }
    return false;
  }

  void Terminate(QProcess* p) {
    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    ASSERT_TRUE(p->waitForFinished(20000));
  }

  lmtest::TempTree tree;
  QString program, runtime;
  QByteArray savedRuntime;
  QList<QProcess*> started;
};

TEST_F(SingleCopyTest, SecondStartEndsAtOnceAndTerminationSaves) {
  tree.WriteFile("bin/lfup.ini", "# written by hand\r\nprofile(000)=first\r\n");
  QProcess* first = Launch();
  ASSERT_TRUE(WaitUntilRunning());

  QProcess* second = Launch();
  ASSERT_TRUE(second->waitForFinished(10000));
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_EQ(first->state(), QProcess::Running);
  EXPECT_TRUE(lm::InstanceMarkerExists());

  Terminate(first);
  EXPECT_EQ(first->exitCode(), 0);
  EXPECT_FALSE(lm::InstanceMarkerExists());
  // The profile has no script, so the save writes no profile lines; the
  // hand-written comment is gone, which shows the file was written.
  EXPECT_TRUE(tree.ReadFile("bin/lfup.ini").isEmpty());
}

TEST_F(SingleCopyTest, CrashedCopyDoesNotBlockTheNextStart) {
  QProcess* crashed = Launch();
  ASSERT_TRUE(WaitUntilRunning());
  crashed->kill();
  ASSERT_TRUE(crashed->waitForFinished(10000));
  EXPECT_FALSE(lm::InstanceMarkerExists());

  QProcess* next = Launch();
  ASSERT_TRUE(WaitUntilRunning());
  EXPECT_FALSE(next->waitForFinished(1000));  // it stays
  EXPECT_EQ(next->state(), QProcess::Running);
  Terminate(next);
}

TEST_F(SingleCopyTest, CopiesOfDifferentExecutablesRunSideBySide) {
  const QString other = tree.MakeDir("other") + "/loftmark";
  ASSERT_TRUE(QFile::copy(program, other));
  QFile::setPermissions(other, QFile::permissions(program));
  ASSERT_TRUE(QFile::copy(tree.Path("bin/loftmark-window.so"), tree.Path("other/loftmark-window.so")));
  QProcess* first = Launch();
  ASSERT_TRUE(WaitUntilRunning());
  program = other;
  QProcess* second = Launch();
  EXPECT_FALSE(second->waitForFinished(1500));
  EXPECT_EQ(second->state(), QProcess::Running);
  Terminate(second);
  Terminate(first);
}

}  // namespace
