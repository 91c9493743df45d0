#include "sync/session_trust.h"

#include "sync/curl_ftp_session.h"
#include "sync/mc_win_ftp.h"
#include "sync/remote_path.h"
#include "sync/server_upload.h"
#include "util/message_box.h"

namespace lm {

QString NewCertificateQuestion(const QString& presented) {
  return QStringLiteral("サーバーの証明書を確認できませんでした。") + CR + QStringLiteral("SHA-256: ") + presented + CR +
         QStringLiteral("この証明書が本当にサーバーのものであることを確かめた場合だけ、信頼してください。") + CR +
         QStringLiteral("この証明書を信頼して接続しますか？");
}

QString ChangedCertificateQuestion(const QString& pinned, const QString& presented) {
  return QStringLiteral("サーバーの証明書が変わっています。") + CR + QStringLiteral("登録されている証明書 SHA-256: ") +
         pinned + CR + QStringLiteral("サーバーが示した証明書 SHA-256: ") + presented + CR +
         QStringLiteral("第三者がサーバーになりすましている可能性があります。証明書を替えたことをサーバーの管理者に"
                        "確かめた場合だけ、新しい証明書を信頼してください。") +
         CR + QStringLiteral("新しい証明書を信頼して接続しますか？");
}

QString NewHostKeyQuestion(const QString& host, const QString& fingerprint) {
  return QStringLiteral("サーバー") + Bracketed(host) + QStringLiteral("のホスト鍵はまだ登録されていません。") + CR +
         fingerprint + CR + QStringLiteral("このホスト鍵を信頼して known_hosts に追加しますか？");
}

bool LogsInWithKey(const Profile& profile) {
  RemoteServer server;
  return ParseServerText(profile.server, server) && server.scheme == RemoteScheme::Sftp;
}

bool OpenTrustedSession(McWinFTP& ftp, Profile& profile, const QString& password, TrustQuestions& questions,
                        QString& message) {
  ftp.SetHostKeyApprover(
      [&questions](const QString& host, const QString& fingerprint) { return questions.TrustNewHostKey(host, fingerprint); });
  if (OpenProfileSession(ftp, profile, password, message)) return true;
  const QString presented = ftp.PresentedCertificate();
  if (presented.isEmpty()) return false;
  const QString pinned = profile.servercert.trimmed();
  const bool trusted = ftp.CertificateChanged() ? questions.TrustChangedCertificate(pinned, presented)
                                                : questions.TrustNewCertificate(presented);
  if (!trusted) return false;
  profile.servercert = presented;
  return OpenProfileSession(ftp, profile, password, message);
}

}  // namespace lm
