// One FTP control connection with its data connections (RFC 959).
//
// McWinFTP needs a session whose current remote directory is the server's own:
// a CWD must stay in effect for every later transfer, listing and rename on
// the same connection. libcurl cannot give that: it addresses every transfer
// by URL and, when it reuses a connection, first changes back to the login
// directory (its "entry path") before walking the URL's path, so a directory
// set through a quoted CWD is undone by the next transfer and the directory
// would only be a client-side guess. This small client therefore talks to
// the server itself over one TCP control connection that stays open between
// calls, opening a data connection per transfer, passively (PASV, or EPSV on
// IPv6) or actively (PORT, or EPRT on IPv6) as asked.
//
// Failures come back as an FtpFailure carrying the WinINet-style error number
// that McWinFTP reports, and for a refused command the server's reply text.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "util/cfile.h"

namespace lm {

// Error numbers as the Windows FTP client reports them.
namespace ftperr {
constexpr uint32_t FileNotFound = 2;
constexpr uint32_t PathNotFound = 3;
constexpr uint32_t AccessDenied = 5;
constexpr uint32_t InvalidHandle = 6;
constexpr uint32_t NoMoreFiles = 18;
constexpr uint32_t WriteFault = 29;
constexpr uint32_t ReadFault = 30;
constexpr uint32_t FileExists = 80;
constexpr uint32_t DiskFull = 112;
constexpr uint32_t NoUnicodeTranslation = 1113;
constexpr uint32_t Timeout = 12002;
constexpr uint32_t ExtendedError = 12003;
constexpr uint32_t NameNotResolved = 12007;
constexpr uint32_t CannotConnect = 12029;
constexpr uint32_t ConnectionAborted = 12030;
}  // namespace ftperr

// What went wrong: an error number and, for ExtendedError, the server's reply.
struct FtpFailure {
  uint32_t code = 0;
  QString response;
};

// One entry of a remote listing, in the shape of the Windows find data.
struct FtpFindData {
  QString name;
  uint32_t attributes = 0;  // 16 directory, 128 ordinary file
  uint32_t sizeHigh = 0;
  uint32_t sizeLow = 0;
  QDateTime lastWrite;      // the fields the server gave, no zone conversion
};

constexpr uint32_t kAttrDirectory = 16;
constexpr uint32_t kAttrNormal = 128;

// Listing parsers (also used by the tests).
// One MLSD/MLST fact line "type=file;size=12;modify=20040219061000; name";
// false for lines that are not entries ("." and "..", malformed lines).
bool ParseMlsxLine(const QString& line, FtpFindData& out);
// One LIST line in the Unix "ls -l" form or the DOS form; false when neither
// fits. `now` decides the year of Unix dates that carry a time instead.
bool ParseListLine(const QString& line, const QDateTime& now, FtpFindData& out);
// Windows-style wildcard match ("*" any run, "?" one character), case-sensitive:
// the file utilities' matcher.
inline bool WildcardMatch(const QString& pattern, const QString& name) {
  return MatchesWildcard(pattern, name, Qt::CaseSensitive);
}

class FtpConnection {
 public:
  FtpConnection();
  ~FtpConnection();
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  // Connects, reads the greeting and logs in. An empty user logs in as
  // "anonymous". On failure the connection is closed.
  bool Open(const QString& host, int port, const QString& user, const QString& password,
            FtpFailure& failure);
  // Sends QUIT (its reply is not awaited beyond a short time) and closes.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  void SetPassive(bool passive) { passive_ = passive; }
  // Seconds any single wait on the network may last.
  void SetTimeoutSeconds(int seconds) { timeoutMs_ = seconds * 1000; }

  bool PrintDirectory(QString& dir, FtpFailure& failure);
  bool ChangeDirectory(const QString& dir, FtpFailure& failure);
  bool Rename(const QString& from, const QString& to, FtpFailure& failure);
  bool Delete(const QString& path, FtpFailure& failure);
  bool MakeDirectory(const QString& path, FtpFailure& failure);
  bool RemoveDirectory(const QString& path, FtpFailure& failure);

  // Uploads a local file. In ASCII mode every line end is sent as CR LF (a
  // lone LF becomes CR LF), the network form of text.
  bool Store(const QString& localPath, const QString& remotePath, bool ascii,
             FtpFailure& failure);
  // Downloads into a temporary file beside the target that replaces the
  // target only when the transfer is complete. With failIfExists an existing
  // target is left alone and the call fails with FileExists. In ASCII mode the
  // text keeps the network's CR LF line ends, the line ends of this
  // program's text files.
  bool Retrieve(const QString& remotePath, const QString& localPath, bool failIfExists,
                bool ascii, FtpFailure& failure);

  // Lists entries matching `search` (empty: the current directory; a
  // directory; a file; or a directory part followed by a wildcard pattern).
  bool List(const QString& search, std::vector<FtpFindData>& entries, FtpFailure& failure);

 private:
  struct Reply {
    int code = 0;
    QString text;  // every line of the reply, joined by CR LF
  };
  using DataHandler = std::function<bool(int dataFd, FtpFailure& failure)>;

  bool SendCommand(const QByteArray& verb, const QString& arg, FtpFailure& failure);
  bool ReadReply(Reply& reply, FtpFailure& failure);
  bool Command(const QByteArray& verb, const QString& arg, Reply& reply, FtpFailure& failure);
  bool SimpleCommand(const QByteArray& verb, const QString& arg, int expectClass,
                     FtpFailure& failure);
  bool SetType(bool ascii, FtpFailure& failure);
  bool RunDataCommand(const QByteArray& verb, const QString& arg, const DataHandler& handler,
                      FtpFailure& failure);
  bool ListWith(const QByteArray& verb, const QString& arg, bool mlsd,
                std::vector<FtpFindData>& entries, FtpFailure& failure);
  bool ReadLine(QByteArray& line, FtpFailure& failure);
  void Drop();
  FtpFailure Refused(const Reply& reply) const;

  int fd_ = -1;
  int family_ = 0;
  bool passive_ = false;
  bool mlsd_ = false;
  int timeoutMs_ = 30000;
  QByteArray buffer_;
};

}  // namespace lm
