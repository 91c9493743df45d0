// The archive operation's view of the main window: the selected text of its
// archive type list Combo1, its window handle, and while a build runs the
// wait cursor and an execute button that stays disabled.
#pragma once

#include <QString>

#include "archive/build_driver.h"

class QAbstractButton;
class QComboBox;
class QWidget;

namespace lm {

class BuildRunWindow final : public ArchiveRunView {
 public:
  BuildRunWindow(QWidget* window, QComboBox* typeList, QAbstractButton* executeButton);

  // "" when no item is selected.
  QString ArchiveTypeText() const override;
  quintptr WindowHandle() const override;
  // On: the wait cursor over the program and the execute button disabled;
  // off: both undone.
  void SetBuildRunning(bool running) override;

  // For the index writer's enabling of the execute button: it stays
  // disabled while a build runs.
  void SetExecuteEnabled(bool enabled);

 private:
  QWidget* window_;
  QComboBox* typeList_;
  QAbstractButton* executeButton_;
  bool cursorSet_ = false;
};

}  // namespace lm
