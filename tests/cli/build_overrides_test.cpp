// The build command's --out, --name and --fast are values of that one build:
// run in this process through the command's own code, they decide where the
// archives go, what they are called and how the LZH archive is packed, while
// the profile table (and so what lfup.ini would be written from) stays as it
// was read.
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>

#include "archive/build_test_support.h"
#include "profiles/profile_store.h"
#include "shell/cli/arguments.h"
#include "shell/cli/command_context.h"
#include "shell/cli/command_line.h"
#include "shell/cli/commands.h"
#include "shell/cli/console_sink.h"
#include "support/empty_profiles.h"
#include "util/app_globals.h"

namespace {

int RunBuild(const QStringList& words) {
  lm::cli::Arguments args;
  QString error;
  EXPECT_TRUE(args.Parse(words, error)) << error.toStdString();
  lm::cli::ConsoleMessageSink sink(false);
  lm::cli::CommandContext ctx{args, sink};
  return lm::cli::RunBuildCommand(ctx);
}

QString NextYear() { return QString::number(QDate::currentDate().year() + 1) + QStringLiteral(" 4 1 9 0"); }

class BuildOverridesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lmtest::ResetProfiles();
    lm::makeTmpIndex = 0;
    script_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Sample.ugu"));
    // Stored as the build would keep it: an attachment in its kept form,
    // a trimmed script path, a folder and a name of its own.
    settings_ = tree_.Path(QStringLiteral("settings/lfup.ini"));
    tree_.WriteFile(QStringLiteral("settings/lfup.ini"),
                    "profile(000)=Sample\r\nugu(000)=" + script_.scriptFile.toUtf8() + "\r\ndirarc(000)=" +
                        script_.arcDir.toUtf8() + "\r\nnamearc(000)=stored\r\naddarc(000)=extra.txt\r\n" +
                        "addfile(000)=000" + (script_.scriptDir + QStringLiteral("doc/readme.txt")).toUtf8() +
                        "\r\naddfilecnt(000)=1\r\ndefault(000)=1\r\n");
    lm::LoadProfilesFrom(settings_);
    ASSERT_EQ(lm::lastProfile, 0);
    ASSERT_EQ(lm::profileTable[0].namearc, QStringLiteral("stored"));
    linesBefore_ = lm::ProfileFileLines();
    fileBefore_ = tree_.ReadFile(QStringLiteral("settings/lfup.ini"));
  }

  // The table as lfup.ini would be written from it, and the file itself,
  // are what they were before the build.
  void ExpectSettingsUnchanged() {
    EXPECT_EQ(lm::ProfileFileLines(), linesBefore_);
    EXPECT_EQ(tree_.ReadFile(QStringLiteral("settings/lfup.ini")), fileBefore_);
    EXPECT_EQ(lm::profileTable[0].dirarc, script_.arcDir);
    EXPECT_EQ(lm::profileTable[0].namearc, QStringLiteral("stored"));
    EXPECT_EQ(lm::profileTable[0].addarc, QStringLiteral("extra.txt"));
  }

  lmtest::TempTree tree_;
  lmtest::ProgramDirScope programDir_{lmtest::SharedProgramDir()};
  lmtest::SampleScript script_;
  QString settings_;
  QStringList linesBefore_;
  QByteArray fileBefore_;
};

TEST_F(BuildOverridesTest, OverridesDecideTheBuildAndNeverReachTheSettings) {
  const QString out = tree_.Path(QStringLiteral("out dir/release"));
  lmtest::CommandRecorder recorder;
  ASSERT_EQ(RunBuild({QStringLiteral("build"), QStringLiteral("--settings"), settings_, QStringLiteral("--profile"),
                      QStringLiteral("Sample"), QStringLiteral("--type"), QStringLiteral("all"), QStringLiteral("--out"),
                      out, QStringLiteral("--name"), QStringLiteral("rel-1"), QStringLiteral("--fast"),
                      QStringLiteral("--next"), NextYear()}),
            lm::cli::kSuccess);

  for (const char* ext : {".lzh", ".exe", ".qsc"}) {
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("/rel-1") + QLatin1String(ext))) << ext;
    EXPECT_FALSE(QFile::exists(script_.arcDir + QStringLiteral("/stored") + QLatin1String(ext))) << ext;
  }
  // The fast switch follows the profile's own extra arguments on the
  // script's add command.
  bool fastSeen = false;
  for (const QString& command : std::as_const(recorder.commands))
    fastSeen = fastSeen || command.contains(QStringLiteral(" extra.txt -f Sample.ugu "));
  EXPECT_TRUE(fastSeen) << recorder.commands.join(QLatin1Char('\n')).toStdString();
  ExpectSettingsUnchanged();

  // A build without overrides afterwards uses the profile's own values only.
  recorder.commands.clear();
  ASSERT_EQ(RunBuild({QStringLiteral("build"), QStringLiteral("--settings"), settings_, QStringLiteral("--profile"),
                      QStringLiteral("Sample"), QStringLiteral("--type"), QStringLiteral("lzh"), QStringLiteral("--next"),
                      NextYear()}),
            lm::cli::kSuccess);
  EXPECT_TRUE(QFile::exists(script_.arcDir + QStringLiteral("/stored.lzh")));
  for (const QString& command : std::as_const(recorder.commands))
    EXPECT_FALSE(command.contains(QStringLiteral(" -f "))) << command.toStdString();
  ExpectSettingsUnchanged();
}

}  // namespace
