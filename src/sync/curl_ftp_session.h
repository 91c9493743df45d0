// One FTP, FTPS or SFTP session on a libcurl handle.
//
// The handle is reused for every request, so libcurl keeps the connection
// (and the login) open between calls. The session keeps the current remote
// directory itself as an absolute path: it starts at the login directory
// (libcurl's entry path) and every transfer, listing, rename, delete and
// folder command is addressed by an absolute path under it, so the
// directory a request runs in never depends on what the connection did
// before.
//
// Limits that a hostile or broken server cannot stretch: a connect timeout,
// a wait limit for every server reply, a stall limit (no data moved for the
// same number of seconds ends a transfer), a bound on the bytes of one reply
// and of one listing, and, in active mode, a data connection is accepted
// only from the address of the control connection's peer.
//
// Failures come back as an FtpFailure with the Windows-style error number
// that McWinFTP reports and, for a refused command, the server's reply text.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QString>

#include "sync/ftp_types.h"
#include "sync/remote_path.h"

namespace lm {

struct CurlSessionSettings {
  RemoteServer server;
  int port = 21;
  QString user;
  QString password;
  bool passive = true;
  int timeoutSeconds = 30;
  qint64 maxReplyBytes = 64 * 1024;
  qint64 maxListingBytes = 32 * 1024 * 1024;
  // FTPS: the certificate pinned for this server (the profile's SHA-256 of
  // it, hex, any case, colons allowed). When set, the server must present
  // exactly this certificate: it is compared during the TLS handshake,
  // before the login, and any other certificate is refused as a changed one
  // however well a certificate authority vouches for it. When empty, the
  // certificate authorities and the host name decide.
  QString trustedCertificateSha256;
  // A certificate (FTPS) or host key (SFTP) trusted for this connection
  // only, by its SHA-256 ("SHA256:" followed by hex or by base64, as
  // FingerprintBytes reads it). It passes beside the pin; nothing is stored.
  QString trustOnce;
  // FTPS: a file of certificate authorities used instead of the system's
  // store (a private authority); empty for the system's store.
  QString certificateAuthorities;
  // SFTP: the known-hosts file, and the question asked for a host key that
  // is not in it (true adds the key to the file and goes on).
  QString knownHostsPath;
  // SFTP: the user's private key (default: ~/.ssh/id_ed25519, id_ecdsa or
  // id_rsa, the first that exists); the SSH agent is asked as well.
  QString privateKeyPath;
  std::function<bool(const QString& host, const QString& keyFingerprint)> approveNewHostKey;
};

// The 32 bytes of a SHA-256 fingerprint as a person may type or paste it:
// an optional "SHA256:" prefix, then 64 hex digits (any case, colons or
// blanks between them; the form certificates are shown in) or base64 with or
// without padding (the form OpenSSH shows host keys in). Empty when the
// text is neither.
QByteArray FingerprintBytes(const QString& text);

class CurlFtpSession {
 public:
  CurlFtpSession();
  ~CurlFtpSession();
  CurlFtpSession(const CurlFtpSession&) = delete;
  CurlFtpSession& operator=(const CurlFtpSession&) = delete;

  // Connects and logs in; the current directory becomes the login directory.
  bool Open(const CurlSessionSettings& settings, FtpFailure& failure);
  // Ends the connection (FTP: QUIT).
  void Close();
  bool IsOpen() const;

  // Called while data moves with the bytes moved so far in this request;
  // returning false cancels the request (failure Cancelled).
  void SetProgressHandler(std::function<bool(qint64 bytes)> handler);
  void SetTimeoutSeconds(int seconds);

  QString EntryPath() const { return entryPath_; }
  QString CurrentDirectory() const { return currentDir_; }
  // An absolute path for `path` taken relative to the current directory.
  QString Absolute(const QString& path) const;

  // Checks the directory on the server and keeps it only when it exists.
  bool ChangeDirectory(const QString& path, FtpFailure& failure);
  // Checks that a directory exists, without changing the current one.
  bool CheckDirectory(const QString& path, FtpFailure& failure);
  bool Store(const QString& localPath, const QString& remotePath, bool ascii, FtpFailure& failure);
  bool Retrieve(const QString& remotePath, const QString& localPath, bool failIfExists, bool ascii,
                FtpFailure& failure);
  bool Rename(const QString& from, const QString& to, FtpFailure& failure);
  bool Delete(const QString& path, FtpFailure& failure);
  bool MakeDirectory(const QString& path, FtpFailure& failure);
  bool RemoveDirectory(const QString& path, FtpFailure& failure);
  // The size of a remote file in bytes.
  bool RemoteSize(const QString& path, qint64& size, FtpFailure& failure);
  // Lists entries matching `search` (empty: the current directory; a
  // directory; a file; or a directory part followed by a wildcard pattern).
  bool List(const QString& search, std::vector<FtpFindData>& entries, FtpFailure& failure);

  // FTPS: the SHA-256 (hex, upper case, colon-separated) of the certificate
  // refused in the last connection attempt; empty when none was refused.
  QString LastCertificateSha256() const;
  // FTPS: true when that certificate was refused because it differs from
  // the pinned one (a changed certificate, not a first-time stranger).
  bool LastCertificateChanged() const;
  // SFTP: the SHA-256 ("SHA256:" and base64) of the host key refused in the
  // last connection attempt; empty when none was refused.
  QString LastHostKeySha256() const;

  struct State;

 private:
  bool Perform(FtpFailure& failure);
  bool PrepareUrl(const QString& absPath, bool directory, FtpFailure& failure);
  bool QuoteOnly(const std::vector<QByteArray>& commands, FtpFailure& failure);
  bool ListDirectory(const QString& absDir, std::vector<FtpFindData>& entries, FtpFailure& failure);
  bool EncodeName(const QString& text, QByteArray& out, FtpFailure& failure) const;
  bool Sftp() const;

  std::unique_ptr<State> s_;
  QString entryPath_ = QStringLiteral("/");
  QString currentDir_ = QStringLiteral("/");
};

}  // namespace lm
