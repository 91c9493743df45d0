#include "sync/ui/frm_test_fet.h"

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include "sync/check_differ.h"
#include "util/ui/ui_look.h"
#include "util/visible.h"

namespace lm {

FrmTestFet::FrmTestFet(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmTestFet"));
  setWindowTitle(QStringLiteral("実験"));
  ApplyDialogLook(this);
  setFixedSize(Twips(6675), Twips(5220));

  struct Row {
    const char* caption;
    int labelTop;
    int listTop;
  };
  static const Row rows[4] = {{"ローカルのファイル一覧", 240, 480},
                              {"サーバのファイル一覧", 1320, 1560},
                              {"追加ファイル一覧", 2400, 2640},
                              {"削除対象一覧", 3480, 3720}};
  for (int i = 0; i < 4; ++i) {
    labels_[i] = new QLabel(QString::fromUtf8(rows[i].caption), this);
    labels_[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    labels_[i]->setGeometry(TwipRect(420, rows[i].labelTop, 5715, 240));
    lists_[i] = new QListWidget(this);
    lists_[i]->setObjectName(QStringLiteral("List%1").arg(i + 1));
    lists_[i]->setGeometry(TwipRect(420, rows[i].listTop, 5715, 780));
    lists_[i]->setSortingEnabled(false);
  }
  command2_ = new QPushButton(QStringLiteral("閉じる"), this);
  command2_->setObjectName(QStringLiteral("Command2"));
  command2_->setGeometry(TwipRect(2700, 4620, 1095, 435));
  command2_->setAutoDefault(false);
  connect(command2_, &QPushButton::clicked, this, &FrmTestFet::Command2_Click);

  totals_ = new QLabel(this);
  totals_->setObjectName(QStringLiteral("LblTotals"));
  totals_->setGeometry(TwipRect(420, 4560, 5715, 240));
  upload_ = new QPushButton(QStringLiteral("アップロード"), this);
  upload_->setObjectName(QStringLiteral("CmdUpload"));
  upload_->setGeometry(TwipRect(1920, 4980, 1335, 435));
  cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel_->setObjectName(QStringLiteral("CmdCancel"));
  cancel_->setGeometry(TwipRect(3480, 4980, 1335, 435));
  connect(upload_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  SetUploadMode(false);

  // Tab order: List1, List2, List3, Command2, List4.
  setTabOrder(lists_[0], lists_[1]);
  setTabOrder(lists_[1], lists_[2]);
  setTabOrder(lists_[2], command2_);
  setTabOrder(command2_, lists_[3]);
}

QListWidget* FrmTestFet::List(int number) const {
  return number >= 1 && number <= 4 ? lists_[number - 1] : nullptr;
}

void FrmTestFet::FillFromComparison() { ShowComparison(LastComparison()); }

void FrmTestFet::ShowComparison(const IndexComparison& comparison) {
  for (QListWidget* list : lists_) list->clear();
  // The paths come from the files compared, the server's copy among them:
  // shown with their control characters escaped.
  QStringList local, server, upload, removed;
  for (const IndexEntry& e : comparison.local) local << Visible(e.path);
  for (const IndexEntry& e : comparison.server) server << Visible(e.path);
  for (const QString& p : comparison.uploads) upload << Visible(p);
  for (const QString& p : comparison.deletions) removed << Visible(p);
  lists_[0]->addItems(local);
  lists_[1]->addItems(server);
  lists_[2]->addItems(upload);
  lists_[3]->addItems(removed);
}

void FrmTestFet::Command2_Click() { hide(); }

void FrmTestFet::SetUploadMode(bool on, const QString& totals) {
  totals_->setText(totals);
  totals_->setVisible(on);
  upload_->setVisible(on);
  cancel_->setVisible(on);
  command2_->setVisible(!on);
  upload_->setDefault(on);
  setFixedSize(Twips(6675), Twips(on ? 5640 : 5220));
}

FrmTestFet& FrmTestFetWindow(QWidget* parent) {
  static QPointer<FrmTestFet> window;
  if (!window) window = new FrmTestFet(parent);
  return *window;
}

}  // namespace lm
