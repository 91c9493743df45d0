#include "archive/build_workspace.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {
namespace {

const QString kStagingMark = QStringLiteral(".loftmark-build-");
const QString kCommitList = QStringLiteral(".commit");
constexpr int kRandomLength = 6;  // mkdtemp's XXXXXX

QString g_currentWork;

QByteArray Encoded(const QString& path) { return QFile::encodeName(path); }

QStringList EntryNames(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool IsDirectoryNoLink(const QString& path) {
  struct stat st {};
  return ::lstat(Encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Removes a tree the program made, read-only members and folders included
// (an unpacked archive keeps the attributes of its members).
bool RemoveTree(const QString& path) {
  const QByteArray p = Encoded(path);
  struct stat st {};
  if (::lstat(p.constData(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(p.constData()) == 0;
  ::chmod(p.constData(), (st.st_mode & 07777) | S_IRWXU);
  bool ok = true;
  if (DIR* d = ::opendir(p.constData())) {
    while (dirent* e = ::readdir(d)) {
      const QString name = QFile::decodeName(e->d_name);
      if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
      ok = RemoveTree(path + QLatin1Char('/') + name) && ok;
    }
    ::closedir(d);
  }
  return ::rmdir(p.constData()) == 0 && ok;
}

QString MakeTempDir(const QString& parent, const QString& prefix) {
  QByteArray templ = Encoded(parent + QLatin1Char('/') + prefix) + "XXXXXX";
  if (!::mkdtemp(templ.data())) return {};
  return QFile::decodeName(templ);
}

// The archive base name of a staging folder's name; "" for any other name.
QString StagingBase(const QString& entry) {
  const int tail = static_cast<int>(kStagingMark.size()) + kRandomLength;
  if (!entry.startsWith(QLatin1Char('.')) || entry.size() <= tail + 1) return {};
  if (entry.mid(entry.size() - tail, kStagingMark.size()) != kStagingMark) return {};
  return entry.mid(1, entry.size() - tail - 1);
}

RunResource WorkFolderResource(const QString& path) {
  return {QStringLiteral("work:") + path, Bracketed(path)};
}

// Moves `from` to `folder`/`name`; an existing file whose name differs from
// `name` in letter case only goes afterwards.
bool MoveIntoPlace(const QString& from, const QString& folder, const QString& name) {
  const QString target = folder + QLatin1Char('/') + name;
  const QString earlier = ResolveExisting(target);
  if (::rename(Encoded(from).constData(), Encoded(target).constData()) != 0) return false;
  if (!earlier.isEmpty() && earlier != target && QFileInfo(earlier).fileName() != name) QFile::remove(earlier);
  return true;
}

bool RemoveNamed(const QString& folder, const QString& name) {
  const QString real = ResolveExisting(folder + QLatin1Char('/') + name);
  if (real.isEmpty() || !QFileInfo(real).isFile()) return true;
  return QFile::remove(real);
}

QString Note(const QString& what, const QString& path, const QString& done) {
  return QStringLiteral("中断された処理の") + what + Bracketed(path) + done;
}

// The moves and deletions of a commit list: "put NAME" and "remove NAME"
// lines. False with the path that failed.
bool ApplyCommitList(const QString& staging, const QString& folder, const QStringList& lines, bool noted,
                     QString& failedPath) {
  for (const QString& line : lines) {
    if (line.startsWith(QLatin1String("put "))) {
      const QString name = line.mid(4);
      const QString from = staging + QLatin1Char('/') + name;
      if (!QFileInfo::exists(from)) continue;  // moved before the run ended
      if (!MoveIntoPlace(from, folder, name)) {
        failedPath = folder + QLatin1Char('/') + name;
        return false;
      }
      if (noted) RunNote(Note(QStringLiteral("アーカイブ"), folder + QLatin1Char('/') + name, QStringLiteral("を作成済みの内容で置きました。")));
      if (!noted) CrashPoint("commit");
    } else if (line.startsWith(QLatin1String("remove "))) {
      if (!RemoveNamed(folder, line.mid(7))) {
        failedPath = folder + QLatin1Char('/') + line.mid(7);
        return false;
      }
    }
  }
  return true;
}

bool ReadLines(const QString& path, QStringList& lines) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return true;
}

// The file of a leftover of earlier versions of the program: an archive
// moved aside, ".<name>.<ext>.earlier"; its real name, or "".
QString EarlierArchiveName(const QString& entry, const QString& name) {
  static const QRegularExpression earlier(QStringLiteral("^\\.(.+)\\.(lzh|exe|cab|qsc)\\.earlier$"),
                                          QRegularExpression::CaseInsensitiveOption);
  const auto m = earlier.match(entry);
  if (!m.hasMatch() || !NamesEqualIgnoringCase(m.captured(1), name)) return {};
  return m.captured(1) + QLatin1Char('.') + m.captured(2);
}

// A partial archive the libraries of earlier versions left beside an
// archive: ".lha-" and twelve hexadecimal digits, ".cab32-" and six letters
// or digits.
bool IsPartialArchive(const QString& entry) {
  static const QRegularExpression partial(QStringLiteral("^(\\.lha-[0-9a-f]{12}|\\.cab32-[A-Za-z0-9]{6})$"));
  return partial.match(entry).hasMatch();
}

}  // namespace

QString BuildWorkRoot() { return CacheFolder(); }

QString CurrentBuildWorkDir() { return g_currentWork.isEmpty() ? CacheFolder() : g_currentWork; }

BuildWorkFolder::~BuildWorkFolder() {
  if (path_.isEmpty()) return;
  if (g_currentWork == path_) g_currentWork.clear();
  RemoveTree(path_);
  lock_.Release();
}

bool BuildWorkFolder::Create(QString& failedPath) {
  const QString builds = BuildWorkRoot() + QStringLiteral("/builds");
  failedPath = builds;
  if (!QDir().mkpath(builds)) return false;
  // One run at a time looks at the folders: a folder made and not locked
  // yet is never taken for a dead one.
  RunLocks registry;
  TakeRunLocks({{QStringLiteral("workroot:") + QDir(builds).canonicalPath(), Bracketed(builds)}}, registry);
  for (const QString& entry : EntryNames(builds)) {
    const QString dir = builds + QLatin1Char('/') + entry;
    if (!entry.startsWith(QLatin1String("build-")) || !IsDirectoryNoLink(dir)) continue;
    RunLocks dead;
    if (!TryTakeRunLock(WorkFolderResource(dir), dead)) continue;
    // Its build may have ended (and removed it) since the listing.
    if (IsDirectoryNoLink(dir) && RemoveTree(dir)) {
      RunNote(Note(QStringLiteral("作業フォルダ"), dir, QStringLiteral("を削除しました。")));
    }
  }
  const QString made = MakeTempDir(builds, QStringLiteral("build-"));
  if (made.isEmpty()) return false;
  if (!TryTakeRunLock(WorkFolderResource(made), lock_)) {
    RemoveTree(made);
    failedPath = made;
    return false;
  }
  path_ = made;
  g_currentWork = made;
  return true;
}

ArchiveStaging::~ArchiveStaging() {
  if (!path_.isEmpty()) RemoveTree(path_);
}

bool ArchiveStaging::Create(const QString& folder, const QString& name, QString& failedPath) {
  const QString real = ResolveExisting(folder);
  folder_ = real.isEmpty() ? NativePath(folder) : real;
  path_ = MakeTempDir(folder_, QLatin1Char('.') + name + kStagingMark);
  if (path_.isEmpty()) failedPath = folder_ + QStringLiteral("/.") + name + kStagingMark + QStringLiteral("XXXXXX");
  return !path_.isEmpty();
}

bool ArchiveStaging::Commit(const QStringList& put, const QStringList& remove, QString& failedPath) {
  QStringList lines;
  for (const QString& name : put) lines << QStringLiteral("put ") + name;
  for (const QString& name : remove) lines << QStringLiteral("remove ") + name;
  // Written whole and flushed before the first move: a run killed among the
  // moves leaves a list the next run completes.
  if (!WriteFileAtomically(path_ + QLatin1Char('/') + kCommitList, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8())) {
    failedPath = path_ + QLatin1Char('/') + kCommitList;
    return false;
  }
  if (!ApplyCommitList(path_, folder_, lines, false, failedPath)) return false;
  RemoveTree(path_);
  path_.clear();
  return true;
}

void RecoverArchiveFolder(const QString& folder, const QString& name) {
  const QString real = ResolveExisting(folder);
  if (real.isEmpty() || !QFileInfo(real).isDir()) return;
  for (const QString& entry : EntryNames(real)) {
    const QString path = real + QLatin1Char('/') + entry;
    const QString stagedFor = StagingBase(entry);
    if (!stagedFor.isEmpty() && NamesEqualIgnoringCase(stagedFor, name) && IsDirectoryNoLink(path)) {
      QStringList lines;
      QString failed;
      // A build that had made every archive and was moving them: finish it.
      const bool complete = ReadLines(path + QLatin1Char('/') + kCommitList, lines);
      if (complete) ApplyCommitList(path, real, lines, true, failed);
      if (RemoveTree(path) && !complete) {
        RunNote(Note(QStringLiteral("作成途中のアーカイブ"), path, QStringLiteral("を削除しました。")));
      }
      continue;
    }
    const QString earlierName = EarlierArchiveName(entry, name);
    if (!earlierName.isEmpty() && QFileInfo(path).isFile()) {
      const QString target = real + QLatin1Char('/') + earlierName;
      if (ResolveExisting(target).isEmpty() && QFile::rename(path, target)) {
        RunNote(Note(QStringLiteral("退避されたアーカイブ"), path, QStringLiteral("を") + Bracketed(target) + QStringLiteral("に戻しました。")));
      } else if (QFile::remove(path)) {
        RunNote(Note(QStringLiteral("退避されたアーカイブ"), path, QStringLiteral("を削除しました（") + Bracketed(target) + QStringLiteral("があります）。")));
      }
      continue;
    }
    if (IsPartialArchive(entry) && QFileInfo(path).isFile() && !QFileInfo(path).isSymLink() && QFile::remove(path)) {
      RunNote(Note(QStringLiteral("作成途中のアーカイブ"), path, QStringLiteral("を削除しました。")));
    }
  }
}

void CrashPoint(const char* point) {
  static const QByteArray wanted = qgetenv("LOFTMARK_TEST_CRASH");
  if (wanted.isEmpty()) return;
  static std::mutex mutex;
  static std::map<std::string, int> reached;
  std::lock_guard<std::mutex> lock(mutex);
  const int n = ++reached[point];
  if (wanted == QByteArray(point) + QByteArray::number(n)) ::kill(::getpid(), SIGKILL);
}

}  // namespace lm
