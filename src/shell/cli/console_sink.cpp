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
  const int buttons = Buttons(style);
  if (buttons == 0) {  // OK only
    kept_ << text;
    return button::OK;
  }
  if (!answerYes_) {
    kept_ << text;
    refused_ = true;
    switch (buttons) {
      case 2: return button::Abort;
      case 4: return button::No;
      default: return button::Cancel;  // OK/Cancel, Yes/No/Cancel, Retry/Cancel
    }
  }
  // The log shows what --yes answered.
  switch (buttons) {
    case 5:  // Retry and Cancel
      if (++retries_[text] <= kRetriesPerQuestion) {
        kept_ << text + CR + QStringLiteral("(--yes: 再試行)");
        return button::Retry;
      }
      kept_ << text + CR + QStringLiteral("(--yes: %1 回再試行したため中止)").arg(kRetriesPerQuestion);
      return button::Cancel;
    case 1:
      kept_ << text + CR + QStringLiteral("(--yes: OK)");
      return button::OK;
    case 2:
      kept_ << text + CR + QStringLiteral("(--yes: 無視)");
      return button::Ignore;
    default:
      kept_ << text + CR + QStringLiteral("(--yes: はい)");
      return button::Yes;
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
