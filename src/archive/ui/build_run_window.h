// The archive operation's view of the main window: the selected text of its
// archive type list Combo1, its window handle, and while a build runs the
// wait cursor, an execute button that stays disabled and the progress dialog;
// after it the archives written in List1.
#pragma once

#include <QString>

#include "archive/build_driver.h"
#include "util/run_lock.h"

class QAbstractButton;
class QComboBox;
class QListWidget;
class QWidget;

namespace lm {

class BuildRunWindow final : public ArchiveRunView {
 public:
  BuildRunWindow(QWidget* window, QComboBox* typeList, QAbstractButton* executeButton,
                 QListWidget* resultList = nullptr);

  // "" when no item is selected.
  QString ArchiveTypeText() const override;
  quintptr WindowHandle() const override;
  // On: the wait cursor over the program and the execute button disabled;
  // off: both undone.
  void SetBuildRunning(bool running) override;
  // Runs the build on a thread of its own while the window keeps drawing
  // itself. Input to the window waits; a progress dialog "BuildProgress"
  // comes up when the build takes longer than half a second, names the step
  // and offers キャンセル. Message boxes of the build appear on the window's
  // thread in their order.
  void RunBuild(const std::function<void()>& build) override;
  // Appends the lines to the result list.
  void ShowArchivesWritten(const QStringList& lines) override;

  // For the index writer's enabling of the execute button: it stays
  // disabled while a build runs.
  void SetExecuteEnabled(bool enabled);

 private:
  QWidget* window_;
  QComboBox* typeList_;
  QAbstractButton* executeButton_;
  QListWidget* resultList_;
  bool cursorSet_ = false;
};

}  // namespace lm

namespace lm {

// The window's way of waiting for another run (another window or a command)
// that holds the script or the archive names an operation needs, installed
// for the process while it lives: a dialog "RunWait" over the window says
// "別の処理が終わるのを待っています…" and what is busy, until the other run
// ends (the operation then goes on) or キャンセル (nothing is done). Run notes
// are added to `list` as they come.
class WindowRunWaiter final : public RunLockWaiter {
 public:
  WindowRunWaiter(QWidget* window, QListWidget* list);
  ~WindowRunWaiter() override;
  WindowRunWaiter(const WindowRunWaiter&) = delete;
  WindowRunWaiter& operator=(const WindowRunWaiter&) = delete;

  bool Wait(const QString& busy, const std::function<bool()>& tryNow) override;

 private:
  QWidget* window_;
  int listener_;
};

// The folder the current profile's archives go to (its archive directory,
// the program folder when it has none), opened in the desktop's file
// manager. A folder that is not there is reported.
void OpenArchiveFolder();

}  // namespace lm
