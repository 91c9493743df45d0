#include "sync/ui/upload_operation.h"

#include <QApplication>
#include <QInputDialog>
#include <QProgressDialog>

#include "profiles/password_keyring.h"
#include "profiles/profile_store.h"
#include "sync/check_differ.h"
#include "sync/mc_win_ftp.h"
#include "sync/server_upload.h"
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
  ask.setLabelText(Bracketed(profile.server.trimmed()) + QStringLiteral("のパスワードを入力してください。"));
  ask.setTextEchoMode(QLineEdit::Password);
  ask.setOkButtonText(ButtonCaption(QMessageBox::Ok));
  ask.setCancelButtonText(ButtonCaption(QMessageBox::Cancel));
  if (ask.exec() != QDialog::Accepted) return false;
  password = ask.textValue();
  return true;
}

// Opens the session; an FTPS certificate that the system does not vouch for
// is shown by its fingerprint and, when the author trusts it, kept in the
// profile and used from then on.
bool Connect(McWinFTP& ftp, Profile& profile, const QString& password, QString& message) {
  ftp.SetHostKeyApprover([](const QString& host, const QString& fingerprint) {
    return MsgBox(QStringLiteral("サーバー") + Bracketed(host) + QStringLiteral("のホスト鍵はまだ登録されていません。") + CR + fingerprint + CR +
                      QStringLiteral("このホスト鍵を信頼して known_hosts に追加しますか？"),
                  style::YesNoQuestion) == button::Yes;
  });
  if (OpenProfileSession(ftp, profile, password, message)) return true;
  const QString presented = ftp.PresentedCertificate();
  if (presented.isEmpty() || presented == profile.servercert) return false;
  if (MsgBox(QStringLiteral("サーバーの証明書を確認できませんでした。") + CR + QStringLiteral("SHA-256: ") + presented + CR +
                 QStringLiteral("この証明書が本当にサーバーのものであることを確かめた場合だけ、信頼してください。") + CR +
                 QStringLiteral("この証明書を信頼して接続しますか？"),
             style::YesNoQuestion) != button::Yes)
    return false;
  profile.servercert = presented;
  if (currentProfile >= 0 && currentProfile < kProfileCapacity) profileTable[currentProfile].servercert = presented;
  return OpenProfileSession(ftp, profile, password, message);
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
