#include "archive/ui/build_run_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QWidget>

namespace lm {

BuildRunWindow::BuildRunWindow(QWidget* window, QComboBox* typeList, QAbstractButton* executeButton)
    : window_(window), typeList_(typeList), executeButton_(executeButton) {}

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

}  // namespace lm
