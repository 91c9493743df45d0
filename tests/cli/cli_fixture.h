// Runs the built program with a command, as a script or a CI job would: in
// a program folder of its own (a copy of the build's), with no display and
// no platform plugin set, standard input an empty pipe.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStringList>

#include "support/temp_tree.h"

namespace clitest {

struct Result {
  int code = -1;
  QString out;
  QString err;
};

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    const fs::path built = LM_BIN_DIR;
    ASSERT_TRUE(fs::exists(built / "loftmark")) << "build the loftmark target first";
    bin = tree.MakeDir(QStringLiteral("bin"));
    for (const auto& entry : fs::directory_iterator(built)) {
      if (!entry.is_regular_file()) continue;
      const std::string name = entry.path().filename().string();
      // Only the program and what it loads: what the build folder gathered
      // at earlier runs (lfup.ini, temp/, indexserver.fet) stays out.
      if (name == "lfup.ini" || name == "lfup.ini.bak" || name == "indexserver.fet" || name == "install.txt" ||
          name == "$")
        continue;
      fs::copy(entry.path(), QFile::encodeName(bin).toStdString() + "/" + name, fs::copy_options::overwrite_existing);
    }
    fs::copy(fs::path(LM_SOURCE_DIR) / "examples" / "scripts", QFile::encodeName(tree.Path("scripts")).toStdString(),
             fs::copy_options::recursive);
    program = bin + QStringLiteral("/loftmark");
  }

  // Prepares `p` to run in the tree's folder with no display set (and as
  // runAs when set), then starts `executable` with `args`.
  void Start(QProcess& p, const QString& executable, const QStringList& args,
             const QProcessEnvironment& extra = QProcessEnvironment()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    for (const QString& key : extra.keys()) env.insert(key, extra.value(key));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(tree.Path());
    if (runAs >= 0) {
      const int id = runAs;
      p.setChildProcessModifier([id] {
        if (::setgid(id) != 0 || ::setuid(id) != 0) ::_exit(99);
      });
    }
    p.start(executable, args);
    EXPECT_TRUE(p.waitForStarted(10000));
  }

  // Runs the program with `args` to its end.
  Result Loftmark(const QStringList& args, const QByteArray& input = QByteArray(),
                  const QProcessEnvironment& extra = QProcessEnvironment()) {
    QProcess p;
    Start(p, program, args, extra);
    if (!input.isEmpty()) p.write(input);
    // Standard input stays open (a pipe, not a terminal): a command that
    // waited for the keyboard would hang here and fail the test.
    EXPECT_TRUE(p.waitForFinished(120000)) << args.join(' ').toStdString();
    Result r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
  }

  // `count` files of 1 MiB that do not compress, named r00.bin, r01.bin, ...
  // in `rel`: enough data that an archiver or an upload runs for a while.
  void WriteRandomFiles(const QString& rel, int count) {
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < count; ++i) {
      for (qsizetype k = 0; k < block.size(); k += 4) {
        const quint32 v = QRandomGenerator::global()->generate();
        std::memcpy(block.data() + k, &v, 4);
      }
      tree.WriteFile(rel + QStringLiteral("/r%1.bin").arg(i, 2, 10, QLatin1Char('0')), block);
    }
  }

  lmtest::TempTree tree;
  QString bin;
  QString program;
  int runAs = -1;  // a user id to run the program as (root cannot be refused a write)
};

}  // namespace clitest
