#include "shell/cli/command_line.h"

#include <cstring>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "shell/cli/command_context.h"
#include "shell/cli/commands.h"
#include "shell/cli/console_sink.h"
#include "shell/version.h"
#include "util/app_globals.h"

namespace lm::cli {
namespace {

struct Command {
  const char* name;
  int (*run)(CommandContext&);
};

constexpr Command kCommands[] = {
    {"profiles", RunProfilesCommand}, {"index", RunIndexCommand},     {"build", RunBuildCommand},
    {"compare", RunCompareCommand},   {"publish", RunPublishCommand},
};

QString Description() {
  return QStringLiteral(
      "Loftmark: 更新定義ファイルの作成、配布用アーカイブの作成、サーバーとの比較とアップロード。\n"
      "引数なしで起動するとウィンドウを開きます。\n"
      "\n"
      "コマンド:\n"
      "  profiles   lfup.ini のプロファイルを一覧表示します (番号、名前、スクリプト情報ファイル、\n"
      "             アーカイブ作成ディレクトリ; スクリプトが見つからないものには印が付きます)。\n"
      "  index      (--profile NAME | --script FILE) --next \"YYYY M D H M\" [--tmp]\n"
      "             index.fet (--tmp で indextmp.fet も) を作成します。\n"
      "  build      (--profile NAME | --script FILE) --type qsc|lzh|exe|all\n"
      "             [--out DIR] [--name BASE] [--next \"YYYY M D H M\"] [--tmp]\n"
      "             更新定義ファイルを作成してから配布用アーカイブを作成します。\n"
      "  compare    (--profile NAME | --script FILE) [--server-index FILE]\n"
      "             ローカルとサーバーの更新定義ファイルを比較し、追加と削除の一覧を表示します。\n"
      "  publish    --profile NAME [--dry-run] [--yes] [--password-stdin] [--trust SHA256:...]\n"
      "             修正されたファイルをサーバーにアップロードします。\n"
      "\n"
      "終了コード: 0 成功、1 処理の失敗、2 使い方の誤り。lfup.ini を書き換えることはありません。");
}

void AddOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {QStringLiteral("profile"), QStringLiteral("lfup.ini のプロファイル NAME (名前または番号) を使います。"),
       QStringLiteral("NAME")},
      {QStringLiteral("script"), QStringLiteral("プロファイルなしでスクリプト情報ファイル (.ugu/.psn) を使います。"),
       QStringLiteral("FILE")},
      {QStringLiteral("next"), QStringLiteral("次回更新予定日時 \"年 月 日 時 分\"。"), QStringLiteral("\"YYYY M D H M\"")},
      {QStringLiteral("tmp"), QStringLiteral("indextmp.fet も作成します。")},
      {QStringLiteral("type"), QStringLiteral("アーカイブの種類 qsc、lzh、exe、all。"), QStringLiteral("TYPE")},
      {QStringLiteral("out"), QStringLiteral("アーカイブを作成するディレクトリ。"), QStringLiteral("DIR")},
      {QStringLiteral("name"), QStringLiteral("アーカイブ名 (拡張子なし)。"), QStringLiteral("BASE")},
      {QStringLiteral("server-index"), QStringLiteral("比較するサーバーの更新定義ファイル (既定は indexserver.fet)。"),
       QStringLiteral("FILE")},
      {QStringLiteral("dry-run"), QStringLiteral("比較結果を表示するだけで、アップロードしません。")},
      {QStringLiteral("yes"), QStringLiteral("確認にはすべて「はい」と答えます。")},
      {QStringLiteral("password-stdin"), QStringLiteral("パスワードを標準入力の1行目から読みます。")},
      {QStringLiteral("trust"),
       QStringLiteral("この実行に限り、指紋で示した証明書 (FTPS) またはホスト鍵 (SFTP) を信頼します。"),
       QStringLiteral("SHA256:...")},
      {QStringLiteral("settings"), QStringLiteral("lfup.ini の代わりに読む設定ファイル。"), QStringLiteral("FILE")},
  });
}

}  // namespace

bool WantsCommandLine(int argc, char** argv) { return argc > 1 && argv[1] != nullptr; }

int RunCommandLine(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("loftmark"));
  QCoreApplication::setApplicationVersion(QStringLiteral(LM_VERSION));
  timeZoneBias = ReadTimeZoneBias();

  QCommandLineParser parser;
  parser.setApplicationDescription(Description());
  parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("profiles、index、build、compare、publish"),
                               QStringLiteral("COMMAND"));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  AddOptions(parser);

  if (!parser.parse(QCoreApplication::arguments())) return UsageError(parser.errorText());
  if (parser.isSet(help)) {
    std::fputs(parser.helpText().toUtf8().constData(), stdout);
    return kSuccess;
  }
  if (parser.isSet(version)) {
    std::fputs((QStringLiteral("loftmark ") + QCoreApplication::applicationVersion() + QLatin1Char('\n')).toUtf8().constData(),
               stdout);
    return kSuccess;
  }
  const QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) return UsageError(QStringLiteral("コマンドを指定してください。"));
  if (positional.size() > 1)
    return UsageError(QStringLiteral("余分な引数があります: ") + positional.mid(1).join(QLatin1Char(' ')));

  for (const Command& command : kCommands) {
    if (positional[0] != QLatin1String(command.name)) continue;
    ConsoleMessageSink sink(parser.isSet(QStringLiteral("yes")));
    CommandContext ctx{parser, sink};
    return command.run(ctx);
  }
  return UsageError(QStringLiteral("不明なコマンドです: ") + positional[0]);
}

}  // namespace lm::cli
