#include "shell/cli/arguments.h"

#include <algorithm>

#include "shell/cli/commands.h"

namespace lm::cli {
namespace {

// Lines of help are kept within this many columns where they can be broken.
constexpr int kHelpWidth = 79;

const QString kHelpLine = QStringLiteral("-h, --help");
const QString kVersionLine = QStringLiteral("-v, --version");

// "--name VALUE" as the help lists an option.
QString OptionWithValue(const OptionSpec& option) {
  QString text = QStringLiteral("--") + QString::fromLatin1(option.name);
  if (option.valueName) text += QLatin1Char(' ') + QString::fromUtf8(option.valueName);
  return text;
}

// Rows of two columns, the first padded so that the second lines up.
QString Table(const QList<QPair<QString, QString>>& rows) {
  qsizetype width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  QString text;
  for (const auto& row : rows)
    text += QStringLiteral("  ") + row.first.leftJustified(width + 2) + row.second + QLatin1Char('\n');
  return text;
}

// The words of `command`'s usage after its name: the required part, then
// each other option in brackets.
QStringList UsageWords(const CommandSpec& command) {
  QStringList words;
  const QString required = QString::fromUtf8(command.required);
  if (!required.isEmpty()) words << required;
  for (const QString& name : command.options) {
    const QString option = QStringLiteral("--") + name;
    if (required.contains(option + QLatin1Char(' ')) || required.endsWith(option)) continue;
    words << QLatin1Char('[') + OptionWithValue(Options().at(name)) + QLatin1Char(']');
  }
  return words;
}

// `head` (taking `headColumns` columns) and the words after it, broken
// between words where a line would grow past the width; the lines after
// the first are indented by `indent` columns.
QString Wrapped(const QString& head, int headColumns, const QStringList& words, int indent) {
  QString text = head;
  int column = headColumns;
  for (const QString& word : words) {
    if (column + 1 + word.size() > kHelpWidth && column > indent) {
      text += QLatin1Char('\n') + QString(indent - 1, QLatin1Char(' '));
      column = indent - 1;
    }
    text += QLatin1Char(' ') + word;
    column += 1 + static_cast<int>(word.size());
  }
  return text + QLatin1Char('\n');
}

QString UsageLine(const CommandSpec& command) {
  // "使い方: loftmark " takes 17 columns (three of its characters are wide);
  // further lines start under the command's name.
  const QString name = QString::fromLatin1(command.name);
  return Wrapped(QStringLiteral("使い方: loftmark ") + name, 17 + static_cast<int>(name.size()), UsageWords(command), 17);
}

}  // namespace

const std::map<QString, OptionSpec>& Options() {
  static const std::map<QString, OptionSpec> options = [] {
    const OptionSpec list[] = {
        {"profile", "NAME", "lfup.ini のプロファイル NAME (名前または番号) を使います。"},
        {"script", "FILE", "プロファイルなしでスクリプト情報ファイル (.ugu/.psn) を使います。"},
        {"next", "\"YYYY M D H M\"", "次回更新予定日時 \"年 月 日 時 分\"。"},
        {"tmp", nullptr, "indextmp.fet も作成します。"},
        {"type", "TYPE", "アーカイブの種類 qsc、lzh、exe、all。"},
        {"out", "DIR", "アーカイブを作成するディレクトリ (なければ作成します)。"},
        {"name", "BASE", "アーカイブ名 (拡張子なし)。"},
        {"fast", nullptr, "LZH を高速モードで圧縮します (少し大きく、ずっと速い)。"},
        {"server-index", "FILE", "比較するサーバーの更新定義ファイル (既定は indexserver.fet)。"},
        {"dry-run", nullptr, "比較結果を表示するだけで、アップロードしません。"},
        {"yes", nullptr, "確認にはすべて「はい」と答えます。"},
        {"no-wait", nullptr, "スクリプトやアーカイブを別の処理が使用中のときは、待たずに中止します。"},
        {"password-stdin", nullptr, "パスワードを標準入力の1行目から読みます。"},
        {"trust", "SHA256:...", "この実行に限り、指紋で示した証明書 (FTPS) またはホスト鍵 (SFTP) を信頼します。"},
        {"reindex", nullptr, "DAT が index.fet と一致しないとき、--next の日時で index.fet を作成してから送信します。"},
        {"url", "URL", "公開先の index.fet のあるフォルダの URL (http/https)。"},
        {"settings", "FILE", "lfup.ini の代わりに読む設定ファイル。"},
    };
    std::map<QString, OptionSpec> byName;
    for (const OptionSpec& o : list) byName.emplace(QString::fromLatin1(o.name), o);
    return byName;
  }();
  return options;
}

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> commands = {
      {"profiles", RunProfilesCommand, "",
       "lfup.ini のプロファイルを一覧表示します (番号、名前、スクリプト情報ファイル、\n"
       "アーカイブ作成ディレクトリ; スクリプトが見つからないものには印が付きます)。",
       {"settings"}},
      {"index", RunIndexCommand, "(--profile NAME | --script FILE) --next \"YYYY M D H M\"",
       "index.fet (--tmp で indextmp.fet も) を作成します。",
       {"profile", "script", "next", "tmp", "no-wait", "settings"}},
      {"build", RunBuildCommand, "(--profile NAME | --script FILE) --type qsc|lzh|exe|all",
       "更新定義ファイルを作成してから配布用アーカイブを作成します。\n"
       "--next がなければ、スクリプトの index.fet の次回更新予定日時を使います。",
       {"profile", "script", "type", "out", "name", "next", "tmp", "fast", "no-wait", "yes", "settings"}},
      {"compare", RunCompareCommand, "(--profile NAME | --script FILE)",
       "ローカルとサーバーの更新定義ファイルを比較し、追加と削除の一覧を表示します。",
       {"profile", "script", "server-index", "yes", "settings"}},
      {"publish", RunPublishCommand, "--profile NAME",
       "修正されたファイルをサーバーにアップロードし、サーバーの内容を確認します。\n"
       "DAT が index.fet と一致しないときは止まります。--reindex --next を指定すると、\n"
       "先に index.fet を作成してから送信します。",
       {"profile", "dry-run", "yes", "password-stdin", "trust", "reindex", "next", "tmp", "settings"}},
      {"verify", RunVerifyCommand, "--profile NAME",
       "サーバーのフォルダが index.fet の一覧どおりか (ファイルの大きさ、\n"
       "削除されたはずのもの、残った一時ファイル) を確認します。何も変更しません。\n"
       "--url を指定すると FTP には接続せず、その URL から index.fet と各ファイルを\n"
       "HTTP で確認し、ローカルの index.fet とも比べます。",
       {"profile", "password-stdin", "trust", "url", "settings"}},
  };
  return commands;
}

const CommandSpec* FindCommand(const QString& name) {
  for (const CommandSpec& command : Commands())
    if (name == QLatin1String(command.name)) return &command;
  return nullptr;
}

QString Arguments::value(const QString& name) const {
  const auto it = values_.find(name);
  return it == values_.end() ? QString() : it->second;
}

bool Arguments::Parse(const QStringList& words, QString& error) {
  for (qsizetype i = 0; i < words.size(); ++i) {
    const QString& word = words[i];
    if (word == QLatin1String("--")) {
      positional_ << words.mid(i + 1);
      break;
    }
    if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
      help_ = true;
      continue;
    }
    if (word == QLatin1String("-v") || word == QLatin1String("--version")) {
      version_ = true;
      continue;
    }
    if (!word.startsWith(QLatin1Char('-')) || word == QLatin1String("-")) {
      positional_ << word;
      continue;
    }
    if (!word.startsWith(QLatin1String("--"))) {
      error = QStringLiteral("不明なオプションです: ") + word;
      return false;
    }
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
    const auto option = Options().find(name);
    if (option == Options().end()) {
      error = QStringLiteral("不明なオプションです: --") + name;
      return false;
    }
    QString value;
    if (option->second.valueName == nullptr) {
      if (equals >= 0) {
        error = QStringLiteral("--") + name + QStringLiteral(" には値を指定できません。");
        return false;
      }
    } else if (equals >= 0) {
      value = word.mid(equals + 1);
    } else if (i + 1 < words.size()) {
      value = words[++i];
    } else {
      error = QStringLiteral("--") + name + QStringLiteral(" の後に ") + QString::fromUtf8(option->second.valueName) +
              QStringLiteral(" を指定してください。");
      return false;
    }
    values_[name] = value;
    order_.removeAll(name);
    order_ << name;
  }
  return true;
}

QString Arguments::RefusedOption(const CommandSpec& command) const {
  for (const QString& name : order_) {
    if (command.options.contains(name)) continue;
    QStringList takers;
    for (const CommandSpec& other : Commands())
      if (other.options.contains(name)) takers << QString::fromLatin1(other.name);
    return QStringLiteral("--%1 は %2 コマンドのオプションです。").arg(name, takers.join(QStringLiteral("、")));
  }
  return QString();
}

QString GlobalHelp() {
  QString text = QStringLiteral(
      "使い方: loftmark COMMAND [オプション]\n"
      "        loftmark COMMAND --help\n"
      "        loftmark --help | --version\n"
      "\n"
      "Loftmark: 更新定義ファイルの作成、配布用アーカイブの作成、サーバーとの比較とアップロード。\n"
      "引数なしで起動するとウィンドウを開きます。スクリプト情報ファイル (.ugu/.psn) を1つ指定すると、\n"
      "それを最初のプロファイルのスクリプトにしてウィンドウを開きます。\n"
      "\n"
      "コマンド:\n");
  for (const CommandSpec& command : Commands()) {
    const QString head = QStringLiteral("  ") + QString::fromLatin1(command.name).leftJustified(10);
    text += Wrapped(head, static_cast<int>(head.size()), UsageWords(command), 13);
    for (const QString& line : QString::fromUtf8(command.summary).split(QLatin1Char('\n')))
      text += QString(13, QLatin1Char(' ')) + line + QLatin1Char('\n');
  }
  text += QStringLiteral("\nオプション:\n");
  text += Table({{OptionWithValue(Options().at(QStringLiteral("settings"))),
                  QString::fromUtf8(Options().at(QStringLiteral("settings")).description)},
                 {kHelpLine, QStringLiteral("このヘルプを表示します。")},
                 {kVersionLine, QStringLiteral("バージョン、ライセンスと使用しているライブラリを表示します。")}});
  text += QStringLiteral(
      "\n"
      "各コマンドのオプションは loftmark COMMAND --help で表示されます。\n"
      "終了コード: 0 成功、1 処理の失敗、2 使い方の誤り。lfup.ini を書き換えることはありません。\n");
  return text;
}

QString CommandHelp(const CommandSpec& command) {
  QString text = UsageLine(command) + QLatin1Char('\n') + QString::fromUtf8(command.summary) +
                 QStringLiteral("\n\nオプション:\n");
  QList<QPair<QString, QString>> rows;
  for (const QString& name : command.options) {
    const OptionSpec& option = Options().at(name);
    rows.append({OptionWithValue(option), QString::fromUtf8(option.description)});
  }
  rows.append({kHelpLine, QStringLiteral("このヘルプを表示します。")});
  text += Table(rows);
  text += QStringLiteral("\n終了コード: 0 成功、1 処理の失敗、2 使い方の誤り。\n");
  return text;
}

}  // namespace lm::cli
