// Message boxes, as the core code sees them.
//
// Core code never draws a window: it asks the installed MessageBoxSink to show
// a text with a style number and a title and gets back the pressed button.
// The program installs a sink that draws QMessageBox; tests install a
// scripted fake that records every box and answers from a script.
//
// Style numbers: 0 OK only, no icon; 5 Retry and Cancel; 16 OK with the stop
// icon; 36 Yes and No with the question icon; 48 OK with the exclamation
// icon; 64 OK with the information icon; plus 256, the second button is the
// default. Button results use the classic
// numbers below. Inside a message a line break is a single CR (code 13).
#pragma once

#include <QChar>
#include <QString>

namespace lm {

namespace button {
constexpr int OK = 1;
constexpr int Cancel = 2;
constexpr int Abort = 3;
constexpr int Retry = 4;
constexpr int Ignore = 5;
constexpr int Yes = 6;
constexpr int No = 7;
}  // namespace button

namespace style {
constexpr int OkOnly = 0;
constexpr int YesNo = 4;
constexpr int RetryCancel = 5;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int YesNoQuestion = 36;
constexpr int Exclamation = 48;
constexpr int Information = 64;
// Added to a style with two or more buttons: the second button (No, Cancel)
// is the default, so that Enter does not say Yes to a risky question.
constexpr int DefaultSecond = 256;
}  // namespace style

inline const QChar CR = QChar(13);
inline const QString kAppTitle = QStringLiteral("Loftmark");

class MessageBoxSink {
 public:
  virtual ~MessageBoxSink() = default;
  virtual int Show(const QString& text, int style, const QString& title) = 0;
};

// Installs the sink used by MsgBox; nullptr restores the fallback, which
// writes the message to standard error and answers No, Cancel or OK.
void SetMessageBoxSink(MessageBoxSink* sink);
MessageBoxSink* CurrentMessageBoxSink();

// Shows a message box and returns the pressed button. Called off the
// application's main thread, it waits while the box is shown on that thread.
int MsgBox(const QString& text, int style = style::OkOnly, const QString& title = kAppTitle);

// A file or directory name as messages show it: between "『" and "』".
inline QString Bracketed(const QString& name) {
  return QStringLiteral("『") + name + QStringLiteral("』");
}

// The text with every CR turned into a line break for display.
QString MessageTextForDisplay(const QString& text);

}  // namespace lm
