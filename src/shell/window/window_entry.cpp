// The window's entry: the start-up, then the main window's events until it
// closes. It lives in the module loftmark-window.so, which the program loads
// only when it starts without a command, so commands never load Qt Widgets.
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "shell/ui/main_window.h"
#include "shell/ui/startup.h"
#include "util/ui/qt_message_box.h"
#include "util/ui/qt_texts.h"

namespace {

int g_termPipe[2] = {-1, -1};

void OnTerminate(int) {
  const char c = 1;
  [[maybe_unused]] auto n = ::write(g_termPipe[1], &c, 1);
}

// SIGTERM and SIGINT (the session ending, a kill) close the main window like
// its close box, so the profiles are saved as on any other way out.
void CloseOnTermination(lm::FIND* window) {
  if (::pipe2(g_termPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_termPipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    char buf[16];
    while (::read(g_termPipe[0], buf, sizeof buf) > 0) {
    }
    window->close();
  });
  struct sigaction sa {};
  sa.sa_handler = OnTerminate;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int LoftmarkWindowMain(int argc, char** argv) {
  QApplication app(argc, argv);
  lm::InstallJapaneseQtTexts(app);
  lm::QtMessageBoxSink messageBoxes;
  lm::SetMessageBoxSink(&messageBoxes);

  lm::StartupHooks hooks;
  hooks.endProcess = [] { QCoreApplication::exit(0); };
  const QString executable = QCoreApplication::applicationFilePath();
  // The one argument a start with the window takes: a script information
  // file to make the current profile's script (see WantsCommandLine).
  const QStringList args = QCoreApplication::arguments();
  const QString scriptFile = args.size() == 2 ? args[1] : QString();
  std::unique_ptr<lm::FIND> window = lm::StartLoftmark(executable, hooks, scriptFile);
  if (!window) return 0;  // another copy runs
  CloseOnTermination(window.get());
  const int rc = app.exec();
  lm::SetMessageBoxSink(nullptr);
  return rc;
}
