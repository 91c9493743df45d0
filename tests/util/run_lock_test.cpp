// The locks between runs: a lock held by another open file (as another
// process would hold it) makes a run wait through the waiter or give up;
// the locks of one process nest; a lock file goes with its last holder.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "support/temp_tree.h"
#include "util/run_lock.h"

namespace {

// Holds the lock file of `resource` through a descriptor of its own, as
// another process would.
class OtherHolder {
 public:
  explicit OtherHolder(const lm::RunResource& resource) {
    const QByteArray file = QFile::encodeName(lm::RunLockFolder()) + '/' +
                            QCryptographicHash::hash(resource.key.toUtf8(), QCryptographicHash::Sha1).toHex() + ".lock";
    fd_ = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0);
  }
  ~OtherHolder() { Release(); }
  void Release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

class ScriptedWaiter final : public lm::RunLockWaiter {
 public:
  ScriptedWaiter() { lm::SetRunLockWaiter(this); }
  ~ScriptedWaiter() override { lm::SetRunLockWaiter(nullptr); }
  bool Wait(const QString& busy, const std::function<bool()>& tryNow) override {
    told << busy;
    if (!wait) return false;
    if (tryNow()) return true;
    if (onWait) onWait();
    return tryNow();
  }
  bool wait = true;
  std::function<void()> onWait;
  QStringList told;
};

class RunLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime = tree.MakeDir(QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
  }
  void TearDown() override { qunsetenv("XDG_RUNTIME_DIR"); }
  QStringList LockFiles() const { return QDir(lm::RunLockFolder()).entryList(QDir::Files); }

  lmtest::TempTree tree;
  QString runtime;
};

TEST_F(RunLockTest, TheLockFolderIsPrivateBelowTheRuntimeFolder) {
  EXPECT_EQ(lm::RunLockFolder(), runtime + QStringLiteral("/loftmark-locks"));
  EXPECT_EQ(QFile::permissions(lm::RunLockFolder()) & (QFile::WriteGroup | QFile::WriteOther), QFile::Permissions());
}

TEST_F(RunLockTest, ResourcesAreTheSameForSpellingsOfOneThing) {
  const QString dat = tree.MakeDir(QStringLiteral("s/Sample/DAT"));
  const QString out = tree.MakeDir(QStringLiteral("dist"));
  EXPECT_EQ(lm::IndexFilesResource(dat).key, lm::IndexFilesResource(tree.Path(QStringLiteral("s/sample/dat/"))).key);
  EXPECT_EQ(lm::ArchiveNamesResource(out, QStringLiteral("Sample")).key,
            lm::ArchiveNamesResource(out + QStringLiteral("/"), QStringLiteral("sample")).key);
  EXPECT_NE(lm::ArchiveNamesResource(out, QStringLiteral("sample")).key,
            lm::ArchiveNamesResource(out, QStringLiteral("sample2")).key);
  EXPECT_NE(lm::IndexFilesResource(dat).key, lm::ArchiveNamesResource(dat, QStringLiteral("sample")).key);
  EXPECT_EQ(lm::ArchiveNamesResource(out, QStringLiteral("sample")).what,
            QStringLiteral("配布用アーカイブ『") + out + QStringLiteral("/sample.*』"));
}

TEST_F(RunLockTest, LocksOfOneProcessNestAndTheFileGoesWithTheLastHolder) {
  ScriptedWaiter waiter;
  const lm::RunResource r = lm::ArchiveNamesResource(tree.MakeDir(QStringLiteral("dist")), QStringLiteral("a"));
  {
    lm::RunLocks outer;
    ASSERT_TRUE(lm::TakeRunLocks({r}, outer));
    {
      lm::RunLocks inner;
      ASSERT_TRUE(lm::TakeRunLocks({r}, inner));
      // Fresh takers do not count this process's hold as free.
      lm::RunLocks fresh;
      EXPECT_FALSE(lm::TryTakeRunLock(r, fresh));
    }
    EXPECT_EQ(LockFiles().size(), 1);
  }
  EXPECT_EQ(LockFiles(), QStringList());
  EXPECT_EQ(waiter.told, QStringList());
}

TEST_F(RunLockTest, AHeldLockIsWaitedForOrGivenUpAndNothingIsHeldThen) {
  const QString out = tree.MakeDir(QStringLiteral("dist"));
  const lm::RunResource free = lm::ArchiveNamesResource(out, QStringLiteral("free"));
  const lm::RunResource busy = lm::ArchiveNamesResource(out, QStringLiteral("busy"));
  for (const bool wait : {false, true}) {
    SCOPED_TRACE(wait ? "wait" : "give up");
    ScriptedWaiter waiter;
    waiter.wait = wait;
    OtherHolder other(busy);
    waiter.onWait = [&] {
      // While the run waits it holds none of the two.
      lm::RunLocks probe;
      EXPECT_TRUE(lm::TryTakeRunLock(free, probe));
      other.Release();
    };
    lm::RunLocks held;
    EXPECT_EQ(lm::TakeRunLocks({free, busy}, held), wait);
    EXPECT_EQ(waiter.told, QStringList{busy.what});
    lm::RunLocks probe;
    EXPECT_EQ(lm::TryTakeRunLock(free, probe), !wait);
  }
}

TEST_F(RunLockTest, TheTextsNameWhatIsBusy) {
  EXPECT_EQ(lm::WaitingText(QStringLiteral("X")), QStringLiteral("別の処理が終わるのを待っています…（X）"));
  EXPECT_EQ(lm::BusyText(QStringLiteral("X")),
            QStringLiteral("Xは別の処理が使用中です。") + QChar(13) + QStringLiteral("処理を中止しました。"));
}

TEST_F(RunLockTest, NotesReachEveryListenerUntilItIsRemoved) {
  QStringList a, b;
  const int ia = lm::AddRunNoteListener([&](const QString& line) { a << line; });
  const int ib = lm::AddRunNoteListener([&](const QString& line) { b << line; });
  lm::RunNote(QStringLiteral("one"));
  lm::RemoveRunNoteListener(ia);
  lm::RunNote(QStringLiteral("two"));
  lm::RemoveRunNoteListener(ib);
  EXPECT_EQ(a, QStringList{QStringLiteral("one")});
  EXPECT_EQ(b, QStringList({QStringLiteral("one"), QStringLiteral("two")}));
}

}  // namespace
