#include "util/text_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "util/cp932/cp932.h"
#include "util/message_box.h"
#include "util/path_resolver.h"

namespace lm {

FileError FileError::FromErrno(int err) {
  FileError e;
  e.errnoValue = err;
  e.message = QString::fromLocal8Bit(std::strerror(err));
  if (err == EACCES || err == EPERM || err == EROFS) {
    e.kind = Kind::PermissionDenied;
  } else if (err == ENOENT || err == ENOTDIR) {
    e.kind = Kind::NotFound;
  } else {
    e.kind = Kind::Io;
  }
  return e;
}

namespace {

// The whole character of `text` at the UTF-8 offset `bad` of its encoding.
QString CharacterAt(const QString& text, const QByteArray& utf8, std::size_t bad) {
  const QString prefix = QString::fromUtf8(utf8.constData(), static_cast<qsizetype>(bad));
  if (prefix.size() >= text.size()) return QString();
  return text.mid(prefix.size(), text.at(prefix.size()).isHighSurrogate() ? 2 : 1);
}

bool Encode(const QString& text, QByteArray& out, QString* firstBad, bool keepBytes) {
  const QByteArray utf8 = text.toUtf8();
  const std::string_view in(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  std::string sjis;
  std::size_t bad = 0;
  if (!(keepBytes ? cp932::FromUtf8KeepingBytes(in, sjis, &bad) : cp932::FromUtf8(in, sjis, &bad))) {
    // Report the whole character that failed, not a stray byte of it.
    if (firstBad) *firstBad = CharacterAt(text, utf8, bad);
    out.clear();
    return false;
  }
  out = QByteArray(sjis.data(), static_cast<qsizetype>(sjis.size()));
  return true;
}

}  // namespace

bool EncodeCp932(const QString& text, QByteArray& out, QString* firstBad) {
  return Encode(text, out, firstBad, false);
}

QString DecodeCp932(const QByteArray& bytes) {
  const std::string utf8 = cp932::ToUtf8Lossy(std::string_view(bytes.constData(), bytes.size()));
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString DecodeCp932KeepingBytes(const QByteArray& bytes) {
  const std::string utf8 = cp932::ToUtf8KeepingBytes(std::string_view(bytes.constData(), bytes.size()));
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool IsKeptByte(QChar c) { return c.unicode() >= cp932::kKeptByteBase && c.unicode() <= cp932::kKeptByteBase + 0xFF; }

bool EncodeCp932KeepingBytes(const QString& text, QByteArray& out, QString* firstBad) {
  return Encode(text, out, firstBad, true);
}

QString FirstNotEncodable(const QString& text) {
  QByteArray ignored;
  QString bad;
  if (EncodeCp932(text, ignored, &bad)) return QString();
  return bad;
}

bool ReadFileBytes(const QString& path, QByteArray& bytes, FileError* error) {
  const QString real = ResolveExisting(path);
  const QByteArray native = QFile::encodeName(real.isEmpty() ? NativePath(path) : real);
  int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = FileError::FromErrno(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    if (error) *error = FileError::FromErrno(EISDIR);
    return false;
  }
  bytes.clear();
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      if (error) *error = FileError::FromErrno(err);
      return false;
    }
    if (n == 0) break;
    bytes.append(buf, n);
  }
  ::close(fd);
  if (error) *error = FileError{};
  return true;
}

bool ReadTextLines(const QString& path, QStringList& lines, FileError* error, LineBreaks breaks) {
  QByteArray bytes;
  lines.clear();
  if (!ReadFileBytes(path, bytes, error)) return false;
  const QString text = DecodeCp932(bytes);
  QString current;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    if (c == QChar('\r')) {
      const bool crlf = i + 1 < n && text.at(i + 1) == QChar('\n');
      if (crlf || breaks != LineBreaks::CrLfOnly) {
        lines.append(current);
        current.clear();
        if (crlf) ++i;
        continue;
      }
    } else if (c == QChar('\n') && breaks == LineBreaks::Any) {
      lines.append(current);
      current.clear();
      continue;
    }
    current.append(c);
  }
  if (!current.isEmpty()) lines.append(current);
  return true;
}

bool EncodeTextLines(const QStringList& lines, QByteArray& bytes, FileError* error, bool keepBytes) {
  bytes.clear();
  for (const QString& line : lines) {
    QByteArray encoded;
    QString bad;
    if (!(keepBytes ? EncodeCp932KeepingBytes(line, encoded, &bad) : EncodeCp932(line, encoded, &bad))) {
      if (error) {
        error->kind = FileError::Kind::NotEncodable;
        error->errnoValue = EILSEQ;
        error->badText = line;
        error->message = QStringLiteral("Shift-JISで表せない文字「%1」が含まれています。").arg(bad) + Bracketed(line);
      }
      return false;
    }
    bytes.append(encoded);
    bytes.append("\r\n", 2);
  }
  return true;
}

bool WriteTextLines(const QString& path, const QStringList& lines, FileError* error) {
  QByteArray bytes;
  return EncodeTextLines(lines, bytes, error) && WriteFileAtomically(path, bytes, error);
}

}  // namespace lm
