#include "util/message_box.h"

#include <cstdio>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace lm {
namespace {

class StderrSink final : public MessageBoxSink {
 public:
  int Show(const QString& text, int style, const QString& title) override {
    std::fprintf(stderr, "[%s] %s\n", title.toUtf8().constData(),
                 MessageTextForDisplay(text).toUtf8().constData());
    switch (style & 7) {
      case 4: return button::No;       // Yes/No
      case 3: return button::Cancel;   // Yes/No/Cancel
      case 5: return button::Cancel;   // Retry/Cancel
      case 1: return button::Cancel;   // OK/Cancel
      default: return button::OK;
    }
  }
};

StderrSink& Fallback() {
  static StderrSink sink;
  return sink;
}

MessageBoxSink* g_sink = nullptr;

}  // namespace

void SetMessageBoxSink(MessageBoxSink* sink) { g_sink = sink; }

MessageBoxSink* CurrentMessageBoxSink() { return g_sink ? g_sink : &Fallback(); }

int MsgBox(const QString& text, int style, const QString& title) {
  // A box asked for by work running off the window's thread (an archive
  // build) is shown on the window's thread, modal, and the work waits for
  // the answer: boxes keep their order and never come from two threads.
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() != app->thread()) {
    int pressed = button::Cancel;
    QMetaObject::invokeMethod(
        app, [&] { pressed = CurrentMessageBoxSink()->Show(text, style, title); }, Qt::BlockingQueuedConnection);
    return pressed;
  }
  return CurrentMessageBoxSink()->Show(text, style, title);
}

QString MessageTextForDisplay(const QString& text) {
  QString t = text;
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  t.replace(CR, QLatin1Char('\n'));
  return t;
}

}  // namespace lm
