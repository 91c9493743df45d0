// Message boxes on the command line.
//
// The operations tell the user through message boxes. On the command line
// the sink keeps every message of a run and prints them when the run ends:
// on standard output when it succeeded, on standard error (each message
// introduced by "loftmark: ") when it failed. A question is answered by the
// --yes option; without it the negative answer is given and the run is
// marked as refused, so the command fails with a message naming --yes.
// Nothing ever reads the keyboard.
#pragma once

#include <cstdio>
#include <map>

#include <QString>
#include <QStringList>

#include "util/message_box.h"

namespace lm::cli {

class ConsoleMessageSink final : public MessageBoxSink {
 public:
  explicit ConsoleMessageSink(bool answerYes);
  ~ConsoleMessageSink() override;
  ConsoleMessageSink(const ConsoleMessageSink&) = delete;
  ConsoleMessageSink& operator=(const ConsoleMessageSink&) = delete;

  int Show(const QString& text, int style, const QString& title) override;

  // True when a question was left unanswered because --yes was not given.
  bool QuestionRefused() const { return refused_; }
  // Keeps a message of the command line itself with those of the operation.
  void Add(const QString& text) { kept_ << text; }
  // Prints the kept messages (stdout when `succeeded`, else stderr) and
  // forgets them.
  void Flush(bool succeeded);

 private:
  bool answerYes_;
  bool refused_ = false;
  QStringList kept_;
  std::map<QString, int> retries_;
  MessageBoxSink* previous_;
};

// Writes `text` (CR as line breaks) to `stream` as UTF-8 with a final line
// break; with `prefixed` the first line begins with "loftmark: ".
void PrintMessage(std::FILE* stream, const QString& text, bool prefixed);

// The refusal that names the option answering questions.
QString NeedsYesMessage();

}  // namespace lm::cli
