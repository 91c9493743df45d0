#include "archive/ui/build_run_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QEvent>
#include <QEventLoop>
#include <QListWidget>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <limits>

#include "archive/build_progress.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/ui/qt_message_box.h"

namespace lm {

namespace {

// The delay before the progress dialog shows: shorter builds pass without it.
constexpr int kProgressDelayMs = 500;
// How often a dialog held back by a message box looks again.
constexpr int kProgressRecheckMs = 100;

// Holds back the user's input to one window while a build runs off its
// thread: the build reads the profile the window would change. Drawing,
// timers and the build's own message boxes go on.
class InputHold final : public QObject {
 public:
  explicit InputHold(QWidget* window) : window_(window) {
    if (window_) qApp->installEventFilter(this);
  }
  ~InputHold() override {
    if (window_) qApp->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != window_) return false;
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::ShortcutOverride:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::DragEnter:
      case QEvent::Drop:
        return true;
      case QEvent::Close:
        // Closing saves the profiles and ends the program: not while a build runs.
        event->ignore();
        return true;
      default:
        return false;
    }
  }

 private:
  QWidget* window_;
};

}  // namespace

BuildRunWindow::BuildRunWindow(QWidget* window, QComboBox* typeList, QAbstractButton* executeButton,
                               QListWidget* resultList)
    : window_(window), typeList_(typeList), executeButton_(executeButton), resultList_(resultList) {}

QString BuildRunWindow::ArchiveTypeText() const {
  if (!typeList_ || typeList_->currentIndex() < 0) return {};
  return typeList_->currentText();
}

quintptr BuildRunWindow::WindowHandle() const {
  // The handle the window already has; none is created for the libraries.
  return window_ ? static_cast<quintptr>(window_->effectiveWinId()) : 0;
}

void BuildRunWindow::SetBuildRunning(bool running) {
  if (running && !cursorSet_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorSet_ = true;
  } else if (!running && cursorSet_) {
    QApplication::restoreOverrideCursor();
    cursorSet_ = false;
  }
  if (executeButton_) executeButton_->setEnabled(!running);
}

void BuildRunWindow::SetExecuteEnabled(bool enabled) {
  if (executeButton_) executeButton_->setEnabled(enabled && !ArchiveBuildRunning());
}

void BuildRunWindow::RunBuild(const std::function<void()>& build) {
  InputHold hold(window_);
  QProgressDialog dialog(window_);
  dialog.setObjectName(QStringLiteral("BuildProgress"));
  dialog.setWindowTitle(QStringLiteral("Loftmark"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setCancelButtonText(ButtonCaption(QMessageBox::Cancel));
  dialog.setLabelText(QStringLiteral("配布用アーカイブを作成しています"));
  dialog.setMinimumWidth(420);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  // Only showLater below brings the dialog up. QProgressDialog's own timer
  // (four seconds from its construction, restarted with the minimum
  // duration by setValue at the minimum) would show it over a message box
  // of the build.
  dialog.setMinimumDuration(std::numeric_limits<int>::max());
  dialog.setRange(0, 0);  // busy until the first step is known
  dialog.setValue(0);
  // The library call that runs is finished first; the build stops after it.
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [] { RequestBuildCancel(); });
  // The steps are announced on the build's thread; the dialog follows on its own.
  const int listener = AddBuildStepListener([&dialog](const QString& text, int done, int total) {
    QMetaObject::invokeMethod(
        &dialog,
        [&dialog, text, done, total] {
          if (dialog.wasCanceled()) return;
          dialog.setRange(0, total);
          dialog.setValue(done - 1);  // the steps finished before this one
          dialog.setLabelText(text);
        },
        Qt::QueuedConnection);
  });
  QTimer showLater;
  showLater.setSingleShot(true);
  QObject::connect(&showLater, &QTimer::timeout, &dialog, [&dialog, &showLater] {
    // Not while a message box of the build is open: the dialog would come up
    // over the question the build waits for and hide it. It comes once the
    // box is answered and the build is still running.
    if (QApplication::activeModalWidget()) {
      showLater.start(kProgressRecheckMs);
      return;
    }
    dialog.show();
  });
  showLater.start(kProgressDelayMs);

  QEventLoop loop;
  QThread* thread = QThread::create(build);
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
  thread->start();
  loop.exec();
  thread->wait();
  delete thread;
  RemoveBuildStepListener(listener);
  showLater.stop();
  dialog.hide();
}

void BuildRunWindow::ShowArchivesWritten(const QStringList& lines) {
  if (resultList_) {
    resultList_->addItems(lines);
    resultList_->scrollToBottom();
  }
}

}  // namespace lm

namespace lm {

WindowRunWaiter::WindowRunWaiter(QWidget* window, QListWidget* list) : window_(window) {
  QPointer<QListWidget> target(list);
  listener_ = AddRunNoteListener([target](const QString& line) {
    // Notes come from the build's thread too; the list is the window's.
    QMetaObject::invokeMethod(
        qApp,
        [target, line] {
          if (!target) return;
          target->addItem(line);
          target->scrollToBottom();
        },
        Qt::QueuedConnection);
  });
  SetRunLockWaiter(this);
}

WindowRunWaiter::~WindowRunWaiter() {
  SetRunLockWaiter(nullptr);
  RemoveRunNoteListener(listener_);
}

bool WindowRunWaiter::Wait(const QString& busy, const std::function<bool()>& tryNow) {
  if (QThread::currentThread() != qApp->thread()) {
    // Off the window's thread (the build's own thread): the progress dialog
    // names the wait.
    ReportBuildStep(WaitingText(busy));
    while (!tryNow()) {
      if (BuildCancelled()) return false;
      QThread::msleep(100);
    }
    return true;
  }
  QProgressDialog dialog(window_);
  dialog.setObjectName(QStringLiteral("RunWait"));
  dialog.setWindowTitle(QStringLiteral("Loftmark"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setCancelButtonText(ButtonCaption(QMessageBox::Cancel));
  dialog.setLabelText(WaitingText(busy));
  dialog.setMinimumWidth(420);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setMinimumDuration(0);
  dialog.setRange(0, 0);
  bool taken = false;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (tryNow()) {
      taken = true;
      loop.quit();
    }
  });
  QObject::connect(&dialog, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
  poll.start(100);
  dialog.show();
  loop.exec();
  poll.stop();
  dialog.hide();
  return taken;
}

void OpenArchiveFolder() {
  const QString folder = ArchiveFolderOfCurrentProfile();
  const QString real = ResolveExisting(folder);
  if (real.isEmpty() || !QFileInfo(real).isDir()) {
    MsgBox(QStringLiteral("アーカイブの保存先") + Bracketed(folder) + QStringLiteral("が存在しません。"),
           style::Exclamation, kAppTitle);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(real))) {
    MsgBox(QStringLiteral("アーカイブの保存先") + Bracketed(real) + QStringLiteral("を開けません。"),
           style::Exclamation, kAppTitle);
  }
}

}  // namespace lm
