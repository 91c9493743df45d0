#include "sync/ui/upload_operation.h"

#include <QApplication>
#include <QInputDialog>
#include <QProgressDialog>

#include "profiles/password_keyring.h"
#include "profiles/profile_store.h"
#include "sync/check_differ.h"
#include "sync/mc_win_ftp.h"
#include "sync/server_upload.h"
#include "sync/session_trust.h"
#include "sync/upload_report.h"
#include "sync/ui/frm_test_fet.h"
#include "util/message_box.h"
#include "util/ui/qt_message_box.h"

namespace lm {
namespace {

// The password from the profile or the keyring; asked for when neither has it.
bool PasswordFor(QWidget* parent, const Profile& profile, QString& password) {
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
  QInputDialog ask(parent);
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

// The trust questions as message boxes. A changed certificate may mean that
// someone stands between the author and the server, so its question has
// いいえ as the default button.
class WindowTrustQuestions final : public TrustQuestions {
 public:
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
};

// Opens the session; a certificate the author trusts is kept in the profile
// and used from then on.
bool Connect(McWinFTP& ftp, Profile& profile, const QString& password, QString& message) {
  WindowTrustQuestions questions;
  const QString pinned = profile.servercert;
  const bool open = OpenTrustedSession(ftp, profile, password, questions, message);
  if (profile.servercert != pinned && currentProfile >= 0 && currentProfile < kProfileCapacity)
    profileTable[currentProfile].servercert = profile.servercert;
  return open;
}

}  // namespace

bool ProfileHasServer(const Profile& profile) { return !profile.server.trimmed().isEmpty(); }

void RunUploadOperation(QWidget* parent) {
  if (currentProfile < 0 || currentProfile >= kProfileCapacity) return;
  Profile profile = profileTable[currentProfile];
  if (!ProfileHasServer(profile)) {
    MsgBox(QStringLiteral("接続先サーバが設定されていません。"), style::Exclamation);
    return;
  }
  QString password;
  if (!PasswordFor(parent, profile, password)) return;

  McWinFTP ftp;
  QString message;
  if (!Connect(ftp, profile, password, message) || !EnterServerFolder(ftp, profile.dirserver, message) ||
      !FetchServerIndex(ftp, ServerIndexCopyPath(), message)) {
    if (!message.isEmpty()) MsgBox(message, style::Exclamation);
    return;
  }
  if (CompareCurrentProfile() != 0) return;

  const QString datDir = DatDirOfCurrentProfile();
  FrmTestFet& window = FrmTestFetWindow(parent);
  window.FillFromComparison();
  window.SetUploadMode(true, UploadTotalsText(datDir));
  const bool go = window.exec() == QDialog::Accepted;
  window.SetUploadMode(false);
  window.hide();
  if (!go) return;

  QProgressDialog progress(parent);
  progress.setObjectName(QStringLiteral("UploadProgress"));
  progress.setWindowTitle(kAppTitle);
  progress.setCancelButtonText(ButtonCaption(QMessageBox::Cancel));
  progress.setRange(0, 1000);
  progress.setMinimumDuration(0);
  progress.setWindowModality(Qt::WindowModal);
  progress.show();
  UploadHooks hooks;
  hooks.progress = [&progress](const UploadProgress& p) {
    progress.setLabelText(QStringLiteral("%1\n%2 / %3 ファイル　%4 / %5")
                              .arg(p.current)
                              .arg(p.filesDone)
                              .arg(p.filesTotal)
                              .arg(ByteCountText(p.bytesDone), ByteCountText(p.bytesTotal)));
    progress.setValue(p.bytesTotal > 0 ? static_cast<int>(p.bytesDone * 1000 / p.bytesTotal) : 0);
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  };
  hooks.confirmDeletions = [](int count) {
    return MsgBox(DeletionQuestion(count), style::YesNoQuestion) == button::Yes;
  };
  const UploadOutcome outcome = UploadChanges(ftp, datDir, uploadList, deleteList, hooks);
  progress.hide();
  ftp.CloseSession();

  if (outcome.status == UploadOutcome::Done) KeepServerIndexCopy(datDir);
  MsgBox(UploadOutcomeText(outcome), UploadOutcomeStyle(outcome));
}

}  // namespace lm
