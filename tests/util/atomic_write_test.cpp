// Replacing a set of files together: all of them or none.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string_view>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>

#include "support/temp_tree.h"
#include "util/atomic_write_hooks.h"
#include "util/text_file.h"

namespace {

QStringList NamesIn(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t ModeOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

int FailRenameOfC(const char* from, const char* to) {
  if (std::string_view(to).ends_with("/c.txt")) {
    errno = ENOSPC;
    return -1;
  }
  return ::rename(from, to);
}

class WriteTogetherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.WriteFile(QStringLiteral("a.txt"), "old a");
    tree_.WriteFile(QStringLiteral("c.txt"), "old c");
    ::chmod(QFile::encodeName(tree_.Path(QStringLiteral("a.txt"))).constData(), 0640);
  }
  std::vector<lm::FileReplacement> Set() const {
    return {{tree_.Path(QStringLiteral("a.txt")), "new a"},
            {tree_.Path(QStringLiteral("b.txt")), "new b"},
            {tree_.Path(QStringLiteral("c.txt")), "new c"}};
  }
  lmtest::TempTree tree_;
};

TEST_F(WriteTogetherTest, ReplacesAndCreatesEveryFileKeepingModes) {
  lm::FileError error;
  ASSERT_TRUE(lm::WriteFilesTogether(Set(), &error));
  EXPECT_TRUE(error.ok());
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("a.txt")), "new a");
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("b.txt")), "new b");
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("c.txt")), "new c");
  EXPECT_EQ(ModeOf(tree_.Path(QStringLiteral("a.txt"))), 0640u);
  EXPECT_EQ(NamesIn(tree_.Path()), (QStringList{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(WriteTogetherTest, LastRenameFailingPutsEveryEarlierFileBack) {
  const lm::RenameFunction old = lm::SetRenameFunctionForTests(&FailRenameOfC);
  lm::FileError error;
  QString failed;
  EXPECT_FALSE(lm::WriteFilesTogether(Set(), &error, &failed));
  lm::SetRenameFunctionForTests(old);
  EXPECT_EQ(error.errnoValue, ENOSPC);
  EXPECT_EQ(failed, tree_.Path(QStringLiteral("c.txt")));
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("a.txt")), "old a");
  EXPECT_EQ(tree_.ReadFile(QStringLiteral("c.txt")), "old c");
  EXPECT_EQ(ModeOf(tree_.Path(QStringLiteral("a.txt"))), 0640u);
  // b.txt did not exist before and is gone again; no temporary file is left.
  EXPECT_EQ(NamesIn(tree_.Path()), (QStringList{"a.txt", "c.txt"}));
}

TEST_F(WriteTogetherTest, TargetThatMayNotBeReplacedStopsBeforeAnyWrite) {
  struct Case {
    const char* what;
    std::function<void(lmtest::TempTree&)> prepare;
    lm::FileError::Kind kind;
  };
  const Case cases[] = {
      {"last target has no write bits",
       [](lmtest::TempTree& t) { ::chmod(QFile::encodeName(t.Path(QStringLiteral("c.txt"))).constData(), 0444); },
       lm::FileError::Kind::PermissionDenied},
      {"middle target is a directory", [](lmtest::TempTree& t) { t.MakeDir(QStringLiteral("b.txt")); },
       lm::FileError::Kind::Io},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lmtest::TempTree t;
    t.WriteFile(QStringLiteral("a.txt"), "old a");
    t.WriteFile(QStringLiteral("c.txt"), "old c");
    c.prepare(t);
    const QStringList before = NamesIn(t.Path());
    lm::FileError error;
    EXPECT_FALSE(lm::WriteFilesTogether({{t.Path(QStringLiteral("a.txt")), "new a"},
                                         {t.Path(QStringLiteral("b.txt")), "new b"},
                                         {t.Path(QStringLiteral("c.txt")), "new c"}},
                                        &error));
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(t.ReadFile(QStringLiteral("a.txt")), "old a");
    EXPECT_EQ(t.ReadFile(QStringLiteral("c.txt")), "old c");
    EXPECT_EQ(NamesIn(t.Path()), before);
    ::chmod(QFile::encodeName(t.Path(QStringLiteral("c.txt"))).constData(), 0644);
  }
}

// A file that holds a secret is for its owner alone, new or replaced; any
// other file keeps the mode it had.
TEST(WriteOwnerOnly, ModesOfNewAndReplacedFiles) {
  lmtest::TempTree t;
  const mode_t mask = ::umask(022);
  struct Case {
    const char* what;
    int before;  // mode of the existing file, -1 when there is none
    bool ownerOnly;
    int after;
  } cases[] = {
      {"new private file", -1, true, 0600},
      {"new ordinary file", -1, false, 0644},
      {"readable by all, made private", 0644, true, 0600},
      {"group-readable, made private", 0640, true, 0600},
      {"already private", 0600, true, 0600},
      {"owner may execute: kept, others' bits gone", 0755, true, 0700},
      {"ordinary file keeps its mode", 0640, false, 0640},
      {"private file stays private without a secret", 0600, false, 0600},
  };
  int n = 0;
  for (const Case& c : cases) {
    const QString path = t.Path(QStringLiteral("f%1.ini").arg(n++));
    if (c.before >= 0) {
      t.WriteFile(QFileInfo(path).fileName(), "old");
      ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(c.before)), 0);
    }
    lm::FileError error;
    ASSERT_TRUE(lm::WriteFileAtomically(path, "new", &error, c.ownerOnly)) << c.what;
    EXPECT_EQ(ModeOf(path), static_cast<mode_t>(c.after)) << c.what;
    EXPECT_EQ(t.ReadFile(QFileInfo(path).fileName()), QByteArray("new")) << c.what;
  }
  ::umask(mask);
  // No temporary file is left.
  EXPECT_EQ(NamesIn(t.Path()).filter(QStringLiteral(".f")), QStringList());
}

}  // namespace
