// What the tests of builds at once and of killed builds share: two scripts
// with enough data that a build runs for a while, builds started as
// processes of the program, and the check of a folder's archives against
// the script they must hold, by lhasa, 7-Zip and cabextract.
#pragma once

#include <sys/stat.h>

#include <memory>

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "archive/build_test_support.h"
#include "cli/cli_fixture.h"
#include "util/text_file.h"

namespace clitest {

inline const QString kWaiting = QStringLiteral("別の処理が終わるのを待っています…");

// A script of the tree: its information file (relative to the tree), the
// folder of its DAT tree, the name the archives give its data directory, the
// profile name a command without a profile gives it.
struct Script {
  QString file;
  QString dat;
  QString datMember;
  QString profile;
  QString upperName;
};

class BuildsTest : public CommandLineTest {
 protected:
  void SetUp() override {
    CommandLineTest::SetUp();
    runtime = tree.MakeDir(QStringLiteral("runtime"));
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    const QString year = QString::number(QDate::currentDate().year() + 1);
    next1 = year + QStringLiteral(" 4 1 9 0");
    next2 = year + QStringLiteral(" 6 2 10 30");

    sample = {QStringLiteral("scripts/Sample.ugu"), QStringLiteral("scripts/Sample/DAT"), QStringLiteral("SAMPLE/dat"),
              QStringLiteral("Sample"), QStringLiteral("SAMPLE")};
    // A second script with names whose Shift-JIS form ends in 0x5C, a
    // one-character name, an empty file and a name with a blank.
    tree.WriteFile(QStringLiteral("other/Other.ugu"), "[script]\r\nname=other\r\n");
    tree.WriteFile(QStringLiteral("other/Other/DAT/mio00.euu"), "proof of the other script");
    tree.WriteFile(QStringLiteral("other/Other/DAT/表/ソ.txt"), "trail byte 0x5C");
    tree.WriteFile(QStringLiteral("other/Other/DAT/a"), "one");
    tree.WriteFile(QStringLiteral("other/Other/DAT/empty file.txt"), QByteArray());
    other = {QStringLiteral("other/Other.ugu"), QStringLiteral("other/Other/DAT"), QStringLiteral("OTHER/dat"),
             QStringLiteral("Other"), QStringLiteral("OTHER")};
    WriteRandomFiles(sample.dat + QStringLiteral("/big"), 6);
    WriteRandomFiles(other.dat + QStringLiteral("/big"), 6);
  }

  void TearDown() override { qunsetenv("XDG_RUNTIME_DIR"); }

  // Starts `loftmark build` of `script` (type all) into `out` (relative to
  // the tree) under the base name `name`.
  std::unique_ptr<QProcess> StartBuild(const Script& script, const QString& out, const QString& name,
                                       const QString& next, const QProcessEnvironment& extra = QProcessEnvironment()) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment all = env;
    for (const QString& key : extra.keys()) all.insert(key, extra.value(key));
    Start(*p, program,
          {QStringLiteral("build"), QStringLiteral("--script"), script.file, QStringLiteral("--type"),
           QStringLiteral("all"), QStringLiteral("--out"), out, QStringLiteral("--name"), name, QStringLiteral("--next"),
           next},
          all);
    return p;
  }

  Result Finish(QProcess& p) {
    // (waitForFinished says false for a process that has ended already.)
    if (p.state() != QProcess::NotRunning) {
      EXPECT_TRUE(p.waitForFinished(180000));
    }
    Result r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
  }

  Result Build(const Script& script, const QString& out, const QString& name, const QString& next,
               const QProcessEnvironment& extra = QProcessEnvironment()) {
    auto p = StartBuild(script, out, name, next, extra);
    return Finish(*p);
  }

  // The files the archives of `script` must hold, with the next update its
  // index.fet names: the information file, every file below DAT (index.fet
  // checked by its next update only) and install.txt.
  lmtest::Tree Expected(const Script& script) const {
    lmtest::Tree want;
    want[QFileInfo(script.file).fileName()] = tree.ReadFile(script.file);
    const QString dat = tree.Path(script.dat);
    for (const auto& [rel, bytes] : lmtest::TreeFiles(dat)) {
      if (rel.startsWith(QLatin1Char('.'))) continue;
      want[script.datMember + QLatin1Char('/') + rel] = bytes;
    }
    want[QStringLiteral("install.txt")] = lmtest::Sjis(QStringLiteral("type,script\r\nname,") + script.profile +
                                                      QStringLiteral("\r\ndirectory,") + script.upperName +
                                                      QStringLiteral("\r\nrefresh,1\r\n"));
    return want;
  }

  // What is wrong with the archives `name`.lzh/.exe/.qsc in `out` for
  // `script` built with `next`; empty when they are right.
  QString Mismatch(const QString& out, const QString& name, const Script& script, const QString& next,
                   const QStringList& exts = {QStringLiteral(".lzh"), QStringLiteral(".exe"), QStringLiteral(".qsc")}) {
    QString wrong;
    const QString base = tree.Path(out) + QLatin1Char('/') + name;
    lmtest::Tree want = Expected(script);
    const QString indexKey = script.datMember + QStringLiteral("/index.fet");
    const QByteArray header = "#NextUpdate " + next.toLatin1() + " \r\n";
    auto compare = [&](const char* reader, const QString& archive, lmtest::Tree got) {
      // The self-extracting file carries the option file "$" too.
      if (archive.endsWith(QLatin1String(".exe"))) {
        if (got[QStringLiteral("$")] != lmtest::Sjis(QStringLiteral("$InstallTitle=ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)\r\n")))
          wrong += QStringLiteral("%1 %2: option file differs\n").arg(reader, archive);
        got.erase(QStringLiteral("$"));
      }
      const QByteArray index = got[indexKey];
      if (!index.contains(header)) wrong += QStringLiteral("%1 %2: index.fet of another run\n").arg(reader, archive);
      got.erase(indexKey);
      lmtest::Tree expected = want;
      expected.erase(indexKey);
      if (got != expected) {
        wrong += QStringLiteral("%1 %2: members differ:").arg(reader, archive);
        for (const auto& [k, v] : got)
          if (!expected.count(k) || expected.at(k) != v) wrong += QLatin1Char(' ') + k;
        for (const auto& [k, v] : expected)
          if (!got.count(k)) wrong += QStringLiteral(" -") + k;
        wrong += QLatin1Char('\n');
      }
    };
    static int n = 0;
    const QString x = tree.Path(QStringLiteral("x%1").arg(++n));
    for (const QString& ext : exts) {
      const QString archive = base + ext;
      if (!QFileInfo::exists(archive)) {
        wrong += archive + QStringLiteral(" missing\n");
        continue;
      }
      if (ext == QLatin1String(".qsc")) {
        compare("cabextract", archive, lmtest::ExtractWithCabextract(archive, x + ext));
      } else {
        compare("lhasa", archive, lmtest::ExtractWithLhasa(archive, x + ext));
      }
    }
    // 7-Zip: every member's check, and the install file of this script.
    for (const QString& ext : exts) {
      if (ext == QLatin1String(".exe") || !QFileInfo::exists(base + ext)) continue;
      const QString archive = base + ext;
      const auto t = lmtest::RunTool(QStringLiteral("7zz"), {QStringLiteral("t"), archive});
      if (t.exitCode != 0) wrong += QStringLiteral("7zz t %1 failed\n").arg(archive);
      QProcess p;
      p.start(QStringLiteral("7zz"), {QStringLiteral("e"), QStringLiteral("-so"), archive, QStringLiteral("install.txt")});
      p.waitForFinished(60000);
      if (p.readAllStandardOutput() != want[QStringLiteral("install.txt")])
        wrong += QStringLiteral("7zz %1: install.txt of another script\n").arg(archive);
    }
    QDir(x).removeRecursively();
    return wrong;
  }

  void CheckArchives(const QString& out, const QString& name, const Script& script, const QString& next) {
    const QString wrong = Mismatch(out, name, script, next);
    EXPECT_TRUE(wrong.isEmpty()) << out.toStdString() << "/" << name.toStdString() << ":\n" << wrong.toStdString();
    // Nothing else of the build stays beside the archives.
    for (const QString& entry : lmtest::EntriesOf(tree.Path(out)))
      EXPECT_FALSE(entry.startsWith(QLatin1Char('.'))) << "left in " << out.toStdString() << ": " << entry.toStdString();
  }

  // Working folders left in the program folder.
  QStringList DeadWorkFolders() const { return lmtest::EntriesOf(bin + QStringLiteral("/builds")); }

  QString runtime;
  QProcessEnvironment env;
  QString next1, next2;
  Script sample, other;
};

}  // namespace clitest
