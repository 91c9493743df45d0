#include "sync/mc_win_ftp.h"

#include <atomic>

#include "util/visible.h"

namespace lm {
namespace {

// Handles are small non-zero numbers unique within the process.
uint32_t NewHandle() {
  static std::atomic<uint32_t> next{0x00CC0004};
  return next.fetch_add(4);
}

}  // namespace

McWinFTP::McWinFTP(QObject* parent) : QObject(parent) {
  hInternet_ = NewHandle();
  remotePort_ = 21;
}

McWinFTP::~McWinFTP() {
  remoteFile_.reset();
  CloseSession();
  hInternet_ = 0;
}

FTPFile& McWinFTP::RemoteFile() {
  if (!remoteFile_) remoteFile_.emplace();
  return *remoteFile_;
}

void McWinFTP::SetRemoteFile(const FTPFile& file) { remoteFile_ = file; }

QString McWinFTP::ClassName() const { return QStringLiteral("McWinFTP Class Module"); }

QString McWinFTP::Version() const { return QStringLiteral("0.9 b"); }

QString McWinFTP::Copyright() const {
  return QStringLiteral("Copyright (C) Loftmark developers. FTP session class for Loftmark.");
}

QString McWinFTP::PresentedCertificate() const { return presentedCertificate_; }

void McWinFTP::SetProgressHandler(std::function<bool(qint64)> handler) {
  progress_ = std::move(handler);
  if (connection_) connection_->SetProgressHandler(progress_);
}

int32_t McWinFTP::DirectoryExists(const QString& szRemoteDir) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ && connection_->CheckDirectory(szRemoteDir, failure);
  return Result(ok, failure);
}

int32_t McWinFTP::RemoteFileSize(const QString& szRemoteFile, qint64& size) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  size = -1;
  const bool ok = hFTP_ != 0 && connection_ && connection_->RemoteSize(szRemoteFile, size, failure);
  return Result(ok, failure);
}

void McWinFTP::SetTimeoutSeconds(int seconds) {
  timeoutSeconds_ = seconds;
  if (connection_) connection_->SetTimeoutSeconds(seconds);
}

QString McWinFTP::SystemErrorText(uint32_t n) {
  // The system's own texts for the errors this class can meet locally; the
  // network errors (12000 and up) have none and fall back to the generic text.
  switch (n) {
    case ftperr::FileNotFound: return QStringLiteral("指定されたファイルが見つかりません。");
    case ftperr::PathNotFound: return QStringLiteral("指定されたパスが見つかりません。");
    case ftperr::AccessDenied: return QStringLiteral("アクセスが拒否されました。");
    case ftperr::InvalidHandle: return QStringLiteral("ハンドルが無効です。");
    case ftperr::WriteFault: return QStringLiteral("指定されたデバイスに書き込めません。");
    case ftperr::ReadFault: return QStringLiteral("指定されたデバイスから読み取ることができません。");
    case ftperr::FileExists: return QStringLiteral("ファイルが存在します。");
    case ftperr::DiskFull: return QStringLiteral("ディスクに十分な空き領域がありません。");
    case ftperr::Cancelled: return QStringLiteral("操作はユーザーによって取り消されました。");
    case ftperr::NoUnicodeTranslation:
      return QStringLiteral("ターゲットのマルチバイト コード ページにユニコード文字のマッピングが存在しません。");
    default: return QString();
  }
}

void McWinFTP::ReportError(const FtpFailure& failure) {
  uint32_t number = failure.code;
  QString message;
  if (number == ftperr::NoMoreFiles) {
    RemoteFile().SearchEnd = true;
    return;
  }
  if (number == ftperr::ExtendedError) {
    message = VisibleLines(failure.response);  // the server's own text: its controls escaped
  } else if (number == ftperr::NameNotResolved) {
    message = QStringLiteral("サーバー名を解決できませんでした。");
  } else if (!failure.response.isEmpty()) {
    message = failure.response;  // our own, more precise text (a limit, a certificate)
  } else {
    message = SystemErrorText(number);
  }
  if (message.isEmpty()) message = QStringLiteral("エラーが発生しています。");
  emit FTPFrr(static_cast<qint32>(number), message);
}

int32_t McWinFTP::Result(bool ok, const FtpFailure& failure) {
  if (ok) return 1;
  ReportError(failure);
  return 0;
}

QString McWinFTP::CurDir() {
  // The login directory and the path kept since, as the server accepted it.
  if (hFTP_ != 0 && connection_) return connection_->CurrentDirectory();
  ReportError(FtpFailure{ftperr::InvalidHandle, {}});
  return QString();
}

void McWinFTP::SetCurDir(const QString& szDir) {
  QString path = szDir;
  if (path.startsWith(QLatin1Char('\\')) || path.startsWith(QLatin1Char('/'))) path.remove(0, 1);
  FtpFailure failure{ftperr::InvalidHandle, {}};
  if (hFTP_ != 0 && connection_ && connection_->ChangeDirectory(path, failure)) return;
  ReportError(failure);
}

void McWinFTP::OpenSession() {
  // A new session replaces an open one rather than leaking its connection.
  if (hFTP_ != 0) CloseSession();
  auto connection = std::make_unique<CurlFtpSession>();
  connection->SetProgressHandler(progress_);
  CurlSessionSettings settings;
  QString why;
  FtpFailure failure;
  bool ok = ParseServerText(remoteHost_, settings.server, &why);
  if (!ok) failure = FtpFailure{ftperr::NameNotResolved, {}};
  settings.port = EffectivePort(settings.server, remotePort_);
  settings.user = user_;
  settings.password = password_;
  settings.passive = PassiveFlag();
  settings.timeoutSeconds = timeoutSeconds_;
  settings.maxListingBytes = listingLimit_;
  settings.trustedCertificateSha256 = trustedCertificate_;
  settings.trustOnce = trustOnce_;
  settings.certificateAuthorities = certificateAuthorities_;
  settings.knownHostsPath = knownHostsPath_;
  settings.privateKeyPath = privateKeyPath_;
  settings.approveNewHostKey = approveHostKey_;
  ok = ok && connection->Open(settings, failure);
  presentedCertificate_ = connection->LastCertificateSha256();
  certificateChanged_ = connection->LastCertificateChanged();
  presentedHostKey_ = connection->LastHostKeySha256();
  if (ok) {
    connection_ = std::move(connection);
    hFTP_ = NewHandle();
  } else {
    hFTP_ = 0;
    ReportError(failure);
  }
}

void McWinFTP::CloseSession() {
  CloseFindHandle();
  if (hFTP_ != 0) {
    if (connection_) connection_->Close();
    connection_.reset();
    hFTP_ = 0;
  }
}

int32_t McWinFTP::PutFile(const QString& szLocalFile, const QString& szRemoteFile,
                          int32_t nTransfer) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ &&
                  connection_->Store(szLocalFile, szRemoteFile, nTransfer == 1, failure);
  return Result(ok, failure);
}

int32_t McWinFTP::GetFile(const QString& szRemoteFile, const QString& szLocalFile,
                          bool bFailExists, int32_t nTransfer) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ &&
                  connection_->Retrieve(szRemoteFile, szLocalFile, bFailExists, nTransfer == 1,
                                        failure);
  return Result(ok, failure);
}

int32_t McWinFTP::RenameFile(const QString& szExistFile, const QString& szNewFile) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ && connection_->Rename(szExistFile, szNewFile, failure);
  return Result(ok, failure);
}

int32_t McWinFTP::DeleteFile(const QString& szRemoteFile) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ && connection_->Delete(szRemoteFile, failure);
  return Result(ok, failure);
}

int32_t McWinFTP::CreateDir(const QString& szRemoteDir) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ && connection_->MakeDirectory(szRemoteDir, failure);
  return Result(ok, failure);
}

int32_t McWinFTP::RemoveDir(const QString& szRemoteDir) {
  FtpFailure failure{ftperr::InvalidHandle, {}};
  const bool ok = hFTP_ != 0 && connection_ && connection_->RemoveDirectory(szRemoteDir, failure);
  return Result(ok, failure);
}

void McWinFTP::FindFile(const QString& szSearchString) {
  CloseFindHandle();
  remoteFile_.emplace();
  remoteFile_->SearchEnd = false;
  FtpFailure failure{ftperr::InvalidHandle, {}};
  std::vector<FtpFindData> entries;
  bool ok = hFTP_ != 0 && connection_ && connection_->List(szSearchString, entries, failure);
  if (ok && entries.empty()) {
    // An empty listing ends at once, as the end of any listing does.
    ok = false;
    failure = FtpFailure{ftperr::NoMoreFiles, {}};
  }
  if (!ok) {
    ReportError(failure);
    RemoteFile().SearchEnd = true;
    return;
  }
  listing_ = std::move(entries);
  listingPos_ = 0;
  hFind_ = NewHandle();
  FillRemoteFile(listing_[listingPos_++]);
}

void McWinFTP::NextFile() {
  FTPFile& file = RemoteFile();
  if (file.SearchEnd) return;
  if (hFind_ != 0 && listingPos_ < listing_.size()) {
    FillRemoteFile(listing_[listingPos_++]);
    return;
  }
  ReportError(FtpFailure{hFind_ != 0 ? ftperr::NoMoreFiles : ftperr::InvalidHandle, {}});
  // Without an open listing there is nothing to walk; the listing is over.
  file.SearchEnd = true;
}

void McWinFTP::FillRemoteFile(const FtpFindData& data) {
  FTPFile& file = RemoteFile();
  file.SearchEnd = false;
  file.FileName = data.name.left(data.name.indexOf(QChar(0)) >= 0 ? data.name.indexOf(QChar(0))
                                                                 : data.name.size());
  file.FileDate = data.lastWrite;
  file.FileSize = static_cast<double>(data.sizeHigh) * 4294967296.0 + static_cast<double>(data.sizeLow);
  file.FileType = data.attributes == kAttrDirectory ? 16 : 0;
}

void McWinFTP::CloseFindHandle() {
  if (hFind_ != 0) {
    listing_.clear();
    listingPos_ = 0;
    hFind_ = 0;
  }
}

}  // namespace lm
