// McWinFTP: a self-contained FTP client object with its listing record FTPFile.
//
// One object holds one session, at most one connection (a libcurl handle
// that stays open between calls) and at most one open remote listing. The
// current remote directory is kept by the object: it starts at the login
// directory, changes only after the server has accepted the new directory,
// and every later request is addressed under it.
//
// RemoteHost takes a bare host name (plain FTP) or "ftp://host[:port]",
// "ftps://host[:port]" (FTP with explicit TLS on control and data) or
// "sftp://host[:port]"; a port in the text wins over RemotePort. Nothing is thrown to the caller: every
// failure is turned into an error number and text and announced through the
// signal FTPFrr, and operations that return a value return 0 for failure and
// non-zero for success, as the Windows FTP client's functions do.
//
// Error numbers and texts:
//   12003  the server refused a command; the text is the server's own reply
//   12007  "サーバー名を解決できませんでした。" (the host name is unknown)
//   18     the listing is exhausted: SearchEnd becomes true, no signal
//   other  the system's text for the error, or "エラーが発生しています。"
//          when there is none (for instance 12029, cannot connect)
// An operation on an object without a connection fails with 6 (invalid handle).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "sync/curl_ftp_session.h"
#include "sync/ftp_types.h"

namespace lm {

// One remote listing entry.
class FTPFile {
 public:
  QString FileName;
  double FileSize = 0;     // bytes; exact up to 2^53, so sizes over 4 GiB are kept
  QDateTime FileDate;      // the entry's last-write time as the server gave it
  int32_t FileType = 0;    // 16 for a plain directory, 0 otherwise
  bool SearchEnd = false;  // true once the listing is exhausted or could not start
};

class McWinFTP : public QObject {
  Q_OBJECT

 public:
  explicit McWinFTP(QObject* parent = nullptr);
  ~McWinFTP() override;

  // The current listing entry; created on first use.
  FTPFile& RemoteFile();
  void SetRemoteFile(const FTPFile& file);

  QString ClassName() const;
  QString Version() const;
  QString Copyright() const;

  uint32_t hInternet() const { return hInternet_; }
  uint32_t hFTP() const { return hFTP_; }

  int32_t RemotePort() const { return remotePort_; }
  void SetRemotePort(int32_t nRemotePort) { remotePort_ = nRemotePort; }
  QString RemoteHost() const { return remoteHost_; }
  void SetRemoteHost(const QString& szRemoteHost) { remoteHost_ = szRemoteHost; }
  QString User() const { return user_; }
  void SetUser(const QString& szUser) { user_ = szUser; }
  QString Password() const { return password_; }
  void SetPassword(const QString& szPassword) { password_ = szPassword; }

  // Passive data connections when true (flag word 0x08000000), active
  // (PORT/EPRT) when false. Takes effect at the next OpenSession.
  bool PassiveFlag() const { return passiveFlags_ == kPassiveFlag; }
  void SetPassiveFlag(bool bPassive) { passiveFlags_ = bPassive ? kPassiveFlag : 0; }
  uint32_t ConnectionFlags() const { return passiveFlags_; }

  // The server's current directory; "" after a failure.
  QString CurDir();
  // Changes the server's directory. One leading "\" or "/" is removed first,
  // so the path is taken relative to the current remote directory.
  void SetCurDir(const QString& szDir);

  void OpenSession();
  void CloseSession();

  // nTransfer 1 transfers in ASCII mode, any other value in binary mode.
  int32_t PutFile(const QString& szLocalFile, const QString& szRemoteFile, int32_t nTransfer);
  int32_t GetFile(const QString& szRemoteFile, const QString& szLocalFile, bool bFailExists,
                  int32_t nTransfer);
  int32_t RenameFile(const QString& szExistFile, const QString& szNewFile);
  int32_t DeleteFile(const QString& szRemoteFile);
  int32_t CreateDir(const QString& szRemoteDir);
  int32_t RemoveDir(const QString& szRemoteDir);

  // Starts a listing: RemoteFile holds the first entry, or SearchEnd is true.
  void FindFile(const QString& szSearchString);
  // Moves RemoteFile to the next entry; after the last one SearchEnd is true.
  void NextFile();

  // Seconds a connection attempt or a server reply may take, and the stall
  // limit: a transfer that moves no data for this long ends (30 by default).
  void SetTimeoutSeconds(int seconds);
  // The most bytes one listing may have (32 MiB by default).
  void SetListingLimit(qint64 bytes) { listingLimit_ = bytes; }

  // Called while a transfer moves data with the bytes moved so far; false
  // cancels it (error 1223).
  void SetProgressHandler(std::function<bool(qint64 bytes)> handler);
  // 1 when the remote directory exists (the current one does not change);
  // 0 and the error report otherwise.
  int32_t DirectoryExists(const QString& szRemoteDir);
  // The size of a remote file in bytes; 0 and the error report on failure.
  int32_t RemoteFileSize(const QString& szRemoteFile, qint64& size);

  // FTPS: the certificate pinned for the server by its SHA-256 fingerprint:
  // when set, only this certificate is accepted (compared during the
  // handshake, before the login), whether or not the system's store vouches
  // for it or for another one. The fingerprint of the certificate refused at
  // the last connection attempt (to ask the author about it), empty when
  // none was refused; CertificateChanged tells whether it was refused for
  // differing from the pinned one.
  void SetTrustedCertificate(const QString& sha256) { trustedCertificate_ = sha256; }
  QString PresentedCertificate() const;
  bool CertificateChanged() const { return certificateChanged_; }
  // SFTP: the fingerprint ("SHA256:" and base64) of the host key refused at
  // the last connection attempt; empty when none was refused.
  QString PresentedHostKey() const { return presentedHostKey_; }
  // A certificate or SSH host key trusted for the next connections of this
  // object only, by its SHA-256 ("SHA256:" with hex or base64); not stored.
  void SetTrustOnce(const QString& fingerprint) { trustOnce_ = fingerprint; }
  // FTPS: a file of certificate authorities used instead of the system's.
  void SetCertificateAuthorities(const QString& path) { certificateAuthorities_ = path; }
  // SFTP: the known-hosts file (default ~/.ssh/known_hosts) and the question
  // for a host key that is not in it; true adds the key and goes on.
  void SetKnownHostsPath(const QString& path) { knownHostsPath_ = path; }
  void SetPrivateKeyFile(const QString& path) { privateKeyPath_ = path; }
  void SetHostKeyApprover(std::function<bool(const QString& host, const QString& fingerprint)> approve) {
    approveHostKey_ = std::move(approve);
  }

  // Fills RemoteFile from one listing entry.
  void FillRemoteFile(const FtpFindData& data);

  // The text the error report shows for a system error number, "" when none.
  static QString SystemErrorText(uint32_t n);
  static int32_t MakeLangId(int32_t primary, int32_t sub) { return sub * 1024 + primary; }

  static constexpr uint32_t kPassiveFlag = 0x08000000;

 signals:
  void FTPFrr(qint32 ErrNumber, const QString& ErrString);

 private:
  void CloseFindHandle();
  void ReportError(const FtpFailure& failure);
  int32_t Result(bool ok, const FtpFailure& failure);

  std::optional<FTPFile> remoteFile_;
  uint32_t hInternet_ = 0;
  uint32_t hFTP_ = 0;
  int32_t remotePort_ = 21;
  QString remoteHost_;
  QString user_;
  QString password_;
  uint32_t passiveFlags_ = 0;
  uint32_t hFind_ = 0;

  std::unique_ptr<CurlFtpSession> connection_;
  std::vector<FtpFindData> listing_;
  size_t listingPos_ = 0;
  int timeoutSeconds_ = 30;
  qint64 listingLimit_ = 32 * 1024 * 1024;
  QString trustedCertificate_;
  QString knownHostsPath_;
  QString privateKeyPath_;
  QString presentedCertificate_;
  bool certificateChanged_ = false;
  QString presentedHostKey_;
  QString trustOnce_;
  QString certificateAuthorities_;
  std::function<bool(const QString&, const QString&)> approveHostKey_;
  std::function<bool(qint64)> progress_;
};

}  // namespace lm
