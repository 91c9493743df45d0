#include "archive/ui/build_run_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <limits>
#include <mutex>

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
// How often the dialog draws the build's progress.
constexpr int kProgressDrawMs = 100;
// Bar units of one step; a step's part moves with the bytes its command read.
constexpr int kUnitsPerStep = 100;

// What the build last told, shared between its thread and the dialog's
// timer; the listeners only store values.
struct ProgressState {
  std::mutex mutex;
  QString words;   // the step in words
  int done = 0, total = 0;
  BuildBytes bytes;
  QElapsedTimer stepClock;  // since the step began
  bool changed = false;
};

// "12.3 MB" for a byte count.
QString Megabytes(quint64 n) { return QString::number(double(n) / 1e6, 'f', 1) + QStringLiteral(" MB"); }

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
  // After キャンセル the dialog stays, saying so, until the build has
  // stopped and put everything back; the libraries stop their command at
  // the next block.
  QObject::disconnect(&dialog, SIGNAL(canceled()), &dialog, SLOT(cancel()));
  bool stopping = false;
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&dialog, &stopping] {
    if (stopping) return;
    stopping = true;
    RequestBuildCancel();
    dialog.setLabelText(QStringLiteral("中止しています…"));
    if (auto* button = dialog.findChild<QPushButton*>()) button->setEnabled(false);
  });
  ProgressState state;
  const int listener = AddBuildStepListener([&state](const QString& text, int done, int total) {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.words = ArchiverStepWords(text);
    state.done = done;
    state.total = total;
    state.bytes = BuildBytes();
    state.stepClock.start();
    state.changed = true;
  });
  const int bytesListener = AddBuildBytesListener([&state](const BuildBytes& bytes) {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.bytes = bytes;
    state.changed = true;
  });
  QTimer draw;
  QObject::connect(&draw, &QTimer::timeout, &dialog, [&dialog, &state, &stopping] {
    if (stopping) return;
    QString words, member;
    int done = 0, total = 0;
    BuildBytes bytes;
    qint64 elapsedMs = 0;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      if (!state.changed) return;
      state.changed = false;
      words = state.words;
      done = state.done;
      total = state.total;
      bytes = state.bytes;
      elapsedMs = state.stepClock.isValid() ? state.stepClock.elapsed() : 0;
    }
    if (total <= 0) return;
    int part = 0;
    QString label = words;
    if (bytes.commandTotal > 0) {
      const quint64 doneBytes = std::min(bytes.commandDone, bytes.commandTotal);
      part = int(doneBytes * kUnitsPerStep / bytes.commandTotal);
      if (!bytes.member.isEmpty()) label += QLatin1Char('\n') + bytes.member;
      label += QLatin1Char('\n') + Megabytes(doneBytes) + QStringLiteral(" / ") + Megabytes(bytes.commandTotal);
      if (doneBytes > 0 && elapsedMs >= 1000) {
        const qint64 leftSeconds = qint64(double(elapsedMs) / 1000.0 * double(bytes.commandTotal - doneBytes) /
                                          double(doneBytes) + 0.5);
        label += QStringLiteral("　残り約 %1 秒").arg(leftSeconds);
      }
    }
    dialog.setRange(0, total * kUnitsPerStep);
    dialog.setValue((done - 1) * kUnitsPerStep + std::min(part, kUnitsPerStep - 1));
    dialog.setLabelText(label);
  });
  draw.start(kProgressDrawMs);
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
  RemoveBuildBytesListener(bytesListener);
  draw.stop();
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
