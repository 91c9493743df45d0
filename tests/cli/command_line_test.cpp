// The commands on the sample scripts: their output, exit status and the
// files they write; usage errors and the operations' own failures.
#include <gtest/gtest.h>

#include <sys/stat.h>


#include <QDate>
#include <QDirIterator>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <QStandardPaths>

#include <QProcessEnvironment>
#include <QRegularExpression>

#include "cli/cli_fixture.h"
#include "shell/about_text.h"
#include "shell/cli/command_line.h"
#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/text_file.h"

namespace {

using clitest::CommandLineTest;

QString NextYear() { return QString::number(QDate::currentDate().year() + 1); }
QString Future() { return NextYear() + QStringLiteral(" 4 1 9 0"); }

// Words of Qt's own command-line parser that must never show through.
const char* const kQtParserWords[] = {"Usage", "Options:", "Arguments:", "Unknown", "Missing value", "Unexpected value",
                                      "Displays", "option"};

void ExpectNoQtParserText(const clitest::Result& r) {
  for (const char* word : kQtParserWords) {
    EXPECT_FALSE(r.out.contains(QString::fromLatin1(word))) << word << "\n" << r.out.toStdString();
    EXPECT_FALSE(r.err.contains(QString::fromLatin1(word))) << word << "\n" << r.err.toStdString();
  }
}

// The options a help text lists ("--name" words), in order, without --help.
QStringList ListedOptions(const QString& help) {
  QStringList names;
  const QRegularExpression option(QStringLiteral("^  (?:-., )?--([a-z-]+)"), QRegularExpression::MultilineOption);
  for (auto it = option.globalMatch(help); it.hasNext();) {
    const QString name = it.next().captured(1);
    if (name != QLatin1String("help") && !names.contains(name)) names << name;
  }
  return names;
}

TEST_F(CommandLineTest, HelpAndVersionAsGnuToolsPrintThem) {
  for (const QStringList& args : {QStringList{"--help"}, QStringList{"-h"}}) {
    const clitest::Result help = Loftmark(args);
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("使い方: loftmark COMMAND [オプション]\n"))) << help.out.toStdString();
    for (const char* word : {"profiles", "index", "build", "compare", "publish", "verify", "--profile", "--script", "--next",
                             "--type", "--out", "--name", "--server-index", "--dry-run", "--yes", "--settings",
                             "--version", "loftmark COMMAND --help"})
      EXPECT_TRUE(help.out.contains(QString::fromUtf8(word))) << word;
    ExpectNoQtParserText(help);
  }

  // The version, then the licence and the libraries as the version box
  // lists them, read in the same program folder.
  lm::SetExecutableDirForTesting(bin);
  lm::programDir = bin;
  const QString libraries = lm::LicenceAndLibrariesText();
  for (const QStringList& args : {QStringList{"--version"}, QStringList{"-v"}}) {
    const clitest::Result version = Loftmark(args);
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.err.isEmpty()) << version.err.toStdString();
    // Then the folders of lfup.ini and of the working files: the program
    // folder of this writable copy.
    EXPECT_EQ(version.out, QStringLiteral("loftmark 0.54\n") + libraries + QStringLiteral("\n\n") + lm::FoldersText() +
                               QLatin1Char('\n'));
    EXPECT_TRUE(version.out.contains(QStringLiteral("設定ファイル (lfup.ini): ") + bin + QLatin1Char('\n')));
  }
  for (const char* part : {"MIT ライセンス", "Copyright (c) 2026 The Loftmark authors", "UnLHA32.DLL  1.00",
                           "Cab32.DLL  1.00", "Qt  ", "libcurl  ", "OpenSSL  ", "QtKeychain  ", "libgcab  ", "GLib  "})
    EXPECT_TRUE(libraries.contains(QString::fromUtf8(part))) << part << "\n" << libraries.toStdString();
}

TEST_F(CommandLineTest, EachCommandsHelpListsTheOptionsItTakes) {
  const clitest::Result global = Loftmark({"--help"});
  struct Case {
    QString command;
    QStringList options;  // at least these, and no option another command alone takes
    QStringList others;
  } cases[] = {
      {"profiles", {"settings"}, {"profile", "script", "type", "next", "dry-run"}},
      {"index", {"profile", "script", "next", "tmp", "settings"}, {"type", "out", "name", "fast", "server-index", "dry-run"}},
      {"build", {"profile", "script", "type", "out", "name", "next", "tmp", "fast", "yes", "settings"}, {"server-index", "dry-run"}},
      {"compare", {"profile", "script", "server-index", "yes", "settings"}, {"type", "out", "next", "dry-run"}},
      {"publish", {"profile", "dry-run", "yes", "password-stdin", "reindex", "next", "tmp", "settings"},
       {"script", "type", "out", "server-index"}},
      {"verify", {"profile", "password-stdin", "settings"}, {"script", "type", "next", "dry-run", "yes", "reindex"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command.toStdString());
    // Both spellings give the command's own help, not the program's.
    const clitest::Result help = Loftmark({c.command, "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
    EXPECT_EQ(Loftmark({"--help", c.command}).out, help.out);
    EXPECT_NE(help.out, global.out);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("使い方: loftmark ") + c.command + QLatin1Char(' '))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("  -h, --help ")));
    ExpectNoQtParserText(help);
    const QStringList listed = ListedOptions(help.out);
    for (const QString& option : c.options) EXPECT_TRUE(listed.contains(option)) << option.toStdString();
    for (const QString& option : c.others) EXPECT_FALSE(listed.contains(option)) << option.toStdString();
    // Every option the help lists is one the command accepts: given alone
    // it is never refused as an option of another command or an unknown one.
    for (const QString& option : listed) {
      SCOPED_TRACE(option.toStdString());
      const clitest::Result alone = Loftmark({c.command, "--" + option, "x"});
      EXPECT_FALSE(alone.err.contains(QStringLiteral("のオプションです"))) << alone.err.toStdString();
      EXPECT_FALSE(alone.err.contains(QStringLiteral("不明なオプション"))) << alone.err.toStdString();
      ExpectNoQtParserText(alone);
    }
    // The usage line fits a terminal of 80 columns (wide characters count twice).
    for (const QString& line : help.out.split('\n')) {
      if (!line.startsWith(QStringLiteral("使い方")) && !line.startsWith(QStringLiteral("         "))) continue;
      qsizetype columns = 0;
      for (const QChar ch : line) columns += ch.unicode() < 0x80 ? 1 : 2;
      EXPECT_LT(columns, 80) << line.toStdString();
    }
  }
}

TEST_F(CommandLineTest, AScriptFileAloneOpensTheWindowEverythingElseIsACommand) {
  struct Case {
    QStringList args;
    bool command;
  } cases[] = {
      {{}, false},
      {{"Sample.ugu"}, false},
      {{"/home/a b/X.PSN"}, false},
      {{"dir/s.Ugu"}, false},
      {{"build.ugu"}, false},
      {{"Sample.ugu", "extra"}, true},
      {{"profiles"}, true},
      {{"-x.ugu"}, true},
      {{"--script=a.ugu"}, true},
      {{".ugu"}, true},
      {{"Sample.ugux"}, true},
      {{"Sample_ugu"}, true},
      {{"Sample.txt"}, true},
  };
  for (const Case& c : cases) {
    QList<QByteArray> bytes = {"loftmark"};
    for (const QString& a : c.args) bytes << a.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    EXPECT_EQ(lm::cli::WantsCommandLine(static_cast<int>(bytes.size()), argv.data()), c.command)
        << c.args.join(' ').toStdString();
  }

  // The program itself: a script file goes to the window (here without its
  // module, so it says it cannot load it); another name stays a command.
  ASSERT_TRUE(QFile::remove(bin + "/loftmark-window.so"));
  const clitest::Result window = Loftmark({"scripts/Sample.ugu"});
  EXPECT_EQ(window.code, 1);
  EXPECT_TRUE(window.err.contains(QStringLiteral("loftmark-window.so』を読み込めません。"))) << window.err.toStdString();
  const clitest::Result command = Loftmark({"scripts/Sample.txt"});
  EXPECT_EQ(command.code, 2);
  EXPECT_TRUE(command.err.contains(QStringLiteral("不明なコマンドです: scripts/Sample.txt"))) << command.err.toStdString();
}

TEST_F(CommandLineTest, CommandsNeverLoadQtWidgetsNorTheWindow) {
  // The dynamic loader names every library it maps.
  QProcessEnvironment debug;
  debug.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
  const QList<QStringList> commands = {
      {"profiles"},
      {"build", "--script", "scripts/Sample.ugu", "--type", "all", "--out", "dist", "--next", Future()},
      {"--help"},
      {"build", "--help"},
      {"--version"},
  };
  for (const QStringList& args : commands) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const clitest::Result r = Loftmark(args, QByteArray(), debug);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("libQt6Core.so"))) << "the loader said nothing";
    for (const char* library : {"libQt6Widgets", "libQt6Gui", "loftmark-window.so", "platforms/"})
      EXPECT_FALSE(r.err.contains(QString::fromLatin1(library))) << library;
  }

  // Without the window's module the commands still run; only the window
  // cannot start, and says why.
  ASSERT_TRUE(QFile::remove(bin + "/loftmark-window.so"));
  EXPECT_EQ(Loftmark({"profiles"}).code, 0);
  const clitest::Result window = Loftmark({});
  EXPECT_EQ(window.code, 1);
  EXPECT_TRUE(window.err.startsWith(QStringLiteral("loftmark: ウィンドウのモジュール『") + bin + "/loftmark-window.so』を読み込めません。"))
      << window.err.toStdString();
}

TEST_F(CommandLineTest, UsageErrorsExitWithTwoAndSayWhatIsWrong) {
  struct Case {
    QStringList args;
    QString says;
    QString help;  // the help the hint names
  } cases[] = {
      {{"frobnicate"}, "不明なコマンドです: frobnicate", "loftmark --help"},
      {{"frobnicate", "--help"}, "不明なコマンドです: frobnicate", "loftmark --help"},
      {{"--frobnicate"}, "不明なオプションです: --frobnicate", "loftmark --help"},
      {{"-x"}, "不明なオプションです: -x", "loftmark --help"},
      {{"build", "--bogus"}, "不明なオプションです: --bogus", "loftmark build --help"},
      {{"build", "-bogus"}, "不明なオプションです: -bogus", "loftmark build --help"},
      {{"--yes"}, "コマンドを指定してください。", "loftmark --help"},
      {{"index", "extra"}, "余分な引数があります: extra", "loftmark index --help"},
      {{"index", "--next", Future()}, "--profile NAME または --script FILE を指定してください。", "loftmark index --help"},
      {{"index", "--profile", "a", "--script", "scripts/Sample.ugu", "--next", Future()},
       "--profile と --script は同時に指定できません。", "loftmark index --help"},
      {{"index", "--script", "scripts/Sample.ugu"}, "--next で次回更新予定日時を指定してください。", "loftmark index --help"},
      {{"index", "--script", "scripts/Sample.ugu", "--next", "2030 4 1"}, "\"年 月 日 時 分\"", "loftmark index --help"},
      {{"index", "--script", "scripts/Sample.ugu", "--next", Future(), "--type", "lzh"},
       "--type は build コマンドのオプションです。", "loftmark index --help"},
      {{"index", "--script", "scripts/Sample.ugu", "--next", Future(), "--yes"},
       "--yes は build、compare、publish コマンドのオプションです。", "loftmark index --help"},
      {{"index", "--script"}, "--script の後に FILE を指定してください。", "loftmark index --help"},
      {{"index", "--tmp=1", "--script", "scripts/Sample.ugu", "--next", Future()}, "--tmp には値を指定できません。",
       "loftmark index --help"},
      {{"build", "--script", "scripts/Sample.ugu", "--next", Future()}, "--type qsc|lzh|exe|all", "loftmark build --help"},
      {{"build", "--script", "scripts/Sample.ugu", "--type", "zip"}, "qsc、lzh、exe、all", "loftmark build --help"},
      {{"build", "--script", "scripts/Sample.ugu", "--type", "lzh"}, "--next で次回更新予定日時を指定してください。",
       "loftmark build --help"},
      {{"build", "--script", "scripts/Sample.ugu", "--type", "lzh", "--next", Future(), "--name", "a/b"}, "--name",
       "loftmark build --help"},
      {{"publish", "--script", "scripts/Sample.ugu"}, "--script は index、build、compare コマンドのオプションです。",
       "loftmark publish --help"},
      {{"publish"}, "--profile NAME を指定してください。", "loftmark publish --help"},
      {{"compare", "--script", "scripts/Sample.ugu", "--out", "dist"}, "--out は build コマンドのオプションです。",
       "loftmark compare --help"},
      {{"profiles", "--tmp"}, "--tmp は index、build、publish コマンドのオプションです。", "loftmark profiles --help"},
      {{"index", "--script", "scripts/Sample.ugu", "--next", Future(), "--fast"}, "--fast は build コマンドのオプションです。",
       "loftmark index --help"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const clitest::Result r = Loftmark(c.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("loftmark: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("\n使い方は ") + c.help + QStringLiteral(" で表示されます。\n")))
        << r.err.toStdString();
    ExpectNoQtParserText(r);
  }
  EXPECT_FALSE(QFile::exists(tree.Path("scripts/Sample/DAT/index.fet")));
}

TEST_F(CommandLineTest, ArgumentsAreAllCheckedBeforeTheOutputFolderIsMade) {
  tree.WriteFile("bin/lfup.ini", "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() + "\r\n");
  const QStringList script = {"build", "--script", "scripts/Sample.ugu", "--out", "dist/new"};
  struct Case {
    QStringList args;
    int code;
  } cases[] = {
      {script + QStringList{"--type", "lzh", "--next", "2030 4 1"}, 2},
      {script + QStringList{"--type", "lzh", "--next", Future(), "--name", "a/b"}, 2},
      {script + QStringList{"--type", "lzh", "--next", Future(), "--name", " "}, 2},
      {script + QStringList{"--type", "zip", "--next", Future()}, 2},
      {script + QStringList{"--next", Future()}, 2},
      {script + QStringList{"--type", "lzh"}, 2},  // no --next and no index.fet yet
      {script + QStringList{"--type", "lzh", "--next", Future(), "--bogus"}, 2},
      {script + QStringList{"--type", "lzh", "--next", Future(), "extra"}, 2},
      {script + QStringList{"--type", "lzh", "--next", Future(), "--profile", "Sample"}, 2},
      {script + QStringList{"--type", "lzh", "--next", Future(), "--server-index", "x"}, 2},
      {{"compare", "--script", "scripts/Sample.ugu", "--out", "dist/new"}, 2},
      // Accepted, but the run stops before the archives: no folder either.
      {{"build", "--profile", "Nope", "--type", "lzh", "--next", Future(), "--out", "dist/new"}, 1},
      {script + QStringList{"--type", "lzh", "--next", "2000 1 1 0 0"}, 1},
      {{"build", "--script", "nodat/Lost.ugu", "--type", "lzh", "--next", Future(), "--out", "dist/new"}, 1},
  };
  tree.WriteFile("nodat/Lost.ugu", "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const clitest::Result r = Loftmark(c.args);
    EXPECT_EQ(r.code, c.code) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(tree.Path("dist"))) << "made before the arguments were accepted";
  }
  EXPECT_FALSE(QFile::exists(tree.Path("scripts/Sample/DAT/index.fet")));
  // The same build with its arguments right makes the folder and the archive.
  const clitest::Result ok = Loftmark(script + QStringList{"--type", "lzh", "--next", Future()});
  EXPECT_EQ(ok.code, 0) << ok.err.toStdString();
  EXPECT_TRUE(QFile::exists(tree.Path("dist/new/sample.lzh")));
}

TEST_F(CommandLineTest, OperationFailuresExitWithOneAndTheProgramsMessage) {
  tree.WriteFile("bin/lfup.ini", "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() + "\r\n");
  tree.WriteFile("nodat/Lost.ugu", "x");
  struct Case {
    QStringList args;
    QString err;  // the whole of standard error
  } cases[] = {
      {{"index", "--profile", "Nope", "--next", Future()}, "loftmark: プロファイル『Nope』がありません。\n"},
      {{"build", "--profile", "Nope", "--type", "all"}, "loftmark: プロファイル『Nope』がありません。\n"},
      {{"index", "--profile", "Sample", "--next", "2000 1 1 0 0"}, "loftmark: 年に誤りがあります。\n"},
      {{"index", "--profile", "Sample", "--next", NextYear() + " 13 1 0 0"}, "loftmark: 月に誤りがあります。\n"},
      {{"index", "--profile", "Sample", "--next", NextYear() + " 2 30 0 0"}, "loftmark: 日に誤りがあります。\n"},
      {{"index", "--profile", "Sample", "--next", NextYear() + " x 1 0 0"}, "loftmark: 月に誤りがあります。\n"},
      {{"index", "--settings", tree.Path("none.ini"), "--profile", "Sample", "--next", Future()},
       "loftmark: 設定ファイル『" + tree.Path("none.ini") + "』を読み込めません。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const clitest::Result r = Loftmark(c.args);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_FALSE(QFile::exists(tree.Path("scripts/Sample/DAT/index.fet")));

  // A script without its DAT directory: the script check's own message.
  const clitest::Result lost = Loftmark({"index", "--script", "nodat/Lost.ugu", "--next", Future()});
  EXPECT_EQ(lost.code, 1);
  EXPECT_TRUE(lost.err.startsWith(QStringLiteral("loftmark: "))) << lost.err.toStdString();
  EXPECT_TRUE(lost.err.contains(QStringLiteral("DAT"))) << lost.err.toStdString();
  EXPECT_TRUE(lost.out.isEmpty());
}

TEST_F(CommandLineTest, ProfilesListsTheSettingsAndMarksMissingScripts) {
  const QByteArray ini = "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() +
                         "\r\ndirarc(000)=" + tree.MakeDir("dist").toUtf8() +
                         "\r\nprofile(001)=Gone\r\nugu(001)=" + tree.Path("gone/Gone.ugu").toUtf8() + "\r\n";
  tree.WriteFile("bin/lfup.ini", ini);
  const QString want = "000\tSample\t" + tree.Path("scripts/Sample.ugu") + "\t" + tree.Path("dist") + "\n" +
                       "001\tGone\t" + tree.Path("gone/Gone.ugu") + "\t\tスクリプト情報ファイルが見つかりません\n";
  const clitest::Result r = Loftmark({"profiles"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, want);
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

  // --settings reads another file; the program folder's stays as it was.
  tree.WriteFile("elsewhere.ini", "profile(000)=Other\r\nugu(000)=" + tree.Path("scripts/beside/Beside.ugu").toUtf8() + "\r\n");
  const clitest::Result other = Loftmark({"profiles", "--settings", "elsewhere.ini"});
  EXPECT_EQ(other.code, 0);
  EXPECT_EQ(other.out, "000\tOther\t" + tree.Path("scripts/beside/Beside.ugu") + "\t\n");

  // Without any settings file: the single profile the window would start with.
  QFile::remove(tree.Path("bin/lfup.ini"));
  EXPECT_EQ(Loftmark({"profiles"}).out, QStringLiteral("000\tDefault\t\t\n"));
  EXPECT_FALSE(QFile::exists(tree.Path("bin/lfup.ini")));
}

TEST_F(CommandLineTest, IndexWritesTheIndexFilesAndNeverTheSettings) {
  const QByteArray ini = "profile(000)=Sample\r\nugu(000)=" + tree.Path("scripts/Sample.ugu").toUtf8() + "\r\n";
  tree.WriteFile("bin/lfup.ini", ini);
  ::chmod(QFile::encodeName(tree.Path("bin/lfup.ini")).constData(), 0444);
  const QDateTime before = QFileInfo(tree.Path("bin/lfup.ini")).lastModified();

  const clitest::Result r = Loftmark({"index", "--profile", "Sample", "--next", Future(), "--tmp"});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.out, QStringLiteral("更新定義ファイルを出力しました。\n"));
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
  const QByteArray index = tree.ReadFile("scripts/Sample/DAT/index.fet");
  EXPECT_TRUE(index.startsWith("#NextUpdate " + Future().toLatin1() + " \r\n")) << index.toStdString();
  EXPECT_TRUE(index.contains("+mio00.euu\r\n"));
  EXPECT_TRUE(QFile::exists(tree.Path("scripts/Sample/DAT/indextmp.fet")));

  // The other layout, by its script alone; without --tmp no indextmp.fet.
  const clitest::Result beside = Loftmark({"index", "--script", tree.Path("scripts/beside/Beside.ugu"), "--next", Future()});
  EXPECT_EQ(beside.code, 0) << beside.err.toStdString();
  EXPECT_TRUE(QFile::exists(tree.Path("scripts/beside/DAT/index.fet")));
  EXPECT_FALSE(QFile::exists(tree.Path("scripts/beside/DAT/indextmp.fet")));

  EXPECT_EQ(tree.ReadFile("bin/lfup.ini"), ini);
  EXPECT_EQ(QFileInfo(tree.Path("bin/lfup.ini")).lastModified(), before);
  EXPECT_FALSE(QFile::exists(tree.Path("bin/lfup.ini.bak")));
}

TEST_F(CommandLineTest, BuildWritesEveryArchiveAndNamesThem) {
  const QString out = tree.Path("dist/release");  // made by the command
  const clitest::Result r = Loftmark({"build", "--script", "scripts/Sample.ugu", "--type", "all", "--out", "dist/release",
                                   "--name", "sample-1", "--next", Future()});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
  QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("配布用アーカイブを作成しました。"));
  for (const char* ext : {".lzh", ".exe", ".qsc"}) {
    const QString file = out + "/sample-1" + ext;
    EXPECT_TRUE(QFile::exists(file)) << ext;
    EXPECT_TRUE(r.out.contains(file)) << ext;
  }
  // The next build takes the next update from the index just written.
  const clitest::Result again = Loftmark({"build", "--script", "scripts/Sample.ugu", "--type", "lzh", "--out", "dist/two"});
  EXPECT_EQ(again.code, 0) << again.err.toStdString();
  EXPECT_TRUE(again.out.contains(QStringLiteral("アーカイブ名を下記とします。\n『sample』\n"))) << again.out.toStdString();
  EXPECT_TRUE(QFile::exists(tree.Path("dist/two/sample.lzh")));
  EXPECT_TRUE(tree.ReadFile("scripts/Sample/DAT/index.fet").startsWith("#NextUpdate " + Future().toLatin1() + " \r\n"));
  // The temporary files of the build are gone from the program folder.
  EXPECT_FALSE(QFile::exists(bin + "/install.txt"));
  EXPECT_FALSE(QFile::exists(bin + "/$"));
}

// --fast packs the LZH archive in the library's fast mode: larger than the
// default's on text, the same files when read back.
TEST_F(CommandLineTest, BuildFastPacksInTheLibrarysFastMode) {
  QByteArray text;
  for (int i = 0; text.size() < 300000; ++i) text += "line " + QByteArray::number(i * 7919 % 1000) + " of the script text\r\n";
  tree.WriteFile(QStringLiteral("scripts/Sample/DAT/long.txt"), text);
  const clitest::Result plain =
      Loftmark({"build", "--script", "scripts/Sample.ugu", "--type", "lzh", "--out", "dist/plain", "--next", Future()});
  ASSERT_EQ(plain.code, 0) << plain.err.toStdString();
  const clitest::Result fast = Loftmark({"build", "--script", "scripts/Sample.ugu", "--type", "lzh", "--out", "dist/fast",
                                         "--next", Future(), "--fast"});
  ASSERT_EQ(fast.code, 0) << fast.err.toStdString();
  const QByteArray a = tree.ReadFile("dist/plain/sample.lzh"), b = tree.ReadFile("dist/fast/sample.lzh");
  ASSERT_FALSE(a.isEmpty());
  ASSERT_FALSE(b.isEmpty());
  EXPECT_LT(a.size(), b.size());
  ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty()) << "install lhasa";
  for (const char* dir : {"dist/plain", "dist/fast"}) {
    QProcess p;
    p.setWorkingDirectory(tree.Path(dir));
    p.start(QStringLiteral("lhasa"), {QStringLiteral("xq"), QStringLiteral("sample.lzh")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << dir;
    QDirIterator it(tree.Path(dir), {QStringLiteral("long.txt")}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(it.hasNext()) << dir;
    QFile f(it.next());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), text) << dir;
  }
}

TEST_F(CommandLineTest, ProgressLineOnlyOnATerminal) {
  // On a pipe (BuildWritesEveryArchiveAndNamesThem): nothing but the
  // messages. On a terminal (script(1) gives the program one): one line,
  // rewritten at each step and cleared at the end, no wider than 79 columns.
  ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty()) << "install bsdutils (script)";
  QProcess p;
  Start(p, QStringLiteral("script"),
        {QStringLiteral("-qec"),
         program + QStringLiteral(" build --script scripts/Sample.ugu --type all --out dist --name s --next '") + Future() + "'",
         QStringLiteral("/dev/null")});
  ASSERT_TRUE(p.waitForFinished(120000));
  EXPECT_EQ(p.exitCode(), 0);
  const QString seen = QString::fromUtf8(p.readAllStandardOutput());
  const QString clear = QStringLiteral("\r\x1b[K");
  const QStringList steps = seen.split(clear);
  ASSERT_GE(steps.size(), 10) << seen.toStdString();
  EXPECT_TRUE(steps[1].startsWith(QStringLiteral("[1/1] "))) << steps[1].toStdString();
  EXPECT_TRUE(steps[2].startsWith(QStringLiteral("[2/9] LZH"))) << steps[2].toStdString();
  EXPECT_TRUE(steps.last().startsWith(QStringLiteral("配布用アーカイブを作成しました。"))) << steps.last().toStdString();
  for (const QString& step : steps.mid(1, steps.size() - 2)) EXPECT_LE(step.size(), 79) << step.toStdString();
}

TEST_F(CommandLineTest, TerminationCancelsTheBuildAndKeepsTheEarlierArchive) {
  WriteRandomFiles(QStringLiteral("scripts/Sample/DAT/data"), 40);
  const QStringList build = {"build", "--script", "scripts/Sample.ugu", "--out", "dist", "--name", "s", "--next", Future()};
  ASSERT_EQ(Loftmark(build + QStringList{"--type", "lzh"}).code, 0);
  const QByteArray earlier = tree.ReadFile("dist/s.lzh");

  QProcess p;
  Start(p, program, build + QStringList{"--type", "all"});
  // The archiver writes into a hidden file beside the archive while it works.
  QDeadlineTimer deadline(60000);
  while (QDir(tree.Path("dist")).entryList({".lha-*"}, QDir::Files | QDir::Hidden).isEmpty()) {
    ASSERT_FALSE(deadline.hasExpired());
    ASSERT_EQ(p.state(), QProcess::Running) << "the build ended before it could be interrupted";
    QThread::msleep(2);
  }
  p.terminate();  // SIGTERM, as a CI job's timeout sends
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), QStringLiteral("loftmark: アーカイブの作成を中止しました。\n"));
  EXPECT_EQ(tree.ReadFile("dist/s.lzh"), earlier);
  EXPECT_EQ(QDir(tree.Path("dist")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"s.lzh"});
  EXPECT_FALSE(QFile::exists(bin + "/install.txt"));
  EXPECT_FALSE(QFile::exists(bin + "/$"));
}

TEST_F(CommandLineTest, ReadOnlyOutputFolderFailsWithTheBuildersMessage) {
  tree.MakeDir("readonly");
  if (::geteuid() == 0) {
    // Root writes anywhere: run the program as nobody over a tree it owns.
    runAs = 65534;
    for (const QString& dir : {tree.Path(), QFileInfo(tree.Path()).path()}) {
      QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther | QFile::ReadOther);
    }
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(QFile::encodeName(tree.Path()).toStdString()))
      ASSERT_EQ(::lchown(e.path().c_str(), 65534, 65534), 0) << e.path();
    ASSERT_EQ(::chown(QFile::encodeName(tree.Path()).constData(), 65534, 65534), 0);
  }
  ::chmod(QFile::encodeName(tree.Path("readonly")).constData(), 0555);
  const clitest::Result r =
      Loftmark({"build", "--script", "scripts/Sample.ugu", "--type", "all", "--out", "readonly", "--name", "s", "--next", Future()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  EXPECT_TRUE(r.err.startsWith(QStringLiteral("loftmark: "))) << r.err.toStdString();
  EXPECT_TRUE(r.err.endsWith(QStringLiteral("loftmark: アーカイブ作成中にエラーが発生しました。\n"))) << r.err.toStdString();
  EXPECT_TRUE(QDir(tree.Path("readonly")).isEmpty());

  // An output folder that cannot be made: the command says which, and the
  // archives are not attempted.
  const clitest::Result below = Loftmark(
      {"build", "--script", "scripts/Sample.ugu", "--type", "all", "--out", "readonly/sub", "--name", "s", "--next", Future()});
  EXPECT_EQ(below.code, 1);
  EXPECT_TRUE(below.out.isEmpty()) << below.out.toStdString();
  EXPECT_EQ(below.err, QStringLiteral("loftmark: 配布用アーカイブ作成ディレクトリ『") + tree.Path("readonly/sub") +
                           QStringLiteral("』を作成できません。\n"));
  EXPECT_TRUE(QDir(tree.Path("readonly")).isEmpty());
  ::chmod(QFile::encodeName(tree.Path("readonly")).constData(), 0755);
}

}  // namespace
