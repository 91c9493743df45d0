// FrmTestFet ("実験"): the window that shows the result of the comparison of
// the local and the server's update definition files in four lists.
//
// The window is created on first use and then only hidden ("閉じる"), never
// destroyed; the next comparison clears and refills the same lists.
//
// Before an upload the same window asks the author to go ahead: it then
// shows the totals (LblTotals) and the buttons アップロード (CmdUpload,
// accepts) and キャンセル (CmdCancel, rejects) in place of 閉じる.
#pragma once

#include <QDialog>

#include "sync/check_differ.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace lm {

class FrmTestFet : public QDialog {
  Q_OBJECT

 public:
  explicit FrmTestFet(QWidget* parent = nullptr);

  // Clears the four lists and adds, in index order, the paths of the local
  // entries (List1), the server's entries (List2), the uploads (List3) and
  // the deletions (List4).
  void ShowComparison(const IndexComparison& comparison);
  // ShowComparison with the last comparison.
  void FillFromComparison();

  QListWidget* List(int number) const;  // List1 .. List4

  // Switches between the comparison's look and the upload question.
  void SetUploadMode(bool on, const QString& totals = QString());

 private slots:
  void Command2_Click();

 private:
  QLabel* labels_[4] = {};
  QListWidget* lists_[4] = {};
  QPushButton* command2_ = nullptr;
  QLabel* totals_ = nullptr;
  QPushButton* upload_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// The one result window of the process, created with `parent` on first use.
FrmTestFet& FrmTestFetWindow(QWidget* parent = nullptr);

}  // namespace lm
