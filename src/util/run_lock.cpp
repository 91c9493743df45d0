#include "util/run_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/pathfind/name_fold.h"

namespace lm {
namespace {

// The locks this process holds: key -> descriptor and how many holders.
struct Held {
  int fd = -1;
  int count = 0;
};
std::mutex g_mutex;
std::map<QByteArray, Held>& HeldLocks() {
  static std::map<QByteArray, Held> held;
  return held;
}

// A folder of the user's own: it exists, is not a link, belongs to the user
// and nobody else may write it.
bool PrivateFolder(const QString& path) {
  const QByteArray p = QFile::encodeName(path);
  ::mkdir(p.constData(), 0700);
  struct stat st {};
  return ::lstat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 0022) == 0;
}

QByteArray LockFileOf(const QByteArray& key) {
  return QFile::encodeName(RunLockFolder()) + '/' +
         QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex() + ".lock";
}

// Opens and locks the lock file of `key` without waiting; -1 when another
// holder has it (or it cannot be made, which `failed` tells). A holder
// removes the file when it lets go: a lock taken on a file that is no longer
// the one of that name is given up and taken again on the new file.
int LockNow(const QByteArray& key, bool& failed) {
  failed = false;
  const QByteArray file = LockFileOf(key);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = ::open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      failed = true;
      return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      failed = errno != EWOULDBLOCK;
      ::close(fd);
      return -1;
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::stat(file.constData(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev) {
      return fd;
    }
    ::close(fd);
  }
  return -1;
}

void Unhold(const QByteArray& key) {
  auto& held = HeldLocks();
  const auto it = held.find(key);
  if (it == held.end()) return;
  if (--it->second.count == 0) {
    // The file goes while it is locked, so the folder keeps no file of a
    // lock nobody holds; closing the descriptor releases the flock.
    if (it->second.fd >= 0) ::unlink(LockFileOf(key).constData());
    ::close(it->second.fd);
    held.erase(it);
  }
}

// Takes every key that is free now; on the first busy one gives back what it
// took and returns that key's index.
int TakeAllNow(const std::vector<RunResource>& resources, std::vector<QByteArray>& taken) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& held = HeldLocks();
  taken.clear();
  for (std::size_t i = 0; i < resources.size(); ++i) {
    const QByteArray key = resources[i].key.toUtf8();
    auto it = held.find(key);
    if (it != held.end()) {
      ++it->second.count;
      taken.push_back(key);
      continue;
    }
    bool failed = false;
    const int fd = LockNow(key, failed);
    // A lock file that cannot be made at all (no private folder) does not
    // stop the run: it runs as it would without locks.
    if (fd < 0 && !failed) {
      for (const QByteArray& k : taken) Unhold(k);
      taken.clear();
      return static_cast<int>(i);
    }
    held[key] = Held{fd, 1};
    taken.push_back(key);
  }
  return -1;
}

class DefaultWaiter final : public RunLockWaiter {
 public:
  bool Wait(const QString& busy, const std::function<bool()>& tryNow) override {
    RunNote(WaitingText(busy));
    while (!tryNow()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
  }
};

RunLockWaiter* g_waiter = nullptr;

std::map<int, RunNoteListener>& NoteListeners() {
  static std::map<int, RunNoteListener> listeners;
  return listeners;
}
std::mutex g_noteMutex;
int g_nextNoteListener = 1;

// The path as the system knows it: the real spelling, links resolved.
QString Canonical(const QString& path) {
  const QString real = ResolveExisting(path);
  const QString canonical = real.isEmpty() ? QString() : QFileInfo(real).canonicalFilePath();
  if (!canonical.isEmpty()) return canonical;
  // Not there yet (a folder made later in the run): the nearest folder above
  // it that is there, as the system knows it, and the rest as given, so the
  // key stays the same once it is made.
  const QString absolute = QDir::cleanPath(QFileInfo(NativePath(path)).absoluteFilePath());
  QString rest;
  QString head = absolute;
  while (!head.isEmpty() && head != QLatin1String("/")) {
    const int cut = static_cast<int>(head.lastIndexOf(QLatin1Char('/')));
    rest = head.mid(cut) + rest;
    head = cut <= 0 ? QStringLiteral("/") : head.left(cut);
    const QString found = ResolveExisting(head);
    const QString known = found.isEmpty() ? QString() : QFileInfo(found).canonicalFilePath();
    if (!known.isEmpty()) return QDir::cleanPath(known + rest);
  }
  return absolute;
}

}  // namespace

RunResource IndexFilesResource(const QString& datDir) {
  const QString dir = Canonical(datDir);
  return {QStringLiteral("index:") + dir, QStringLiteral("更新定義ファイル") + Bracketed(dir + QStringLiteral("/index.fet"))};
}

RunResource ArchiveNamesResource(const QString& folder, const QString& baseName) {
  const QString dir = Canonical(folder);
  const QString folded = QString::fromStdString(pathfind::FoldName(baseName.toStdString()));
  return {QStringLiteral("archive:") + dir + QLatin1Char('/') + folded,
          QStringLiteral("配布用アーカイブ") + Bracketed(dir + QLatin1Char('/') + baseName + QStringLiteral(".*"))};
}

RunLocks& RunLocks::operator=(RunLocks&& other) noexcept {
  if (this != &other) {
    Release();
    keys_ = std::move(other.keys_);
    other.keys_.clear();
  }
  return *this;
}

void RunLocks::Release() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const QByteArray& key : keys_) Unhold(key);
  keys_.clear();
}

void SetRunLockWaiter(RunLockWaiter* waiter) { g_waiter = waiter; }

RunLockWaiter* CurrentRunLockWaiter() {
  static DefaultWaiter fallback;
  return g_waiter ? g_waiter : &fallback;
}

QString WaitingText(const QString& busy) {
  return QStringLiteral("別の処理が終わるのを待っています…") + QStringLiteral("（") + busy + QStringLiteral("）");
}

QString BusyText(const QString& busy) {
  return busy + QStringLiteral("は別の処理が使用中です。") + CR + QStringLiteral("処理を中止しました。");
}

bool TakeRunLocks(const std::vector<RunResource>& resources, RunLocks& held) {
  std::vector<QByteArray> taken;
  const int busy = TakeAllNow(resources, taken);
  if (busy >= 0) {
    const bool ok = CurrentRunLockWaiter()->Wait(resources[static_cast<std::size_t>(busy)].what,
                                                 [&] { return TakeAllNow(resources, taken) < 0; });
    if (!ok) return false;
  }
  held.keys_.insert(held.keys_.end(), taken.begin(), taken.end());
  return true;
}

bool TryTakeRunLock(const RunResource& resource, RunLocks& held) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const QByteArray key = resource.key.toUtf8();
  auto& locks = HeldLocks();
  if (locks.count(key)) return false;
  bool failed = false;
  const int fd = LockNow(key, failed);
  if (fd < 0) return false;
  locks[key] = Held{fd, 1};
  held.keys_.push_back(key);
  return true;
}

QString RunLockFolder() {
  // Looked up each time: the runtime folder is the session's, and a test
  // may change it.
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) {
    const QString dir = QFile::decodeName(runtime) + QStringLiteral("/loftmark-locks");
    if (PrivateFolder(dir)) return dir;
  }
  const QString dir = QStringLiteral("/tmp/loftmark-locks-") + QString::number(::getuid());
  if (PrivateFolder(dir)) return dir;
  return QDir::tempPath();
}

int AddRunNoteListener(RunNoteListener listener) {
  std::lock_guard<std::mutex> lock(g_noteMutex);
  const int id = g_nextNoteListener++;
  NoteListeners()[id] = std::move(listener);
  return id;
}

void RemoveRunNoteListener(int id) {
  std::lock_guard<std::mutex> lock(g_noteMutex);
  NoteListeners().erase(id);
}

void RunNote(const QString& line) {
  std::lock_guard<std::mutex> lock(g_noteMutex);
  for (const auto& [id, listener] : NoteListeners()) listener(line);
}

}  // namespace lm
