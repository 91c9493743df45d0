#include "shell/instance_guard.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lm {

int instanceMutex = 0;

namespace {

int g_lockFd = -1;

QByteArray ShortHash(const QString& text) {
  return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
}

// The marker's name in the abstract namespace (leading NUL), per user and
// runtime directory so that separate sessions do not see each other's marker.
QByteArray MarkerName() {
  QByteArray name("TLMWndMutex.");
  name += QByteArray::number(static_cast<qulonglong>(::getuid()));
  name += '.';
  name += ShortHash(RuntimeDirectory());
  return name;
}

// Binds a socket to the marker's name. The descriptor (never 0..2), or -1
// with errno set.
int BindMarker() {
  const QByteArray name = MarkerName();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  addr.sun_path[0] = '\0';
  std::memcpy(addr.sun_path + 1, name.constData(), static_cast<size_t>(name.size()));
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (fd < 3) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    if (moved < 0) return -1;
    fd = moved;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

bool IsPrivateDirectory(const QByteArray& path) {
  struct stat st {};
  return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

int16_t AcquireInstanceGuard() {
  if (instanceMutex != 0) return -1;  // this process already holds it
  const int fd = BindMarker();
  if (fd < 0) return errno == EADDRINUSE ? -1 : 0;
  instanceMutex = fd;
  return 0;
}

int16_t ReleaseInstanceGuard() {
  if (instanceMutex != 0) ::close(instanceMutex);
  instanceMutex = 0;
  return 0;
}

bool InstanceMarkerExists() {
  if (instanceMutex != 0) return true;
  const int fd = BindMarker();
  if (fd >= 0) {
    ::close(fd);
    return false;
  }
  return errno == EADDRINUSE;
}

QString RuntimeDirectory() {
  const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg) && QFileInfo(xdg).isDir()) return xdg;
  const QString fallback = QStringLiteral("/tmp/loftmark-%1").arg(::getuid());
  const QByteArray encoded = QFile::encodeName(fallback);
  if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) return QString();
  // A directory that someone else made, or a link put in its place, is not used.
  return IsPrivateDirectory(encoded) ? fallback : QString();
}

QString InstanceLockPath(const QString& executablePath) {
  const QString dir = RuntimeDirectory();
  if (dir.isEmpty()) return QString();
  QString key = QFileInfo(executablePath).canonicalFilePath();
  if (key.isEmpty()) key = QFileInfo(executablePath).absoluteFilePath();
  return dir + QStringLiteral("/loftmark-") + QString::fromLatin1(ShortHash(key)) +
         QStringLiteral(".lock");
}

bool AnotherInstanceRunning(const QString& executablePath) {
  // A copy started earlier in this process holds the lock on its own open
  // file, so the attempt below fails for it like for any other copy.
  const QString path = InstanceLockPath(executablePath);
  if (path.isEmpty()) return false;
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK;
  }
  if (g_lockFd >= 0) ::close(g_lockFd);
  g_lockFd = fd;
  return false;
}

void ReleaseInstanceLock() {
  if (g_lockFd >= 0) ::close(g_lockFd);
  g_lockFd = -1;
}

}  // namespace lm
