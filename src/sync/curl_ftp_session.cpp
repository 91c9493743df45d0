#include "sync/curl_ftp_session.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <optional>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <QFile>
#include <QFileInfo>
#include <QDir>

#include "sync/ftp_listing.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {
namespace {

FtpFailure Fail(uint32_t code, const QString& message = QString()) { return FtpFailure{code, message}; }

// Maps a local file error to the Windows error number the caller sees.
uint32_t LocalErrorCode(int err, bool writing) {
  switch (err) {
    case ENOENT: return ftperr::FileNotFound;
    case ENOTDIR: return ftperr::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ftperr::AccessDenied;
    case EEXIST: return ftperr::FileExists;
    case ENOSPC:
    case EDQUOT: return ftperr::DiskFull;
    default: return writing ? ftperr::WriteFault : ftperr::ReadFault;
  }
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool HasWildcard(const QString& s) {
  return s.contains(QLatin1Char('*')) || s.contains(QLatin1Char('?'));
}

QString Hex(const unsigned char* bytes, unsigned len) {
  QStringList parts;
  for (unsigned i = 0; i < len; ++i) parts << QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
  return parts.join(QLatin1Char(':'));
}

// The text of an SFTP quote argument: double quotes around it, inner quotes
// and backslashes escaped.
QByteArray SftpQuoted(const QByteArray& path) {
  QByteArray out = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

}  // namespace

QByteArray FingerprintBytes(const QString& text) {
  QString t = text.trimmed();
  if (t.startsWith(QLatin1String("SHA256:"), Qt::CaseInsensitive)) t = t.mid(7).trimmed();
  QString hex;
  bool onlyHex = true;
  for (QChar c : std::as_const(t)) {
    if (c == QLatin1Char(':') || c == QLatin1Char(' ')) continue;
    const char16_t u = c.unicode();
    if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F'))) onlyHex = false;
    hex += c;
  }
  if (onlyHex && hex.size() == 64) return QByteArray::fromHex(hex.toLatin1());
  const auto decoded = QByteArray::fromBase64Encoding(t.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
  if (decoded && decoded.decoded.size() == 32 && t.size() >= 43) return decoded.decoded;
  return {};
}

struct CurlFtpSession::State {
  CURL* curl = nullptr;
  CurlSessionSettings settings;
  bool mlsd = false;
  bool open = false;
  std::string peerAddress;  // the control connection's peer, for active mode
  char errorBuffer[CURL_ERROR_SIZE] = {};

  // The server's replies: the one being read and the last complete one.
  QByteArray currentReply;
  qint64 currentReplyBytes = 0;
  QByteArray pendingCode;
  QString lastReply;
  bool sawMlst = false;
  bool collectFeatures = false;

  // Why the session itself ended a request, when it did.
  std::optional<FtpFailure> abort;
  std::function<bool(qint64)> progress;
  qint64 moved = 0;

  // TLS: the certificate the server presented, and whether the handshake
  // refused it and why.
  QString presentedSha256;
  bool certificateRefused = false;
  bool certificateChanged = false;
  // FTPS: the certificate refused at the last connection attempt; SFTP: the
  // host key refused there.
  QString certificateSha256;
  QString hostKeySha256;
  std::vector<curl_slist*> lists;

  void ResetRequest() {
    abort.reset();
    presentedSha256.clear();
    certificateRefused = certificateChanged = false;
    moved = 0;
    currentReply.clear();
    currentReplyBytes = 0;
    pendingCode.clear();
    lastReply.clear();
    errorBuffer[0] = 0;
    for (curl_slist* l : lists) curl_slist_free_all(l);
    lists.clear();
  }

  curl_slist* MakeList(const std::vector<QByteArray>& items) {
    curl_slist* list = nullptr;
    for (const QByteArray& i : items) list = curl_slist_append(list, i.constData());
    lists.push_back(list);
    return list;
  }

  void OnReplyLine(const char* data, size_t size) {
    currentReplyBytes += static_cast<qint64>(size);
    if (currentReplyBytes > settings.maxReplyBytes) {
      if (!abort)
        abort = Fail(ftperr::InternalError, QStringLiteral("サーバーの応答が長すぎます（%1 バイト超）。")
                                               .arg(settings.maxReplyBytes));
      return;
    }
    QByteArray line(data, static_cast<qsizetype>(size));
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    if (collectFeatures && line.trimmed().toUpper().startsWith("MLST")) sawMlst = true;
    if (!currentReply.isEmpty()) currentReply += "\r\n";
    currentReply += line;
    const bool coded = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                       std::isdigit(static_cast<unsigned char>(line[1])) &&
                       std::isdigit(static_cast<unsigned char>(line[2]));
    bool complete = false;
    if (pendingCode.isEmpty()) {
      if (coded && line.size() > 3 && line[3] == '-') pendingCode = line.left(3);
      else complete = true;
    } else if (line.startsWith(pendingCode) && (line.size() == 3 || line[3] == ' ')) {
      complete = true;
    }
    if (complete) {
      lastReply = DecodeCp932(currentReply);
      currentReply.clear();
      currentReplyBytes = 0;
      pendingCode.clear();
    }
  }

  bool Progress() {
    if (abort) return false;
    if (progress && !progress(moved)) {
      abort = Fail(ftperr::Cancelled, QStringLiteral("中止しました。"));
      return false;
    }
    return true;
  }
};

namespace {

using State = CurlFtpSession::State;

int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type == CURLINFO_HEADER_IN) static_cast<State*>(user)->OnReplyLine(data, size);
  return 0;
}

int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<State*>(user)->Progress() ? 0 : 1;
}

// Active mode: the data connection must come from the server we talk to;
// anyone else who connects first is refused.
int SocketOptionCallback(void* user, curl_socket_t fd, curlsocktype purpose) {
  auto* s = static_cast<State*>(user);
  if (purpose != CURLSOCKTYPE_ACCEPT) return CURL_SOCKOPT_OK;
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  char host[INET6_ADDRSTRLEN] = {};
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0) {
    if (peer.ss_family == AF_INET)
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr, host, sizeof host);
    else if (peer.ss_family == AF_INET6)
      ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr, host, sizeof host);
  }
  if (s->peerAddress.empty() || s->peerAddress != host) {
    s->abort = Fail(ftperr::SecurityFailure,
                    QStringLiteral("データ接続がサーバー以外のアドレス（%1）から来たため拒否しました。")
                        .arg(QString::fromLatin1(host)));
    return CURL_SOCKOPT_ERROR;
  }
  return CURL_SOCKOPT_OK;
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// Notes that data came and ends the request (the data itself is not wanted).
size_t StopAtFirstBytes(char*, size_t, size_t, void* user) {
  *static_cast<bool*>(user) = true;
  return 0;
}

int g_stateIndex = -1;

// TLS, during the handshake and so before the login: a pinned certificate
// passes only itself, whatever else vouches for another one; a certificate
// trusted for this connection passes as well; without a pin the certificate
// authorities and the host name decide (the host is set on the context, so
// a name mismatch reaches this callback like any other verification error).
// The presented certificate's fingerprint is noted, so that a refused one
// can be shown to the author.
int VerifyCallback(int preverifyOk, X509_STORE_CTX* ctx) {
  SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(ctx, SSL_get_ex_data_X509_STORE_CTX_idx()));
  SSL_CTX* sslCtx = ssl ? SSL_get_SSL_CTX(ssl) : nullptr;
  auto* s = sslCtx ? static_cast<State*>(SSL_CTX_get_ex_data(sslCtx, g_stateIndex)) : nullptr;
  X509* leaf = X509_STORE_CTX_get0_cert(ctx);
  if (!s || !leaf) return 0;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int mdLen = 0;
  if (X509_digest(leaf, EVP_sha256(), md, &mdLen) != 1) {
    s->certificateRefused = true;
    X509_STORE_CTX_set_error(ctx, X509_V_ERR_UNSPECIFIED);
    return 0;
  }
  const QByteArray presented(reinterpret_cast<const char*>(md), static_cast<qsizetype>(mdLen));
  s->presentedSha256 = Hex(md, mdLen);
  const QByteArray pinned = FingerprintBytes(s->settings.trustedCertificateSha256);
  const QByteArray once = FingerprintBytes(s->settings.trustOnce);
  if ((!pinned.isEmpty() && presented == pinned) || (!once.isEmpty() && presented == once)) {
    X509_STORE_CTX_set_error(ctx, X509_V_OK);
    return 1;
  }
  if (!s->settings.trustedCertificateSha256.trimmed().isEmpty()) {
    s->certificateRefused = s->certificateChanged = true;
    X509_STORE_CTX_set_error(ctx, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
  }
  if (!preverifyOk) s->certificateRefused = true;
  return preverifyOk;
}

CURLcode SslContextCallback(CURL*, void* sslCtx, void* user) {
  static std::once_flag once;
  std::call_once(once, [] { g_stateIndex = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr); });
  auto* s = static_cast<State*>(user);
  auto* ctx = static_cast<SSL_CTX*>(sslCtx);
  SSL_CTX_set_ex_data(ctx, g_stateIndex, user);
  const QByteArray host = s->settings.server.host.toUtf8();
  X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
  unsigned char raw[sizeof(in6_addr)];
  const bool address = ::inet_pton(AF_INET, host.constData(), raw) == 1 || ::inet_pton(AF_INET6, host.constData(), raw) == 1;
  if ((address ? X509_VERIFY_PARAM_set1_ip_asc(param, host.constData())
               : X509_VERIFY_PARAM_set1_host(param, host.constData(), static_cast<size_t>(host.size()))) != 1)
    return CURLE_SSL_CERTPROBLEM;
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, VerifyCallback);
  return CURLE_OK;
}

// The SHA-256 of an SSH host key as OpenSSH shows it ("SHA256:" and base64).
QString HostKeyFingerprint(const curl_khkey* key) {
  if (!key || !key->key) return QString();
  const QByteArray raw = key->len ? QByteArray(key->key, static_cast<qsizetype>(key->len))
                                  : QByteArray::fromBase64(QByteArray(key->key));
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int mdLen = 0;
  EVP_Digest(raw.constData(), static_cast<size_t>(raw.size()), md, &mdLen, EVP_sha256(), nullptr);
  return QStringLiteral("SHA256:") + QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), mdLen)
                                                             .toBase64(QByteArray::OmitTrailingEquals));
}

int KnownHostCallback(CURL*, const curl_khkey*, const curl_khkey* foundKey, curl_khmatch match, void* user) {
  auto* s = static_cast<State*>(user);
  if (match == CURLKHMATCH_OK) return CURLKHSTAT_FINE;
  const QString fingerprint = HostKeyFingerprint(foundKey);
  // A key trusted for this connection passes, and is not written down.
  const QByteArray once = FingerprintBytes(s->settings.trustOnce);
  if (!once.isEmpty() && once == FingerprintBytes(fingerprint)) return CURLKHSTAT_FINE;
  s->hostKeySha256 = fingerprint;
  if (match == CURLKHMATCH_MISMATCH) {
    s->abort = Fail(ftperr::SecurityFailure,
                    QStringLiteral("サーバーのホスト鍵が known_hosts の記録と一致しません。接続を中止しました。（%1）")
                        .arg(fingerprint));
    return CURLKHSTAT_REJECT;
  }
  // A key not yet known: show its SHA-256 and ask.
  if (s->settings.approveNewHostKey && s->settings.approveNewHostKey(s->settings.server.host, fingerprint)) {
    s->hostKeySha256.clear();
    return CURLKHSTAT_FINE_ADD_TO_FILE;
  }
  s->abort = Fail(ftperr::SecurityFailure,
                  QStringLiteral("サーバーのホスト鍵が確認されていないため接続しませんでした。（%1）").arg(fingerprint));
  return CURLKHSTAT_REJECT;
}

}  // namespace

CurlFtpSession::CurlFtpSession() : s_(std::make_unique<State>()) { GlobalInit(); }

CurlFtpSession::~CurlFtpSession() {
  Close();
  s_->ResetRequest();
}

bool CurlFtpSession::IsOpen() const { return s_->open; }
bool CurlFtpSession::Sftp() const { return s_->settings.server.scheme == RemoteScheme::Sftp; }

void CurlFtpSession::SetProgressHandler(std::function<bool(qint64)> handler) {
  s_->progress = std::move(handler);
}

void CurlFtpSession::SetTimeoutSeconds(int seconds) { s_->settings.timeoutSeconds = seconds; }

QString CurlFtpSession::LastCertificateSha256() const { return s_->certificateSha256; }
QString CurlFtpSession::LastHostKeySha256() const { return s_->hostKeySha256; }
bool CurlFtpSession::LastCertificateChanged() const {
  return !s_->certificateSha256.isEmpty() && s_->certificateChanged;
}

QString CurlFtpSession::Absolute(const QString& path) const { return JoinRemotePath(currentDir_, path); }

bool CurlFtpSession::EncodeName(const QString& text, QByteArray& out, FtpFailure& failure) const {
  // A line break or NUL inside a name would smuggle in a second command.
  if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0))) {
    failure = Fail(ftperr::FileNotFound);
    return false;
  }
  if (!EncodeCp932(text, out)) {
    failure = Fail(ftperr::NoUnicodeTranslation);
    return false;
  }
  return true;
}

bool CurlFtpSession::PrepareUrl(const QString& absPath, bool directory, FtpFailure& failure) {
  State& s = *s_;
  if (!s.curl) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  if (absPath.contains(QLatin1Char('\r')) || absPath.contains(QLatin1Char('\n')) ||
      absPath.contains(QChar(0))) {
    failure = Fail(ftperr::FileNotFound);
    return false;
  }
  QByteArray url;
  if (!RemoteUrl(s.settings.server, s.settings.port, absPath, directory, url)) {
    failure = Fail(ftperr::NoUnicodeTranslation);
    return false;
  }
  s.ResetRequest();
  CURL* c = s.curl;
  curl_easy_reset(c);
  const int t = std::max(1, s.settings.timeoutSeconds);
  curl_easy_setopt(c, CURLOPT_URL, url.constData());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp,ftps,sftp");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, s.errorBuffer);
  const QByteArray user = s.settings.user.isEmpty() && !Sftp() ? QByteArray("anonymous")
                                                              : s.settings.user.toUtf8();
  curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
  curl_easy_setopt(c, CURLOPT_PASSWORD, s.settings.password.toUtf8().constData());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, static_cast<long>(t));
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(t));
  curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(t) * 1000L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(t));
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, DebugCallback);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &s);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &s);
  // Requests without a body still hand over header-like lines (sizes, dates).
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Discard);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, Discard);
  if (Sftp()) {
    // Without a password only the key and the agent are tried, so that the
    // server does not count a failed password login.
    curl_easy_setopt(c, CURLOPT_SSH_AUTH_TYPES,
                     s.settings.password.isEmpty()
                         ? static_cast<long>(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT)
                         : static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT |
                                             CURLSSH_AUTH_KEYBOARD));
    const QString home = QDir::homePath();
    const QString knownHosts = s.settings.knownHostsPath.isEmpty() ? home + QStringLiteral("/.ssh/known_hosts")
                                                                   : s.settings.knownHostsPath;
    QDir().mkpath(QFileInfo(knownHosts).absolutePath());
    curl_easy_setopt(c, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(knownHosts).constData());
    curl_easy_setopt(c, CURLOPT_SSH_KEYFUNCTION, KnownHostCallback);
    curl_easy_setopt(c, CURLOPT_SSH_KEYDATA, &s);
    // The user's own key when there is one; the agent is tried as well.
    QString key = s.settings.privateKeyPath;
    for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
      if (!key.isEmpty()) break;
      const QString candidate = home + QStringLiteral("/.ssh/") + QLatin1String(name);
      if (QFile::exists(candidate)) key = candidate;
    }
    if (!key.isEmpty()) {
      curl_easy_setopt(c, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(key).constData());
      const QString pub = key + QStringLiteral(".pub");
      if (QFile::exists(pub)) curl_easy_setopt(c, CURLOPT_SSH_PUBLIC_KEYFILE, QFile::encodeName(pub).constData());
    }
    return true;
  }
  curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 0L);
  curl_easy_setopt(c, CURLOPT_FTP_USE_EPRT, 0L);
  curl_easy_setopt(c, CURLOPT_FTP_SKIP_PASV_IP, 1L);
  if (!s.settings.passive) curl_easy_setopt(c, CURLOPT_FTPPORT, "-");
  curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, SocketOptionCallback);
  curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &s);
  if (s.settings.server.scheme == RemoteScheme::Ftps) {
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(c, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    // TLS 1.2 exactly: servers that demand that each data connection resume
    // the control connection's TLS session (vsftpd's default) refuse data
    // connections after a few transfers under TLS 1.3, whose one-off session
    // tickets libcurl cannot keep up with ("522 SSL connection failed:
    // session reuse required").
    curl_easy_setopt(c, CURLOPT_SSLVERSION,
                     static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    // The verification callback checks the host name itself (a certificate
    // trusted by its fingerprint is bound to this server by that
    // fingerprint, not by the name in it); libcurl checks it again after
    // the handshake whenever no fingerprint is trusted.
    const bool byFingerprint =
        !s.settings.trustedCertificateSha256.trimmed().isEmpty() || !s.settings.trustOnce.trimmed().isEmpty();
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, byFingerprint ? 0L : 2L);
    if (!s.settings.certificateAuthorities.isEmpty())
      curl_easy_setopt(c, CURLOPT_CAINFO, QFile::encodeName(s.settings.certificateAuthorities).constData());
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, SslContextCallback);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &s);
  }
  return true;
}

bool CurlFtpSession::Perform(FtpFailure& failure) {
  State& s = *s_;
  const CURLcode rc = curl_easy_perform(s.curl);
  if (s.abort) {
    failure = *s.abort;
    return false;
  }
  if (rc == CURLE_OK) return true;
  const QString detail = QString::fromUtf8(s.errorBuffer);
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST: failure = Fail(ftperr::NameNotResolved); break;
    case CURLE_COULDNT_CONNECT: failure = Fail(ftperr::CannotConnect); break;
    case CURLE_OPERATION_TIMEDOUT:
      failure = Fail(ftperr::Timeout, QStringLiteral("サーバーが %1 秒間応答しないため中止しました。")
                                          .arg(s.settings.timeoutSeconds));
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_USE_SSL_FAILED:
      if (s.certificateRefused) s.certificateSha256 = s.presentedSha256;
      if (rc == CURLE_USE_SSL_FAILED) {
        failure = Fail(ftperr::SecurityFailure, QStringLiteral("サーバーが暗号化 (TLS) に対応していません。"));
      } else if (s.certificateRefused && s.certificateChanged) {
        const QByteArray pinned = FingerprintBytes(s.settings.trustedCertificateSha256);
        failure = Fail(ftperr::SecurityFailure,
                       QStringLiteral("サーバーの証明書が変わっています。ログインせずに接続を中止しました。") +
                           QStringLiteral("\r登録されている証明書 SHA-256: ") +
                           (pinned.isEmpty() ? s.settings.trustedCertificateSha256.trimmed()
                                             : Hex(reinterpret_cast<const unsigned char*>(pinned.constData()),
                                                   static_cast<unsigned>(pinned.size()))) +
                           QStringLiteral("\rサーバーが示した証明書 SHA-256: ") + s.certificateSha256);
      } else {
        failure = Fail(ftperr::SecurityFailure,
                       QStringLiteral("サーバーの証明書を確認できませんでした。") +
                           (s.certificateSha256.isEmpty() ? QString()
                                                          : QStringLiteral("\rSHA-256: ") + s.certificateSha256));
      }
      break;
    case CURLE_SSH:
      failure = Fail(ftperr::ExtendedError, s.lastReply.isEmpty() ? detail : s.lastReply);
      break;
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_WEIRD_SERVER_REPLY:
      if (!s.lastReply.isEmpty() && !s.lastReply.startsWith(QLatin1Char('2'))) {
        failure = Fail(ftperr::ExtendedError, s.lastReply);
      } else if (Sftp() && !detail.isEmpty()) {
        failure = Fail(ftperr::ExtendedError, detail);
      } else {
        failure = Fail(ftperr::ConnectionAborted);
      }
      break;
    default: failure = Fail(ftperr::ConnectionAborted); break;
  }
  return false;
}

bool CurlFtpSession::Open(const CurlSessionSettings& settings, FtpFailure& failure) {
  Close();
  State& s = *s_;
  s.settings = settings;
  s.certificateSha256.clear();
  s.hostKeySha256.clear();
  s.presentedSha256.clear();
  s.certificateRefused = s.certificateChanged = false;
  s.curl = curl_easy_init();
  if (!s.curl) {
    failure = Fail(ftperr::NotEnoughMemory);
    return false;
  }
  if (settings.server.host.isEmpty()) {
    failure = Fail(ftperr::NameNotResolved);
    Close();
    return false;
  }
  if (settings.server.scheme == RemoteScheme::Ftps && !settings.passive) {
    // libcurl cannot protect a data connection that the server opens (it
    // fails after the server has accepted the command), so this is said
    // before anything is sent.
    failure = Fail(ftperr::InternalError, QStringLiteral("FTPS はパッシブモードでだけ使えます。"));
    Close();
    return false;
  }
  // Log in without changing directory; ask FTP servers what they offer (a
  // server without FEAT is no failure: "*" lets the command fail).
  QByteArray url;
  if (!PrepareUrl(QStringLiteral("/"), true, failure)) {
    Close();
    return false;
  }
  if (!Sftp()) {
    url = "ftp://" + UrlHost(settings.server.host).toUtf8() + ':' + QByteArray::number(settings.port) + '/';
    curl_easy_setopt(s.curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(s.curl, CURLOPT_QUOTE, s.MakeList({QByteArray("*FEAT")}));
  }
  curl_easy_setopt(s.curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(s.curl, CURLOPT_TIMEOUT, static_cast<long>(std::max(1, settings.timeoutSeconds)) * 3L);
  s.sawMlst = false;
  s.collectFeatures = true;
  const bool ok = Perform(failure);
  s.collectFeatures = false;
  if (!ok) {
    Close();
    return false;
  }
  s.mlsd = s.sawMlst;
  const char* entry = nullptr;
  curl_easy_getinfo(s.curl, CURLINFO_FTP_ENTRY_PATH, &entry);
  entryPath_ = entry && *entry ? JoinRemotePath(QStringLiteral("/"), DecodeCp932(QByteArray(entry)))
                               : QStringLiteral("/");
  currentDir_ = entryPath_;
  const char* ip = nullptr;
  curl_easy_getinfo(s.curl, CURLINFO_PRIMARY_IP, &ip);
  s.peerAddress = ip ? ip : "";
  s.open = true;
  return true;
}

void CurlFtpSession::Close() {
  State& s = *s_;
  if (s.curl) {
    // Cleaning up the handle closes its connection (FTP sends QUIT).
    curl_easy_reset(s.curl);
    curl_easy_setopt(s.curl, CURLOPT_TIMEOUT, 2L);
    curl_easy_cleanup(s.curl);
    s.curl = nullptr;
  }
  s.open = false;
  entryPath_ = currentDir_ = QStringLiteral("/");
}

bool CurlFtpSession::CheckDirectory(const QString& path, FtpFailure& failure) {
  // FTP: a request on the directory's URL without a body; the server changes
  // into it and refuses a missing one. SFTP answers such a request without
  // looking, so there the directory is opened for listing and the listing
  // dropped after its first bytes.
  if (!PrepareUrl(Absolute(path), true, failure)) return false;
  curl_easy_setopt(s_->curl, CURLOPT_TIMEOUT, static_cast<long>(std::max(1, s_->settings.timeoutSeconds)) * 3L);
  if (!Sftp()) {
    curl_easy_setopt(s_->curl, CURLOPT_NOBODY, 1L);
    return Perform(failure);
  }
  bool listed = false;
  curl_easy_setopt(s_->curl, CURLOPT_WRITEFUNCTION, StopAtFirstBytes);
  curl_easy_setopt(s_->curl, CURLOPT_WRITEDATA, &listed);
  return Perform(failure) || listed;
}

bool CurlFtpSession::ChangeDirectory(const QString& path, FtpFailure& failure) {
  const QString target = Absolute(path);
  if (!CheckDirectory(target, failure)) return false;
  currentDir_ = target;
  return true;
}

bool CurlFtpSession::QuoteOnly(const std::vector<QByteArray>& commands, FtpFailure& failure) {
  // A request on the root without a transfer: only the quoted commands run.
  if (!PrepareUrl(QStringLiteral("/"), true, failure)) return false;
  State& s = *s_;
  if (!Sftp()) {
    // No directory change at all: the commands carry absolute paths.
    const QByteArray url = "ftp://" + UrlHost(s.settings.server.host).toUtf8() + ':' +
                           QByteArray::number(s.settings.port) + '/';
    curl_easy_setopt(s.curl, CURLOPT_URL, url.constData());
  }
  curl_easy_setopt(s.curl, CURLOPT_QUOTE, s.MakeList(commands));
  curl_easy_setopt(s.curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(s.curl, CURLOPT_TIMEOUT, static_cast<long>(std::max(1, s.settings.timeoutSeconds)) * 3L);
  return Perform(failure);
}

bool CurlFtpSession::Rename(const QString& from, const QString& to, FtpFailure& failure) {
  QByteArray a, b;
  if (!EncodeName(Absolute(from), a, failure) || !EncodeName(Absolute(to), b, failure)) return false;
  if (Sftp()) return QuoteOnly({"rename " + SftpQuoted(a) + ' ' + SftpQuoted(b)}, failure);
  return QuoteOnly({"RNFR " + a, "RNTO " + b}, failure);
}

bool CurlFtpSession::Delete(const QString& path, FtpFailure& failure) {
  QByteArray a;
  if (!EncodeName(Absolute(path), a, failure)) return false;
  return QuoteOnly({Sftp() ? "rm " + SftpQuoted(a) : "DELE " + a}, failure);
}

bool CurlFtpSession::MakeDirectory(const QString& path, FtpFailure& failure) {
  QByteArray a;
  if (!EncodeName(Absolute(path), a, failure)) return false;
  return QuoteOnly({Sftp() ? "mkdir " + SftpQuoted(a) : "MKD " + a}, failure);
}

bool CurlFtpSession::RemoveDirectory(const QString& path, FtpFailure& failure) {
  QByteArray a;
  if (!EncodeName(Absolute(path), a, failure)) return false;
  return QuoteOnly({Sftp() ? "rmdir " + SftpQuoted(a) : "RMD " + a}, failure);
}

bool CurlFtpSession::RemoteSize(const QString& path, qint64& size, FtpFailure& failure) {
  size = -1;
  if (!PrepareUrl(Absolute(path), false, failure)) return false;
  curl_easy_setopt(s_->curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(s_->curl, CURLOPT_TIMEOUT, static_cast<long>(std::max(1, s_->settings.timeoutSeconds)) * 3L);
  if (!Perform(failure)) return false;
  curl_off_t length = -1;
  curl_easy_getinfo(s_->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0) {
    // libcurl reports no length for an empty file over SFTP, nor for any
    // file of an FTP server without the SIZE command; the parent folder's
    // listing has the size, 0 included.
    const QString abs = Absolute(path);
    std::vector<FtpFindData> siblings;
    if (!ListDirectory(RemoteParent(abs), siblings, failure)) return false;
    const QString name = RemoteBaseName(abs);
    for (const FtpFindData& e : siblings) {
      if (e.name != name || (e.attributes & kAttrDirectory)) continue;
      size = static_cast<qint64>((quint64(e.sizeHigh) << 32) | e.sizeLow);
      return true;
    }
    failure = Fail(ftperr::FileNotFound);
    return false;
  }
  size = static_cast<qint64>(length);
  return true;
}

namespace {

struct UploadSource {
  QFile* file;
  bool ascii;
  char previous = 0;
  QByteArray pending;
  State* state;
  bool readFailed = false;
};

size_t ReadCallback(char* buffer, size_t size, size_t count, void* user) {
  auto* u = static_cast<UploadSource*>(user);
  const size_t room = size * count;
  if (u->pending.isEmpty()) {
    QByteArray chunk = u->file->read(static_cast<qint64>(u->ascii ? room / 2 : room));
    if (chunk.isEmpty()) {
      if (u->file->error() != QFileDevice::NoError) {
        u->readFailed = true;
        u->state->abort = Fail(ftperr::ReadFault);
        return CURL_READFUNC_ABORT;
      }
      if (u->ascii && u->previous == '\r') {
        u->previous = 0;
        buffer[0] = '\r';
        return 1;
      }
      return 0;
    }
    if (u->ascii) {
      // Every line end goes out as CR LF, the network form of text. libcurl
      // turns each LF of a text upload into CR LF itself, so a CR LF pair of
      // the file is handed over as its LF alone (and a lone LF stays).
      QByteArray converted;
      converted.reserve(chunk.size() + 1);
      for (char c : std::as_const(chunk)) {
        if (u->previous == '\r' && c != '\n') converted += '\r';
        if (c != '\r') converted += c;
        u->previous = c;
      }
      chunk.swap(converted);
    }
    u->pending = std::move(chunk);
  }
  const size_t n = std::min(room, static_cast<size_t>(u->pending.size()));
  memcpy(buffer, u->pending.constData(), n);
  u->pending.remove(0, static_cast<qsizetype>(n));
  u->state->moved += static_cast<qint64>(n);
  return n;
}

struct DownloadSink {
  int fd;
  State* state;
  bool ascii = false;
};

size_t WriteFileCallback(char* rawData, size_t size, size_t count, void* user) {
  auto* d = static_cast<DownloadSink*>(user);
  const size_t received = size * count;
  // libcurl hands text downloads over with LF line ends; this program's
  // text files keep the network's CR LF.
  QByteArray text;
  if (d->ascii) text = QByteArray(rawData, static_cast<qsizetype>(received)).replace("\n", "\r\n");
  const char* data = d->ascii ? text.constData() : rawData;
  const size_t n = d->ascii ? static_cast<size_t>(text.size()) : received;
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(d->fd, data + done, n - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      d->state->abort = Fail(LocalErrorCode(errno, true));
      return 0;
    }
    done += static_cast<size_t>(w);
  }
  d->state->moved += static_cast<qint64>(received);
  return received;
}

struct ListingSink {
  QByteArray bytes;
  State* state;
};

size_t WriteListingCallback(char* data, size_t size, size_t count, void* user) {
  auto* l = static_cast<ListingSink*>(user);
  const size_t n = size * count;
  if (l->bytes.size() + static_cast<qint64>(n) > l->state->settings.maxListingBytes) {
    l->state->abort = Fail(ftperr::InternalError, QStringLiteral("サーバーのファイル一覧が大きすぎます（%1 バイト超）。")
                                                      .arg(l->state->settings.maxListingBytes));
    return 0;
  }
  l->bytes.append(data, static_cast<qsizetype>(n));
  l->state->moved += static_cast<qint64>(n);
  return n;
}

}  // namespace

bool CurlFtpSession::Store(const QString& localPath, const QString& remotePath, bool ascii,
                           FtpFailure& failure) {
  if (!s_->curl) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  const QString real = ResolveExisting(localPath);
  QFile file(real.isEmpty() ? NativePath(localPath) : real);
  if (QFileInfo(file.fileName()).isDir()) {
    failure = Fail(ftperr::AccessDenied);
    return false;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    failure = Fail(real.isEmpty() ? ftperr::FileNotFound : ftperr::AccessDenied);
    return false;
  }
  if (!PrepareUrl(Absolute(remotePath), false, failure)) return false;
  UploadSource source{&file, ascii && !Sftp(), 0, {}, s_.get()};
  CURL* c = s_->curl;
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadCallback);
  curl_easy_setopt(c, CURLOPT_READDATA, &source);
  curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, source.ascii ? 1L : 0L);
  if (!source.ascii) curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(file.size()));
  return Perform(failure);
}

bool CurlFtpSession::Retrieve(const QString& remotePath, const QString& localPath, bool failIfExists,
                              bool ascii, FtpFailure& failure) {
  if (!s_->curl) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  const QString target = ResolveForCreate(localPath);
  const QByteArray nativeTarget = QFile::encodeName(target);
  struct stat st {};
  if (::stat(nativeTarget.constData(), &st) == 0) {
    if (failIfExists) {
      failure = Fail(ftperr::FileExists);
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      failure = Fail(ftperr::AccessDenied);
      return false;
    }
  }
  const QFileInfo info(target);
  if (!info.absoluteDir().exists()) {
    failure = Fail(ftperr::PathNotFound);
    return false;
  }
  if (!PrepareUrl(Absolute(remotePath), false, failure)) return false;
  QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                      QStringLiteral(".part.XXXXXX"));
  const int out = ::mkstemp(tmpl.data());
  if (out < 0) {
    failure = Fail(LocalErrorCode(errno, true));
    return false;
  }
  DownloadSink sink{out, s_.get(), ascii && !Sftp()};
  CURL* c = s_->curl;
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteFileCallback);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, ascii && !Sftp() ? 1L : 0L);
  if (!Perform(failure)) {
    ::close(out);
    ::unlink(tmpl.constData());
    return false;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(out, 0666 & ~mask) != 0 || ::close(out) != 0) {
    failure = Fail(LocalErrorCode(errno, true));
    ::unlink(tmpl.constData());
    return false;
  }
  // Without fail-if-exists the download replaces the target; with it, a
  // file that appeared during the transfer is still not overwritten.
  const int r = failIfExists ? ::renameat2(AT_FDCWD, tmpl.constData(), AT_FDCWD, nativeTarget.constData(),
                                           RENAME_NOREPLACE)
                             : ::rename(tmpl.constData(), nativeTarget.constData());
  if (r != 0) {
    failure = Fail(LocalErrorCode(errno, true));
    ::unlink(tmpl.constData());
    return false;
  }
  return true;
}

bool CurlFtpSession::ListDirectory(const QString& absDir, std::vector<FtpFindData>& entries,
                                   FtpFailure& failure) {
  if (!PrepareUrl(absDir, true, failure)) return false;
  ListingSink sink{{}, s_.get()};
  CURL* c = s_->curl;
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteListingCallback);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  const bool mlsd = !Sftp() && s_->mlsd;
  if (mlsd) curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "MLSD");
  if (!Perform(failure)) return false;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const ListingFormat format = mlsd ? ListingFormat::MachineFacts : ListingFormat::LsLong;
  qsizetype start = 0;
  while (start < sink.bytes.size()) {
    qsizetype end = sink.bytes.indexOf('\n', start);
    if (end < 0) end = sink.bytes.size();
    FtpFindData e;
    if (ParseFtpListingLine(QByteArrayView(sink.bytes).sliced(start, end - start), format, now, e))
      entries.push_back(std::move(e));
    start = end + 1;
  }
  return true;
}

bool CurlFtpSession::List(const QString& search, std::vector<FtpFindData>& entries, FtpFailure& failure) {
  entries.clear();
  if (!s_->curl) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  const QString path = Absolute(search);
  const qsizetype slash = search.lastIndexOf(QLatin1Char('/'));
  const QString last = search.mid(slash + 1);
  if (HasWildcard(last)) {
    const QString dir = Absolute(slash >= 0 ? search.left(std::max<qsizetype>(slash, 1)) : QString());
    if (!ListDirectory(dir, entries, failure)) return false;
    std::vector<FtpFindData> kept;
    for (auto& e : entries)
      if (WildcardMatch(last, e.name)) kept.push_back(std::move(e));
    entries.swap(kept);
    return true;
  }
  if (ListDirectory(path, entries, failure)) return true;
  if (search.isEmpty() || path == QLatin1String("/") || failure.code != ftperr::ExtendedError) return false;
  // Not a directory: look for the single entry in its parent's listing; if
  // it is not there either, the directory's refusal stands.
  std::vector<FtpFindData> siblings;
  FtpFailure second;
  if (!ListDirectory(RemoteParent(path), siblings, second)) return false;
  const QString name = RemoteBaseName(path);
  for (auto& e : siblings)
    if (e.name == name) entries.push_back(std::move(e));
  return !entries.empty();
}

}  // namespace lm
