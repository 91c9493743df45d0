#include "sync/ui/upload_operation.h"

#include <QApplication>
#include <QInputDialog>
#include <QProgressDialog>

#include "index/index_writer.h"
#include "profiles/password_keyring.h"
#include "profiles/profile_store.h"
#include "sync/check_differ.h"
#include "sync/publish.h"
#include "sync/session_trust.h"
#include "sync/upload_report.h"
#include "sync/ui/frm_test_fet.h"
#include "util/message_box.h"
#include "util/ui/qt_message_box.h"

namespace lm {
namespace {

// The window's answers: message boxes, the password prompt, the result
// window and a progress dialog.
class WindowQuestions final : public PublishQuestions {
 public:
  WindowQuestions(QWidget* parent, NextUpdateBoxes* boxes, IndexRunView* view)
      : parent_(parent), boxes_(boxes), view_(view) {}

  // The password from the profile or the keyring; asked for when neither has it.
  bool Password(const Profile& profile, QString& password) override {
    password = profile.password.trimmed();
    if (!password.isEmpty()) return true;
    if (profile.keyring == QLatin1String("1")) {
      QString why;
      const KeyringStatus status = ReadPasswordFromKeyring(KeyringAccount(profile), password, &why);
      if (status == KeyringStatus::Ok) return true;
      MsgBox(QStringLiteral("キーリングからパスワードを読み出せませんでした。") + CR + why + CR +
                 QStringLiteral("パスワードを入力してください。"),
             style::Exclamation);
    }
    QInputDialog ask(parent_);
    ask.setObjectName(QStringLiteral("PasswordPrompt"));
    ask.setWindowTitle(kAppTitle);
    ask.setLabelText(Bracketed(profile.server.trimmed()) + QStringLiteral("のパスワードを入力してください。") +
                     (LogsInWithKey(profile) ? QStringLiteral("\n空欄のときは SSH の鍵 (または ssh-agent) でログインします。")
                                             : QString()));
    ask.setTextEchoMode(QLineEdit::Password);
    ask.setOkButtonText(ButtonCaption(QMessageBox::Ok));
    ask.setCancelButtonText(ButtonCaption(QMessageBox::Cancel));
    if (ask.exec() != QDialog::Accepted) return false;
    password = ask.textValue();
    return true;
  }

  // The questions of trust. A changed certificate may mean that someone
  // stands between the author and the server, so its question has いいえ as
  // the default button.
  bool TrustNewCertificate(const QString& presented) override {
    return MsgBox(NewCertificateQuestion(presented), style::YesNoQuestion) == button::Yes;
  }
  bool TrustChangedCertificate(const QString& pinned, const QString& presented) override {
    return MsgBox(ChangedCertificateQuestion(pinned, presented),
                  style::YesNo + style::Exclamation + style::DefaultSecond) == button::Yes;
  }
  bool TrustNewHostKey(const QString& host, const QString& fingerprint) override {
    return MsgBox(NewHostKeyQuestion(host, fingerprint), style::YesNoQuestion) == button::Yes;
  }

  bool RewriteStaleIndex(int count, const QString& firstPath, QString& why) override {
    const QString head = QStringLiteral("更新定義ファイルが DAT の内容と一致しません (%1 件、最初は%2)。")
                             .arg(count)
                             .arg(Bracketed(firstPath));
    if (!boxes_ || !view_) {
      why = head + CR + QStringLiteral("先に更新定義ファイルを作成してください。");
      return false;
    }
    if (MsgBox(head + CR + QStringLiteral("いま入力されている次回更新予定日時で更新定義ファイルを作成してから送信しますか？"),
               style::YesNoQuestion) != button::Yes)
      return false;
    return WriteIndexForProfile(1, *boxes_, *view_) == 0;
  }

  bool ConfirmPlan(const PublishPlan& plan) override {
    FrmTestFet& window = FrmTestFetWindow(parent_);
    window.ShowComparison(plan.shown);
    window.SetUploadMode(true, plan.TotalsText());
    const bool go = window.exec() == QDialog::Accepted;
    window.SetUploadMode(false);
    window.hide();
    return go;
  }

  bool ConfirmDeletions(int count) override {
    return MsgBox(DeletionQuestion(count), style::YesNoQuestion) == button::Yes;
  }

  bool Progress(const UploadProgress& p) override {
    if (!progress_) {
      progress_ = std::make_unique<QProgressDialog>(parent_);
      progress_->setObjectName(QStringLiteral("UploadProgress"));
      progress_->setWindowTitle(kAppTitle);
      progress_->setCancelButtonText(ButtonCaption(QMessageBox::Cancel));
      progress_->setRange(0, 1000);
      progress_->setMinimumDuration(0);
      progress_->setWindowModality(Qt::WindowModal);
      progress_->show();
    }
    progress_->setLabelText(QStringLiteral("%1\n%2 / %3 ファイル　%4 / %5")
                                .arg(p.current)
                                .arg(p.filesDone)
                                .arg(p.filesTotal)
                                .arg(ByteCountText(p.bytesDone), ByteCountText(p.bytesTotal)));
    progress_->setValue(p.bytesTotal > 0 ? static_cast<int>(p.bytesDone * 1000 / p.bytesTotal) : 0);
    QCoreApplication::processEvents();
    return !progress_->wasCanceled();
  }

  void HideProgress() {
    if (progress_) progress_->hide();
  }

 private:
  QWidget* parent_;
  NextUpdateBoxes* boxes_;
  IndexRunView* view_;
  std::unique_ptr<QProgressDialog> progress_;
};

// The current profile, looked up once: a copy of it in `profile` and its
// script's layout; null when there is none or it names no server.
Profile* CurrentScript(Profile& profile, ScriptLayout& layout) {
  Profile* current = CurrentProfile();
  if (!current) return nullptr;
  profile = *current;
  if (!ProfileHasServer(profile)) {
    MsgBox(QStringLiteral("接続先サーバが設定されていません。"), style::Exclamation);
    return nullptr;
  }
  QString message;
  CheckScriptLayout(profile.ugu, layout, message);
  return current;
}

// A certificate trusted during the run stays with the profile.
void KeepTrust(Profile& stored, const Profile& used) { stored.servercert = used.servercert; }

}  // namespace

bool ProfileHasServer(const Profile& profile) { return !profile.server.trimmed().isEmpty(); }

void RunUploadOperation(QWidget* parent, NextUpdateBoxes* boxes, IndexRunView* view) {
  Profile profile;
  ScriptLayout layout;
  Profile* stored = CurrentScript(profile, layout);
  if (!stored) return;
  WindowQuestions questions(parent, boxes, view);
  const PublishResult result = PublishScript(profile, layout, questions);
  questions.HideProgress();
  KeepTrust(*stored, profile);
  if (result.message.isEmpty()) return;
  MsgBox(result.message, result.ok() ? style::Information : style::Exclamation);
}

void RunServerCheckOperation(QWidget* parent) {
  Profile profile;
  ScriptLayout layout;
  Profile* stored = CurrentScript(profile, layout);
  if (!stored) return;
  WindowQuestions questions(parent, nullptr, nullptr);
  const PublishResult result = VerifyServer(profile, layout, questions);
  KeepTrust(*stored, profile);
  if (result.message.isEmpty()) return;
  MsgBox(result.message, result.ok() ? style::Information : style::Exclamation);
}

}  // namespace lm
