// The command line's own parser: the options each command takes, the help
// texts and the messages of a usage error, all in Japanese.
//
// Options are GNU style: "--name VALUE" or "--name=VALUE" for an option that
// takes a value, "--name" for a switch; "-h" and "-v" stand for --help and
// --version; after "--" every word is an argument. An option given twice
// keeps its last value. Each command accepts only its own options.
#pragma once

#include <map>
#include <vector>

#include <QString>
#include <QStringList>

namespace lm::cli {

struct CommandContext;

struct OptionSpec {
  const char* name;         // without the leading "--"
  const char* valueName;    // the placeholder of its value; nullptr for a switch
  const char* description;  // one line
};

struct CommandSpec {
  const char* name;
  int (*run)(CommandContext&);
  // The required part of the usage line ("(--profile NAME | --script FILE)");
  // every option of the command not named there follows it in brackets.
  const char* required;
  const char* summary;  // what the command does, one or two lines
  QStringList options;  // the options it accepts, in the order its help lists them
};

// Every option any command takes, and the commands.
const std::map<QString, OptionSpec>& Options();
const std::vector<CommandSpec>& Commands();
const CommandSpec* FindCommand(const QString& name);

// The parsed arguments. isSet and value have the names QCommandLineParser
// gives them, so that the commands read them the same way.
class Arguments {
 public:
  bool isSet(const QString& name) const { return values_.count(name) != 0; }
  QString value(const QString& name) const;
  const QStringList& positionalArguments() const { return positional_; }

  // Parses `words` (the arguments after the program name). False with
  // `error` set when a word is not an option of any command or an option
  // lacks its value or has one it cannot take.
  bool Parse(const QStringList& words, QString& error);

  // Empty when every option given is one `command` accepts; else the
  // message that names the first one it does not.
  QString RefusedOption(const CommandSpec& command) const;

  bool HelpWanted() const { return help_; }
  bool VersionWanted() const { return version_; }

 private:
  std::map<QString, QString> values_;
  QStringList order_;  // the options as given, for the first refused one
  QStringList positional_;
  bool help_ = false;
  bool version_ = false;
};

// The program's help: usage, the commands and the common options.
QString GlobalHelp();
// One command's help: its usage line, what it does and its options.
QString CommandHelp(const CommandSpec& command);

}  // namespace lm::cli
