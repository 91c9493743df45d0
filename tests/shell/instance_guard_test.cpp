// The marker TLMWndMutex and the running-copy lock, within one process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>

#include "shell/instance_guard.h"
#include "support/temp_tree.h"

namespace {

class InstanceGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = qgetenv("XDG_RUNTIME_DIR");
    UseRuntime("run");
  }
  void TearDown() override {
    lm::ReleaseInstanceGuard();
    lm::ReleaseInstanceLock();
    if (saved.isNull())
      qunsetenv("XDG_RUNTIME_DIR");
    else
      qputenv("XDG_RUNTIME_DIR", saved);
  }
  QString UseRuntime(const QString& name) {
    const QString dir = tree.MakeDir(name);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
    return dir;
  }

  lmtest::TempTree tree;
  QByteArray saved;
};

TEST_F(InstanceGuardTest, MarkerLivesFromAcquireToRelease) {
  EXPECT_FALSE(lm::InstanceMarkerExists());
  EXPECT_EQ(lm::AcquireInstanceGuard(), 0);
  EXPECT_NE(lm::instanceMutex, 0);
  EXPECT_TRUE(lm::InstanceMarkerExists());
  EXPECT_EQ(lm::AcquireInstanceGuard(), -1);  // it exists already
  EXPECT_EQ(lm::ReleaseInstanceGuard(), 0);
  EXPECT_EQ(lm::instanceMutex, 0);
  EXPECT_FALSE(lm::InstanceMarkerExists());
  EXPECT_EQ(lm::ReleaseInstanceGuard(), 0);  // nothing held: harmless
  EXPECT_EQ(lm::AcquireInstanceGuard(), 0);  // created again after a release
}

TEST_F(InstanceGuardTest, LockIsKeyedByTheExecutablesRealPath) {
  const QString exe = tree.WriteFile("bin/loftmark", "x");
  const QString other = tree.WriteFile("bin2/loftmark", "x");
  const QString link = tree.Path("link-to-loftmark");
  ASSERT_TRUE(QFile::link(exe, link));
  EXPECT_EQ(lm::InstanceLockPath(exe), lm::InstanceLockPath(link));
  EXPECT_NE(lm::InstanceLockPath(exe), lm::InstanceLockPath(other));
  EXPECT_TRUE(lm::InstanceLockPath(exe).startsWith(tree.Path("run") + "/"));

  EXPECT_FALSE(lm::AnotherInstanceRunning(exe));   // takes the lock
  EXPECT_TRUE(lm::AnotherInstanceRunning(link));   // the same program
  EXPECT_FALSE(lm::AnotherInstanceRunning(other)); // another program file
  lm::ReleaseInstanceLock();
  EXPECT_FALSE(lm::AnotherInstanceRunning(exe));
}

TEST_F(InstanceGuardTest, UnusableRuntimeDirectoryNeverBlocks) {
  qputenv("XDG_RUNTIME_DIR", tree.Path("missing").toLocal8Bit());
  const QString dir = lm::RuntimeDirectory();
  // Either the private fallback below /tmp or nothing at all.
  if (!dir.isEmpty()) {
    EXPECT_TRUE(dir.startsWith("/tmp/loftmark-"));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
  }
  const QString exe = tree.WriteFile("bin/loftmark", "x");
  EXPECT_FALSE(lm::AnotherInstanceRunning(exe));
}

}  // namespace
