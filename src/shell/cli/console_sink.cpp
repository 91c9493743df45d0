#include "shell/cli/console_sink.h"

namespace lm::cli {
namespace {

// A Retry/Cancel question that keeps failing is retried this often under
// --yes, then cancelled, so an unattended run cannot loop for ever.
constexpr int kRetriesPerQuestion = 3;

int Buttons(int style) { return style & 0x0F; }

}  // namespace

ConsoleMessageSink::ConsoleMessageSink(bool answerYes)
    : answerYes_(answerYes), previous_(CurrentMessageBoxSink()) {
  SetMessageBoxSink(this);
}

ConsoleMessageSink::~ConsoleMessageSink() { SetMessageBoxSink(previous_); }

int ConsoleMessageSink::Show(const QString& text, int style, const QString& title) {
  (void)title;
  kept_ << text;
  switch (Buttons(style)) {
    case 0:  // OK only
      return button::OK;
    case 5: {  // Retry and Cancel
      if (answerYes_ && ++retries_[text] <= kRetriesPerQuestion) return button::Retry;
      if (!answerYes_) refused_ = true;
      return button::Cancel;
    }
    case 1:  // OK and Cancel
      if (answerYes_) return button::OK;
      refused_ = true;
      return button::Cancel;
    case 2:  // Abort, Retry, Ignore
      if (answerYes_) return button::Ignore;
      refused_ = true;
      return button::Abort;
    default:  // Yes and No (with or without Cancel)
      if (answerYes_) return button::Yes;
      refused_ = true;
      return Buttons(style) == 3 ? button::Cancel : button::No;
  }
}

void ConsoleMessageSink::Flush(bool succeeded) {
  if (refused_ && !answerYes_) kept_ << NeedsYesMessage();
  refused_ = false;
  for (const QString& text : std::as_const(kept_)) PrintMessage(succeeded ? stdout : stderr, text, !succeeded);
  kept_.clear();
}

void PrintMessage(std::FILE* stream, const QString& text, bool prefixed) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(CR, QLatin1Char('\n'));
  if (prefixed) shown.prepend(QStringLiteral("loftmark: "));
  if (!shown.endsWith(QLatin1Char('\n'))) shown += QLatin1Char('\n');
  const QByteArray bytes = shown.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

QString NeedsYesMessage() {
  return QStringLiteral("確認が必要なため中止しました。--yes を指定すると「はい」と答えて続行します。");
}

}  // namespace lm::cli
