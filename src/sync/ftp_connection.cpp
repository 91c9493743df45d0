#include "sync/ftp_connection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {
namespace {

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

FtpFailure Fail(uint32_t code, const QString& response = QString()) {
  return FtpFailure{code, response};
}

// Waits until `fd` is ready for `events`; false on timeout or error.
bool WaitFor(int fd, short events, int timeoutMs, FtpFailure& failure) {
  pollfd p{fd, events, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeoutMs);
    if (r > 0) return true;
    if (r == 0) {
      failure = Fail(ftperr::Timeout);
      return false;
    }
    if (errno == EINTR) continue;
    failure = Fail(ftperr::ConnectionAborted);
    return false;
  }
}

bool SendAll(int fd, const char* data, size_t size, int timeoutMs, FtpFailure& failure) {
  size_t sent = 0;
  while (sent < size) {
    if (!WaitFor(fd, POLLOUT, timeoutMs, failure)) return false;
    ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      failure = Fail(ftperr::ConnectionAborted);
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads a data connection until the server closes it, handing each chunk to
// `sink`; false when the connection breaks or the sink refuses a chunk.
template <typename Sink>
bool ReceiveAll(int fd, int timeoutMs, FtpFailure& failure, Sink sink) {
  char chunk[65536];
  for (;;) {
    if (!WaitFor(fd, POLLIN, timeoutMs, failure)) return false;
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      failure = Fail(ftperr::ConnectionAborted);
      return false;
    }
    if (n == 0) return true;
    if (!sink(chunk, n, failure)) return false;
  }
}

// Connects a non-blocking TCP socket to `addr`, waiting at most timeoutMs.
int ConnectTo(const sockaddr* addr, socklen_t len, int timeoutMs, FtpFailure& failure) {
  int fd = ::socket(addr->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    failure = Fail(ftperr::CannotConnect);
    return -1;
  }
  if (::connect(fd, addr, len) != 0) {
    if (errno != EINPROGRESS) {
      ::close(fd);
      failure = Fail(ftperr::CannotConnect);
      return -1;
    }
    if (!WaitFor(fd, POLLOUT, timeoutMs, failure)) {
      ::close(fd);
      return -1;
    }
    int err = 0;
    socklen_t errLen = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) != 0 || err != 0) {
      ::close(fd);
      failure = Fail(ftperr::CannotConnect);
      return -1;
    }
  }
  return fd;
}

bool EncodeArg(const QString& text, QByteArray& out, FtpFailure& failure) {
  if (!EncodeCp932(text, out)) {
    failure = Fail(ftperr::NoUnicodeTranslation);
    return false;
  }
  return true;
}

// Reads a server-side date "YYYYMMDDHHMMSS[.sss]" field by field.
QDateTime ParseFactTime(const QString& value) {
  if (value.size() < 14) return {};
  bool ok[6];
  const int y = value.mid(0, 4).toInt(&ok[0]);
  const int mo = value.mid(4, 2).toInt(&ok[1]);
  const int d = value.mid(6, 2).toInt(&ok[2]);
  const int h = value.mid(8, 2).toInt(&ok[3]);
  const int mi = value.mid(10, 2).toInt(&ok[4]);
  const int s = value.mid(12, 2).toInt(&ok[5]);
  for (bool b : ok)
    if (!b) return {};
  return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

void SetSize(FtpFindData& out, quint64 size) {
  out.sizeHigh = static_cast<uint32_t>(size >> 32);
  out.sizeLow = static_cast<uint32_t>(size & 0xFFFFFFFFu);
}

bool HasWildcard(const QString& s) {
  return s.contains(QLatin1Char('*')) || s.contains(QLatin1Char('?'));
}

// RAII holder for a socket descriptor.
struct Socket {
  int fd = -1;
  explicit Socket(int f = -1) : fd(f) {}
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
};

}  // namespace

// ---------------------------------------------------------------- parsers

bool ParseMlsxLine(const QString& rawLine, FtpFindData& out) {
  QString line = rawLine;
  while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n'))) line.chop(1);
  // MLST answers on the control connection indent the fact line by one blank.
  if (line.startsWith(QLatin1Char(' '))) line.remove(0, 1);
  const int space = line.indexOf(QLatin1Char(' '));
  if (space <= 0) return false;
  const QString facts = line.left(space);
  QString name = line.mid(space + 1);
  // MLST gives the full path name; the entry's name is its last component.
  if (name.size() > 1 && name.contains(QLatin1Char('/'))) {
    while (name.size() > 1 && name.endsWith(QLatin1Char('/'))) name.chop(1);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
  }
  if (name.isEmpty()) return false;
  out = FtpFindData{};
  out.name = name;
  out.attributes = kAttrNormal;
  bool typed = false;
  for (const QString& fact : facts.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const int eq = fact.indexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    const QString key = fact.left(eq).toLower();
    const QString value = fact.mid(eq + 1);
    if (key == QLatin1String("type")) {
      const QString t = value.toLower();
      if (t == QLatin1String("cdir") || t == QLatin1String("pdir")) return false;
      out.attributes = t == QLatin1String("dir") ? kAttrDirectory : kAttrNormal;
      typed = true;
    } else if (key == QLatin1String("size") || key == QLatin1String("sizd")) {
      bool ok = false;
      const quint64 size = value.toULongLong(&ok);
      if (ok) SetSize(out, size);
    } else if (key == QLatin1String("modify")) {
      out.lastWrite = ParseFactTime(value);
    }
  }
  return typed;
}

bool ParseListLine(const QString& rawLine, const QDateTime& now, FtpFindData& out) {
  QString line = rawLine;
  while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n'))) line.chop(1);
  static const QRegularExpression unixRe(QStringLiteral(
      R"(^([dl\-bcps])[rwxsStTl\-]{9}[+@.]?\s+\d+\s+(?:\S+\s+){1,2}(\d+)\s+)"
      R"(([A-Za-z]{3})\s+(\d{1,2})\s+(\d{4}|\d{1,2}:\d{2})\s(.+)$)"));
  static const QRegularExpression dosRe(QStringLiteral(
      R"(^(\d{2})-(\d{2})-(\d{2,4})\s+(\d{1,2}):(\d{2})([AaPp][Mm])?\s+(<DIR>|\d+)\s+(.+)$)"));
  out = FtpFindData{};
  if (auto m = unixRe.match(line); m.hasMatch()) {
    static const QStringList months{"jan", "feb", "mar", "apr", "may", "jun",
                                    "jul", "aug", "sep", "oct", "nov", "dec"};
    const int month = months.indexOf(m.captured(3).toLower()) + 1;
    if (month == 0) return false;
    const int day = m.captured(4).toInt();
    const QString yt = m.captured(5);
    QString name = m.captured(6);
    if (m.captured(1) == QLatin1String("l")) {
      const int arrow = name.indexOf(QLatin1String(" -> "));
      if (arrow > 0) name.truncate(arrow);
    }
    if (name == QLatin1String(".") || name == QLatin1String("..")) return false;
    QTime time(0, 0);
    int year;
    if (yt.contains(QLatin1Char(':'))) {
      time = QTime(yt.section(QLatin1Char(':'), 0, 0).toInt(), yt.section(QLatin1Char(':'), 1).toInt());
      // "Mon dd hh:mm" means within the last half year: this year, or last
      // year when that date would lie in the future.
      year = now.date().year();
      if (QDate(year, month, day) > now.date().addDays(1)) --year;
    } else {
      year = yt.toInt();
    }
    out.name = name;
    out.attributes = m.captured(1) == QLatin1String("d") ? kAttrDirectory : kAttrNormal;
    SetSize(out, m.captured(2).toULongLong());
    out.lastWrite = QDateTime(QDate(year, month, day), time, Qt::UTC);
    return true;
  }
  if (auto m = dosRe.match(line); m.hasMatch()) {
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2) year += year < 70 ? 2000 : 1900;
    int hour = m.captured(4).toInt();
    const QString ampm = m.captured(6).toUpper();
    if (ampm == QLatin1String("PM") && hour < 12) hour += 12;
    if (ampm == QLatin1String("AM") && hour == 12) hour = 0;
    out.name = m.captured(8);
    if (m.captured(7) == QLatin1String("<DIR>")) {
      out.attributes = kAttrDirectory;
    } else {
      out.attributes = kAttrNormal;
      SetSize(out, m.captured(7).toULongLong());
    }
    out.lastWrite = QDateTime(QDate(year, m.captured(1).toInt(), m.captured(2).toInt()),
                              QTime(hour, m.captured(5).toInt()), Qt::UTC);
    return !(out.name == QLatin1String(".") || out.name == QLatin1String(".."));
  }
  return false;
}

// ---------------------------------------------------------------- connection

FtpConnection::FtpConnection() = default;

FtpConnection::~FtpConnection() { Drop(); }

void FtpConnection::Drop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buffer_.clear();
  mlsd_ = false;
}

FtpFailure FtpConnection::Refused(const Reply& reply) const {
  return Fail(ftperr::ExtendedError, reply.text);
}

bool FtpConnection::Open(const QString& host, int port, const QString& user,
                         const QString& password, FtpFailure& failure) {
  Drop();
  QByteArray hostBytes;
  if (!EncodeArg(host, hostBytes, failure)) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const QByteArray service = QByteArray::number(port);
  if (hostBytes.isEmpty() ||
      ::getaddrinfo(hostBytes.constData(), service.constData(), &hints, &found) != 0 || !found) {
    failure = Fail(ftperr::NameNotResolved);
    return false;
  }
  failure = Fail(ftperr::CannotConnect);
  for (addrinfo* a = found; a; a = a->ai_next) {
    fd_ = ConnectTo(a->ai_addr, a->ai_addrlen, timeoutMs_, failure);
    if (fd_ >= 0) {
      family_ = a->ai_family;
      break;
    }
  }
  ::freeaddrinfo(found);
  if (fd_ < 0) return false;

  Reply reply;
  // 120 announces a delay; the real greeting follows.
  do {
    if (!ReadReply(reply, failure)) return Drop(), false;
  } while (reply.code == 120);
  if (reply.code / 100 != 2) {
    failure = Refused(reply);
    Drop();
    return false;
  }
  const QString login = user.isEmpty() ? QStringLiteral("anonymous") : user;
  if (!Command("USER", login, reply, failure)) return Drop(), false;
  if (reply.code == 331 || reply.code == 332) {
    if (!Command("PASS", password, reply, failure)) return Drop(), false;
  }
  if (reply.code / 100 != 2) {
    failure = Refused(reply);
    Drop();
    return false;
  }
  // Machine-readable listings when the server offers them.
  if (Command("FEAT", QString(), reply, failure) && reply.code == 211) {
    for (const QString& l : reply.text.split(QStringLiteral("\r\n"))) {
      if (l.trimmed().startsWith(QLatin1String("MLST"), Qt::CaseInsensitive)) mlsd_ = true;
    }
  }
  if (fd_ < 0) return false;
  return true;
}

void FtpConnection::Close() {
  if (fd_ < 0) return;
  FtpFailure ignored;
  const int saved = timeoutMs_;
  timeoutMs_ = std::min(timeoutMs_, 2000);
  Reply reply;
  if (SendCommand("QUIT", QString(), ignored)) ReadReply(reply, ignored);
  timeoutMs_ = saved;
  Drop();
}

bool FtpConnection::SendCommand(const QByteArray& verb, const QString& arg, FtpFailure& failure) {
  if (fd_ < 0) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  QByteArray line = verb;
  if (!arg.isEmpty()) {
    QByteArray encoded;
    if (!EncodeArg(arg, encoded, failure)) return false;
    // A line break inside an argument would smuggle in a second command.
    if (encoded.contains('\r') || encoded.contains('\n')) {
      failure = Fail(ftperr::FileNotFound);
      return false;
    }
    line += ' ';
    line += encoded;
  }
  line += "\r\n";
  if (!SendAll(fd_, line.constData(), static_cast<size_t>(line.size()), timeoutMs_, failure)) {
    Drop();
    return false;
  }
  return true;
}

bool FtpConnection::ReadLine(QByteArray& line, FtpFailure& failure) {
  for (;;) {
    const qsizetype nl = buffer_.indexOf('\n');
    if (nl >= 0) {
      line = buffer_.left(nl);
      buffer_.remove(0, nl + 1);
      if (line.endsWith('\r')) line.chop(1);
      return true;
    }
    if (!WaitFor(fd_, POLLIN, timeoutMs_, failure)) {
      Drop();
      return false;
    }
    char chunk[4096];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      failure = Fail(ftperr::ConnectionAborted);
      Drop();
      return false;
    }
    buffer_.append(chunk, n);
  }
}

bool FtpConnection::ReadReply(Reply& reply, FtpFailure& failure) {
  if (fd_ < 0) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  QByteArray line;
  if (!ReadLine(line, failure)) return false;
  auto codeOf = [](const QByteArray& l) {
    if (l.size() < 3) return -1;
    for (int i = 0; i < 3; ++i)
      if (l[i] < '0' || l[i] > '9') return -1;
    return (l[0] - '0') * 100 + (l[1] - '0') * 10 + (l[2] - '0');
  };
  reply.code = codeOf(line);
  QByteArray all = line;
  if (reply.code >= 0 && line.size() > 3 && line[3] == '-') {
    // A multi-line reply ends with a line that starts with the same code and a blank.
    const QByteArray end = line.left(3) + ' ';
    for (;;) {
      if (!ReadLine(line, failure)) return false;
      all += "\r\n" + line;
      if (line.startsWith(end) || line == end.trimmed()) break;
    }
  }
  if (reply.code < 0) {
    failure = Fail(ftperr::ConnectionAborted);
    Drop();
    return false;
  }
  reply.text = DecodeCp932(all);
  return true;
}

bool FtpConnection::Command(const QByteArray& verb, const QString& arg, Reply& reply,
                            FtpFailure& failure) {
  return SendCommand(verb, arg, failure) && ReadReply(reply, failure);
}

bool FtpConnection::SimpleCommand(const QByteArray& verb, const QString& arg, int expectClass,
                                  FtpFailure& failure) {
  Reply reply;
  if (!Command(verb, arg, reply, failure)) return false;
  if (reply.code / 100 != expectClass) {
    failure = Refused(reply);
    return false;
  }
  return true;
}

bool FtpConnection::PrintDirectory(QString& dir, FtpFailure& failure) {
  Reply reply;
  if (!Command("PWD", QString(), reply, failure)) return false;
  if (reply.code != 257) {
    failure = Refused(reply);
    return false;
  }
  // 257 "dir" text: the name stands between quotes, an inner quote doubled.
  const QString& t = reply.text;
  const int open = t.indexOf(QLatin1Char('"'));
  if (open < 0) {
    dir = t.mid(4).section(QLatin1Char(' '), 0, 0);
    return true;
  }
  QString name;
  for (int i = open + 1; i < t.size(); ++i) {
    if (t.at(i) == QLatin1Char('"')) {
      if (i + 1 < t.size() && t.at(i + 1) == QLatin1Char('"')) {
        name += QLatin1Char('"');
        ++i;
      } else {
        break;
      }
    } else {
      name += t.at(i);
    }
  }
  dir = name;
  return true;
}

bool FtpConnection::ChangeDirectory(const QString& dir, FtpFailure& failure) {
  return SimpleCommand("CWD", dir, 2, failure);
}

bool FtpConnection::Rename(const QString& from, const QString& to, FtpFailure& failure) {
  return SimpleCommand("RNFR", from, 3, failure) && SimpleCommand("RNTO", to, 2, failure);
}

bool FtpConnection::Delete(const QString& path, FtpFailure& failure) {
  return SimpleCommand("DELE", path, 2, failure);
}

bool FtpConnection::MakeDirectory(const QString& path, FtpFailure& failure) {
  return SimpleCommand("MKD", path, 2, failure);
}

bool FtpConnection::RemoveDirectory(const QString& path, FtpFailure& failure) {
  return SimpleCommand("RMD", path, 2, failure);
}

bool FtpConnection::SetType(bool ascii, FtpFailure& failure) {
  return SimpleCommand("TYPE", ascii ? QStringLiteral("A") : QStringLiteral("I"), 2, failure);
}

bool FtpConnection::RunDataCommand(const QByteArray& verb, const QString& arg,
                                   const DataHandler& handler, FtpFailure& failure) {
  if (fd_ < 0) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  sockaddr_storage peer{}, local{};
  socklen_t peerLen = sizeof peer, localLen = sizeof local;
  if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &localLen) != 0) {
    failure = Fail(ftperr::ConnectionAborted);
    Drop();
    return false;
  }
  Reply reply;
  Socket data;
  Socket listener;
  if (passive_) {
    int port = -1;
    if (family_ == AF_INET6) {
      if (!Command("EPSV", QString(), reply, failure)) return false;
      if (reply.code != 229) return failure = Refused(reply), false;
      static const QRegularExpression re(QStringLiteral(R"(\((.)\1\1(\d+)\1\))"));
      const auto m = re.match(reply.text);
      if (m.hasMatch()) port = m.captured(2).toInt();
    } else {
      if (!Command("PASV", QString(), reply, failure)) return false;
      if (reply.code != 227) return failure = Refused(reply), false;
      static const QRegularExpression re(
          QStringLiteral(R"((\d+),(\d+),(\d+),(\d+),(\d+),(\d+))"));
      const auto m = re.match(reply.text);
      if (m.hasMatch()) port = m.captured(5).toInt() * 256 + m.captured(6).toInt();
    }
    if (port <= 0 || port > 65535) {
      failure = Refused(reply);
      return false;
    }
    // The data connection goes to the host we are talking to; an address in
    // the reply could point anywhere (and behind NAT it is often wrong).
    if (peer.ss_family == AF_INET6)
      reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(static_cast<uint16_t>(port));
    else
      reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(static_cast<uint16_t>(port));
    data.fd = ConnectTo(reinterpret_cast<sockaddr*>(&peer), peerLen, timeoutMs_, failure);
    if (data.fd < 0) return false;
  } else {
    // Active: listen on the address of our end of the control connection.
    listener.fd = ::socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (local.ss_family == AF_INET6)
      reinterpret_cast<sockaddr_in6*>(&local)->sin6_port = 0;
    else
      reinterpret_cast<sockaddr_in*>(&local)->sin_port = 0;
    if (listener.fd < 0 || ::bind(listener.fd, reinterpret_cast<sockaddr*>(&local), localLen) != 0 ||
        ::listen(listener.fd, 1) != 0 ||
        ::getsockname(listener.fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0) {
      failure = Fail(ftperr::CannotConnect);
      return false;
    }
    char host[INET6_ADDRSTRLEN] = {};
    QString arg2;
    if (local.ss_family == AF_INET6) {
      const auto* a = reinterpret_cast<sockaddr_in6*>(&local);
      ::inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
      arg2 = QStringLiteral("|2|%1|%2|").arg(QString::fromLatin1(host)).arg(ntohs(a->sin6_port));
      if (!SimpleCommand("EPRT", arg2, 2, failure)) return false;
    } else {
      const auto* a = reinterpret_cast<sockaddr_in*>(&local);
      const uint32_t ip = ntohl(a->sin_addr.s_addr);
      const int p = ntohs(a->sin_port);
      arg2 = QStringLiteral("%1,%2,%3,%4,%5,%6")
                 .arg(ip >> 24).arg((ip >> 16) & 255).arg((ip >> 8) & 255).arg(ip & 255)
                 .arg(p >> 8).arg(p & 255);
      if (!SimpleCommand("PORT", arg2, 2, failure)) return false;
    }
  }
  if (!Command(verb, arg, reply, failure)) return false;
  if (reply.code / 100 != 1) {
    failure = Refused(reply);
    return false;
  }
  if (!passive_) {
    if (WaitFor(listener.fd, POLLIN, timeoutMs_, failure)) {
      data.fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (data.fd < 0) failure = Fail(ftperr::CannotConnect);
    }
    if (data.fd < 0) {
      // The server reports its failed connection attempt on the control
      // connection; read that reply so the next command gets its own.
      FtpFailure ignored;
      if (!ReadReply(reply, ignored)) Drop();
      return false;
    }
  }
  FtpFailure handlerFailure;
  const bool moved = handler(data.fd, handlerFailure);
  ::close(data.fd);
  data.fd = -1;
  // The server answers the transfer's end in any case; read that answer so
  // the control connection stays in step.
  if (!ReadReply(reply, failure)) return false;
  if (!moved) {
    failure = handlerFailure;
    return false;
  }
  if (reply.code / 100 != 2) {
    failure = Refused(reply);
    return false;
  }
  return true;
}

bool FtpConnection::Store(const QString& localPath, const QString& remotePath, bool ascii,
                          FtpFailure& failure) {
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
  if (!SetType(ascii, failure)) return false;
  const int timeout = timeoutMs_;
  return RunDataCommand("STOR", remotePath, [&](int dataFd, FtpFailure& f) {
    char previous = 0;
    QByteArray chunk;
    for (;;) {
      chunk = file.read(65536);
      if (chunk.isEmpty()) {
        if (file.error() != QFileDevice::NoError) {
          f = Fail(ftperr::ReadFault);
          return false;
        }
        break;
      }
      if (ascii) {
        // At most one CR is added per byte, so twice the size always fits.
        QByteArray converted(chunk.size() * 2, Qt::Uninitialized);
        char* out = converted.data();
        for (char c : std::as_const(chunk)) {
          if (c == '\n' && previous != '\r') *out++ = '\r';
          *out++ = c;
          previous = c;
        }
        converted.truncate(out - converted.constData());
        chunk.swap(converted);
      }
      if (!SendAll(dataFd, chunk.constData(), static_cast<size_t>(chunk.size()), timeout, f))
        return false;
    }
    ::shutdown(dataFd, SHUT_WR);
    return true;
  }, failure);
}

bool FtpConnection::Retrieve(const QString& remotePath, const QString& localPath,
                             bool failIfExists, bool ascii,
                             FtpFailure& failure) {
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
  QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                      info.fileName() + QStringLiteral(".part.XXXXXX"));
  const int out = ::mkstemp(tmpl.data());
  if (out < 0) {
    failure = Fail(LocalErrorCode(errno, true));
    return false;
  }
  auto discard = [&] {
    ::close(out);
    ::unlink(tmpl.constData());
  };
  if (!SetType(ascii, failure)) return discard(), false;
  const int timeout = timeoutMs_;
  const bool ok = RunDataCommand("RETR", remotePath, [&](int dataFd, FtpFailure& f) {
    return ReceiveAll(dataFd, timeout, f, [&](const char* chunk, ssize_t n, FtpFailure& wf) {
      ssize_t done = 0;
      while (done < n) {
        ssize_t w = ::write(out, chunk + done, static_cast<size_t>(n - done));
        if (w < 0) {
          if (errno == EINTR) continue;
          wf = Fail(LocalErrorCode(errno, true));
          return false;
        }
        done += w;
      }
      return true;
    });
  }, failure);
  if (!ok) return discard(), false;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(out, 0666 & ~mask) != 0 || ::close(out) != 0) {
    failure = Fail(LocalErrorCode(errno, true));
    ::unlink(tmpl.constData());
    return false;
  }
  // Without fail-if-exists the download replaces the target; with it, a
  // file that appeared during the transfer is still not overwritten.
  int r;
  if (failIfExists) {
    r = ::renameat2(AT_FDCWD, tmpl.constData(), AT_FDCWD, nativeTarget.constData(), RENAME_NOREPLACE);
  } else {
    r = ::rename(tmpl.constData(), nativeTarget.constData());
  }
  if (r != 0) {
    failure = Fail(LocalErrorCode(errno, true));
    ::unlink(tmpl.constData());
    return false;
  }
  return true;
}

bool FtpConnection::ListWith(const QByteArray& verb, const QString& arg, bool mlsd,
                             std::vector<FtpFindData>& entries, FtpFailure& failure) {
  QByteArray raw;
  const int timeout = timeoutMs_;
  if (!SetType(true, failure)) return false;
  const bool ok = RunDataCommand(verb, arg, [&](int dataFd, FtpFailure& f) {
    return ReceiveAll(dataFd, timeout, f, [&](const char* chunk, ssize_t n, FtpFailure&) {
      raw.append(chunk, n);
      return true;
    });
  }, failure);
  if (!ok) return false;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  for (const QByteArray& l : raw.split('\n')) {
    const QString line = DecodeCp932(l);
    FtpFindData e;
    if (mlsd ? ParseMlsxLine(line, e) : ParseListLine(line, now, e)) entries.push_back(e);
  }
  return true;
}

bool FtpConnection::List(const QString& search, std::vector<FtpFindData>& entries,
                         FtpFailure& failure) {
  entries.clear();
  if (fd_ < 0) {
    failure = Fail(ftperr::InvalidHandle);
    return false;
  }
  QString dir = search;
  QString pattern;
  const int slash = std::max(search.lastIndexOf(QLatin1Char('/')), search.lastIndexOf(QLatin1Char('\\')));
  if (HasWildcard(search.mid(slash + 1))) {
    dir = slash >= 0 ? search.left(std::max(slash, 1)) : QString();
    pattern = search.mid(slash + 1);
  }
  bool ok;
  if (mlsd_) {
    ok = ListWith("MLSD", dir, true, entries, failure);
    if (!ok && pattern.isEmpty() && !dir.isEmpty() && failure.code == ftperr::ExtendedError) {
      // Not a directory: ask for the single entry on the control connection.
      Reply reply;
      FtpFailure second;
      if (!Command("MLST", dir, reply, second)) return failure = second, false;
      if (reply.code / 100 != 2) return false;  // report the listing's own refusal
      for (const QString& l : reply.text.split(QStringLiteral("\r\n"))) {
        FtpFindData e;
        if (l.startsWith(QLatin1Char(' ')) && ParseMlsxLine(l, e)) entries.push_back(e);
      }
      ok = true;
    }
  } else {
    ok = ListWith("LIST", dir, false, entries, failure);
  }
  if (!ok) return false;
  if (!pattern.isEmpty()) {
    std::vector<FtpFindData> kept;
    for (auto& e : entries)
      if (WildcardMatch(pattern, e.name)) kept.push_back(std::move(e));
    entries.swap(kept);
  }
  return true;
}

}  // namespace lm
