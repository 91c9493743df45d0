// Both archiver libraries take a source whole or fail: a file or folder they
// cannot read, a path too deep for the system, a FIFO or device among the
// selected names make the command fail with a code and a message naming it,
// the older archive stays as it was, and nothing waits on a FIFO.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "archive/archiver_wrapper.h"
#include "archive/common/result_codes.h"
#include "archiver_test_support.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"

namespace {

struct Library {
  const char* name;
  const char* file;
  std::function<std::unique_ptr<lm::cArchiver>()> make;
  // The command that packs every file below `src` (recursing) into `archive`.
  std::function<QString(const QString& archive, const QString& src)> pack;
  QString archiveName;
};

void PrintTo(const Library& library, std::ostream* os) { *os << library.name; }

const Library kLibraries[] = {
    {"UnLHA32", "UnLHA32.DLL", [] { return std::unique_ptr<lm::cArchiver>(new lm::cUnLHA); },
     [](const QString& a, const QString& s) { return "a " + a + " " + s + "\\ *.* -r2 -x1"; }, "old.lzh"},
    {"Cab32", "Cab32.DLL", [] { return std::unique_ptr<lm::cArchiver>(new lm::cCAB); },
     [](const QString& a, const QString& s) { return "-a -r " + a + " " + s + "\\ *.*"; }, "old.cab"},
};

// A chain of folders whose full path is longer than the system takes in one
// call, with a file at the bottom: made level by level from an open folder.
std::string MakeTooDeepTree(const std::string& root) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  const std::string level(200, 'd');
  std::string rel;
  for (int i = 0; i < 24 && fd >= 0; ++i) {
    ::mkdirat(fd, level.c_str(), 0777);
    const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    rel += "/" + level;
  }
  EXPECT_GE(fd, 0);
  const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0644);
  EXPECT_GE(file, 0);
  ::close(file);
  ::close(fd);
  return rel;
}

class SourceRefusal : public ::testing::TestWithParam<Library> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lmtest::HaveLibrary(GetParam().file)) << GetParam().file << " is not built in " << LM_BIN_DIR;
    tree_.WriteFile(QStringLiteral("src/ok.txt"), "ok");
    tree_.WriteFile(QStringLiteral("src/sub/also.txt"), "also");
    archive_ = tree_.Path(GetParam().archiveName);
    // An older archive that a failed command must leave alone.
    Run(GetParam().pack(archive_, tree_.Path(QStringLiteral("src"))), 0);
    QFile f(archive_);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    before_ = f.readAll();
  }

  int Run(const QString& command, int expected, QString* output = nullptr) {
    auto arc = GetParam().make();
    arc->SetCommandLine(command);
    EXPECT_EQ(arc->ReturnCode(), expected) << command.toStdString() << "\n" << arc->OutPut().toStdString();
    if (output) *output = arc->OutPut();
    return arc->ReturnCode();
  }

  void ExpectOlderArchiveKept() {
    QFile f(archive_);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before_);
    // No work file left beside it.
    EXPECT_EQ(QDir(tree_.Path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
  }

  lmtest::ProgramDirScope scope_{lmtest::BinDir()};
  lmtest::ScriptedMessageBox boxes_;
  lmtest::TempTree tree_;
  QString archive_;
  QByteArray before_;
};

TEST_P(SourceRefusal, SourcesThatCannotBeTakenWholeFailTheCommand) {
  const bool lha = std::string(GetParam().name) == "UnLHA32";
  struct Case {
    const char* what;
    std::function<QString()> make;  // returns the name the message must hold
    int lhaCode, cabCode;
  } cases[] = {
      {"FIFO", [&] {
         ::mkfifo(tree_.Path(QStringLiteral("src/sub/pipe.txt")).toUtf8().constData(), 0644);
         return QStringLiteral("pipe.txt");
       },
       ARC_ERROR_UNKNOWN_TYPE, ARC_ERROR_FILE_OPEN},
      {"link to nothing", [&] {
         ::symlink("/nonexistent/target", tree_.Path(QStringLiteral("src/gone.txt")).toUtf8().constData());
         return QStringLiteral("gone.txt");
       },
       ARC_ERROR_FILE_OPEN, ARC_ERROR_FILE_OPEN},
      {"too deep", [&] {
         MakeTooDeepTree(tree_.Path(QStringLiteral("src/sub")).toStdString());
         return QStringLiteral("path too long");
       },
       ARC_ERROR_FILE_OPEN, ARC_ERROR_FILE_OPEN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QString needle = c.make();
    QString out;
    Run(GetParam().pack(archive_, tree_.Path(QStringLiteral("src"))), lha ? c.lhaCode : c.cabCode, &out);
    EXPECT_TRUE(out.contains(needle)) << out.toStdString();
    ExpectOlderArchiveKept();
    // Clear the case away for the next one.
    // rm walks from open folders, so it also clears a tree too deep for paths.
    ASSERT_EQ(std::system(("rm -rf '" + tree_.Path(QStringLiteral("src")).toStdString() + "'").c_str()), 0);
    tree_.WriteFile(QStringLiteral("src/ok.txt"), "ok");
    tree_.WriteFile(QStringLiteral("src/sub/also.txt"), "also");
  }
}

TEST_P(SourceRefusal, AFifoInTheArchivesPlaceIsRefusedAtOnce) {
  const QString fifo = tree_.Path(QStringLiteral("pipe.") + GetParam().archiveName.section('.', -1));
  ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0644), 0);
  const bool lha = std::string(GetParam().name) == "UnLHA32";
  // Were it opened for reading, the command would wait for a writer for ever.
  Run(GetParam().pack(fifo, tree_.Path(QStringLiteral("src"))), lha ? ARC_ERROR_ARC_FILE_OPEN : ARC_ERROR_TMP_OPEN);
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.toUtf8().constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (lha) {
    Run("x " + fifo + " " + tree_.Path(QStringLiteral("out")) + "\\", ARC_ERROR_ARC_FILE_OPEN);
    Run("l " + fifo, ARC_ERROR_ARC_FILE_OPEN);
  }
}

TEST_P(SourceRefusal, AFolderTheUserCannotReadFailsTheCommand) {
  // Run as an ordinary user: root reads every folder whatever its mode.
  tree_.WriteFile(QStringLiteral("src/locked/secret.txt"), "s");
  ::chmod(tree_.Path().toUtf8().constData(), 0777);
  ::chmod(tree_.Path(QStringLiteral("src")).toUtf8().constData(), 0777);
  ::chmod(tree_.Path(QStringLiteral("src/sub")).toUtf8().constData(), 0777);
  ::chmod(archive_.toUtf8().constData(), 0666);
  ::chmod(tree_.Path(QStringLiteral("src/locked")).toUtf8().constData(), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(90);
    auto arc = GetParam().make();
    arc->SetCommandLine(GetParam().pack(archive_, tree_.Path(QStringLiteral("src"))));
    const bool named = arc->OutPut().contains(QStringLiteral("locked"));
    ::_exit(arc->ReturnCode() == ARC_ERROR_FILE_OPEN && named ? 0 : 91);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "90: cannot change user; 91: the command did not fail naming the folder";
  ::chmod(tree_.Path(QStringLiteral("src/locked")).toUtf8().constData(), 0755);
  ExpectOlderArchiveKept();
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, SourceRefusal, ::testing::ValuesIn(kLibraries),
                         [](const ::testing::TestParamInfo<Library>& i) { return std::string(i.param.name); });

}  // namespace
