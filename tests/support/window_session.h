// What a test that starts the real main window in its own process sets up
// and undoes: the program folder, a private runtime directory for the
// running-copy lock, and at the end the window closed, the marker and the
// lock given up and every process-wide value put back.
#pragma once

#include <sys/stat.h>

#include <memory>

#include <QFile>
#include <QString>

#include "shell/instance_guard.h"
#include "shell/ui/main_window.h"
#include "util/app_globals.h"

namespace lmtest {

class WindowSession {
 public:
  // `programFolder` becomes the executable's directory; `runtime` (made
  // private to the user) the XDG runtime directory.
  WindowSession(const QString& programFolder, const QString& runtime)
      : savedProgramDir_(lm::programDir), savedRuntime_(qgetenv("XDG_RUNTIME_DIR")) {
    lm::SetExecutableDirForTesting(programFolder);
    ::chmod(QFile::encodeName(runtime).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
  }
  ~WindowSession() {
    lm::SetExecutableDirForTesting(QString());
    lm::programDir = savedProgramDir_;
    if (savedRuntime_.isNull())
      qunsetenv("XDG_RUNTIME_DIR");
    else
      qputenv("XDG_RUNTIME_DIR", savedRuntime_);
  }
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // Closes and destroys the window (when there is one) and gives up the
  // running-copy marker and lock, so the next start in this process works.
  static void End(std::unique_ptr<lm::FIND>& window) {
    if (window && window->isVisible()) window->close();
    window.reset();
    lm::ReleaseInstanceGuard();
    lm::ReleaseInstanceLock();
  }

 private:
  QString savedProgramDir_;
  QByteArray savedRuntime_;
};

}  // namespace lmtest
