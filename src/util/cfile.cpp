#include "util/cfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "util/app_folders.h"
#include "util/app_globals.h"
#include "util/creg.h"
#include "util/path_resolver.h"

namespace lm {
namespace {

bool IsSeparator(QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); }

int LastSeparator(const QString& path) {
  return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}

bool StatPath(const QString& real, struct stat& st) {
  return ::stat(QFile::encodeName(real).constData(), &st) == 0;
}

// Calls `visit` with each entry name of the directory ("." and ".." left
// out) until it returns true; false when the directory cannot be listed.
template <typename Visit>
bool ListDirectory(const QString& real, Visit visit, bool* listed = nullptr) {
  DIR* d = ::opendir(QFile::encodeName(real.isEmpty() ? QStringLiteral(".") : real).constData());
  if (listed) *listed = d != nullptr;
  if (!d) return false;
  bool hit = false;
  while (dirent* e = ::readdir(d)) {
    const QString name = QFile::decodeName(e->d_name);
    if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
    if (visit(name)) {
      hit = true;
      break;
    }
  }
  ::closedir(d);
  return hit;
}

QString JoinNative(const QString& dir, const QString& name) {
  if (dir.isEmpty()) return name;
  return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

// A name of a Windows directory listing against a pattern: letter case is
// ignored, and a pattern ending in ".*" or "." also matches a name without
// any dot ("*.*" lists every file, "*." those without extension).
bool ListingMatch(const QString& name, const QString& pattern) {
  if (MatchesWildcard(pattern, name, Qt::CaseInsensitive)) return true;
  if (name.contains(QLatin1Char('.'))) return false;
  if (pattern.endsWith(QLatin1String(".*"))) return ListingMatch(name, pattern.chopped(2));
  if (pattern.endsWith(QLatin1Char('.'))) return ListingMatch(name, pattern.chopped(1));
  return false;
}

bool IsListedOrdinaryFile(const QString& dirReal, const QString& name) {
  if (IsHiddenName(name)) return false;
  struct stat st {};
  return StatPath(JoinNative(dirReal, name), st) && S_ISREG(st.st_mode);
}

// File numbers handed out by FileLock: FileUnlock closes only these.
std::mutex g_lockMutex;
std::set<int> g_lockedFiles;

// Creates a new empty file from a mkstemps template ending in `suffix`.
QString CreateTempFile(const QString& dir, const QString& prefix, const QString& suffix) {
  QByteArray tmpl = QFile::encodeName(JoinNative(dir, prefix + QStringLiteral("XXXXXX") + suffix));
  const int fd = ::mkstemps(tmpl.data(), static_cast<int>(QFile::encodeName(suffix).size()));
  if (fd < 0) return {};
  ::close(fd);
  return QFile::decodeName(tmpl);
}

}  // namespace

bool MatchesWildcard(const QString& pattern, const QString& name, Qt::CaseSensitivity cs) {
  const QString p = cs == Qt::CaseInsensitive ? pattern.toCaseFolded() : pattern;
  const QString n = cs == Qt::CaseInsensitive ? name.toCaseFolded() : name;
  // Iterative matcher that backtracks to the last "*" seen.
  qsizetype ni = 0, pi = 0, starP = -1, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p.at(pi) == QLatin1Char('?') || p.at(pi) == n.at(ni))) {
      ++ni;
      ++pi;
    } else if (pi < p.size() && p.at(pi) == QLatin1Char('*')) {
      starP = pi++;
      starN = ni;
    } else if (starP >= 0) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p.at(pi) == QLatin1Char('*')) ++pi;
  return pi == p.size();
}

QString cFile::Executable(const QString& fileName) const {
  const cReg reg;
  const QString ext = QLatin1Char('.') + Extension(fileName);
  const QString type = reg.RegGetString(kHkeyClassesRoot, ext, QString());
  const QString key = (type.isEmpty() ? ext : type) + QStringLiteral("\\shell\\open\\command");
  const QString command = reg.RegGetString(kHkeyClassesRoot, key, QString());
  if (command.isEmpty()) return {};
  if (!command.contains(QStringLiteral("%1"))) return command + QLatin1Char(' ') + fileName;
  QString withFile = command + QLatin1Char(' ');
  withFile.replace(withFile.indexOf(QStringLiteral("%1")), 2, fileName);
  return withFile.trimmed();
}

QString cFile::GetFileType(const QString& fileName) const {
  const cReg reg;
  const QString ext = Extension(fileName);
  const QString type = reg.RegGetString(kHkeyClassesRoot, QLatin1Char('.') + ext, QString());
  const QString description = type.isEmpty() ? QString() : reg.RegGetString(kHkeyClassesRoot, type, QString());
  return description.isEmpty() ? ext + QStringLiteral(" ﾌｧｲﾙ") : description;
}

int cFile::FileLock(const QString& strFileName) {
  if (!FileExists(strFileName)) return 0;
  const QByteArray native = QFile::encodeName(ResolveExisting(strFileName));
  int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  if (fd == 0) {  // 0 means "not locked": move off it
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    if (moved < 0) return 0;
    fd = moved;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return 0;
  }
  const std::lock_guard<std::mutex> guard(g_lockMutex);
  g_lockedFiles.insert(fd);
  return fd;
}

void cFile::FileUnlock(int intFileNum) {
  if (intFileNum == 0) return;
  const std::lock_guard<std::mutex> guard(g_lockMutex);
  if (g_lockedFiles.erase(intFileNum) == 0) return;  // not one of ours
  ::close(intFileNum);
}

QString cFile::OmitPathName(const QString& path) const {
  const int sep = LastSeparator(path);
  // A file name that begins within the three characters after the first three
  // leaves nothing to shorten.
  if (sep < 5) return path;
  const QString fileName = path.mid(sep + 1);
  const int dirStart = std::max(path.lastIndexOf(QLatin1Char('\\'), sep - 1), path.lastIndexOf(QLatin1Char('/'), sep - 1));
  const QString lastDir = path.mid(dirStart + 1, sep - dirStart - 1);
  const QChar s = path.at(sep);
  const QString shortened = path.left(3) + QStringLiteral("...") + s + lastDir + s + fileName;
  QString result = shortened.size() < path.size() ? shortened : path;
  result.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return result;
}

QString cFile::FileVersion(const QString& strTargetFileName) const {
  // Shared libraries carry their version in the name the links lead to
  // (libfoo.so.4.8.0); other files offer none here.
  const QString real = ResolveExisting(strTargetFileName);
  if (real.isEmpty()) return {};
  const QString name = QFileInfo(QFileInfo(real).canonicalFilePath()).fileName();
  static const QRegularExpression versioned(QStringLiteral("\\.so\\.(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?$"));
  const QRegularExpressionMatch m = versioned.match(name);
  if (!m.hasMatch()) return {};
  const int major = m.captured(1).toInt();
  const int minor = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
  const qulonglong low = m.captured(3).isEmpty() ? 0 : m.captured(3).toULongLong();
  return QStringLiteral("%1.%2.%3").arg(major).arg(minor, 2, 10, QLatin1Char('0')).arg(low & 0xffffffffULL);
}

QString cFile::TempPath() const {
  QString p = QDir::tempPath();
  if (!p.endsWith(QLatin1Char('/'))) p += QLatin1Char('/');
  return p;
}

QString cFile::TempFile() const { return CreateTempFile(TempPath(), QStringLiteral("TMP"), QStringLiteral(".Lzh")); }

QString cFile::ResponceFile() const {
  return CreateTempFile(TempPath(), QStringLiteral("~VB"), QStringLiteral(".tmp"));
}

QString cFile::AttribString(const QString& fileName) const {
  const QString real = ResolveExisting(fileName);
  struct stat st {};
  if (real.isEmpty() || !StatPath(real, st)) return {};
  const bool readOnly = (st.st_mode & 0222) == 0;
  const bool hidden = IsHiddenName(QFileInfo(real).fileName());
  // There is no system attribute; every ordinary file counts as changed since
  // its last backup (the archive attribute), directories do not.
  QString a;
  a += readOnly ? QLatin1Char('r') : QLatin1Char('-');
  a += QLatin1Char('-');
  a += hidden ? QLatin1Char('h') : QLatin1Char('-');
  a += S_ISDIR(st.st_mode) ? QLatin1Char('-') : QLatin1Char('a');
  return a;
}

QString cFile::Extension(const QString& fileName) const {
  const int dot = fileName.lastIndexOf(QLatin1Char('.'));
  if (dot < 0 || dot < LastSeparator(fileName)) return {};
  return fileName.mid(dot + 1).toUpper();
}

QString cFile::AddDirSep(const QString& strPathName) const {
  QString p = strPathName;
  while (p.endsWith(QLatin1Char(' '))) p.chop(1);
  if (!p.isEmpty() && IsSeparator(p.back())) return p;
  // A path written with "/" gets "/", any other "\" (the Windows form).
  const int sep = LastSeparator(p);
  return p + (sep >= 0 ? p.at(sep) : QLatin1Char('\\'));
}

QString cFile::RemoveDirSep(const QString& path) const {
  QString p = path.trimmed();
  if (p.isEmpty() || !IsSeparator(p.back())) return p;
  const QChar sep = p.back();
  p.chop(1);
  // A root keeps its separator: "C:\" stays "C:\", "/" stays "/".
  if (p.isEmpty() || (p.size() == 2 && p.at(1) == QLatin1Char(':'))) p.append(sep);
  return p;
}

QString cFile::AddQuotesToFN(const QString& fileName) const {
  if (fileName.contains(QLatin1Char(' ')) || fileName.contains(QLatin1Char(','))) {
    return QLatin1Char('"') + fileName + QLatin1Char('"');
  }
  return fileName;
}

QString cFile::StripQuotes(const QString& text) const {
  QString t = text;
  if (t.startsWith(QLatin1Char('"'))) t.remove(0, 1);
  if (t.endsWith(QLatin1Char('"'))) t.chop(1);
  return t;
}

QString cFile::GetDosShortPathName(const QString& path) const { return AddQuotesToFN(path); }

QString cFile::GetFileName(const QString& path) const {
  const int pos = std::max(LastSeparator(path), static_cast<int>(path.lastIndexOf(QLatin1Char(':'))));
  return pos >= 0 ? path.mid(pos + 1) : path;
}

QString cFile::GetPathName(const QString& strFileName) const {
  const int pos = LastSeparator(strFileName);
  if (pos < 0) return QDir::currentPath();
  if (pos == 0) return strFileName.left(1);  // directly under the root "/"
  return strFileName.left(pos);
}

bool cFile::DirExists(const QString& strDirName) const {
  const QString dir = AddDirSep(strDirName);
  if (dir.size() <= 1 && !dir.startsWith(QLatin1Char('/'))) return false;  // "" or a lone "\"
  const QString real = ResolveExisting(dir);
  if (real.isEmpty()) return false;
  struct stat st {};
  if (!StatPath(real, st) || !S_ISDIR(st.st_mode)) return false;
  // The listing names the directory's own "." entry unless the directory is
  // hidden; a hidden directory counts only when it shows a visible entry.
  const int slash = real.lastIndexOf(QLatin1Char('/'));
  const bool hidden = IsHiddenName(real.mid(slash + 1)) && real.mid(slash + 1) != QLatin1String(".") &&
                      real.mid(slash + 1) != QLatin1String("..");
  bool listed = false;
  const bool visibleEntry =
      ListDirectory(real, [](const QString& name) { return !IsHiddenName(name); }, &listed);
  if (!listed) return false;
  return !hidden || visibleEntry;
}

bool cFile::FileExists(const QString& strPathName) const {
  QString p = strPathName;
  if (!p.isEmpty() && IsSeparator(p.back())) p.chop(1);
  if (p.isEmpty()) return false;
  const int sep = LastSeparator(p);
  const QString name = p.mid(sep + 1);
  if (name.isEmpty()) return false;
  if (name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'))) {
    const QString dir = sep < 0 ? QStringLiteral(".") : (sep == 0 ? QStringLiteral("/") : p.left(sep));
    const QString dirReal = ResolveExisting(dir);
    if (dirReal.isEmpty()) return false;
    return ListDirectory(dirReal, [&](const QString& entry) {
      return ListingMatch(entry, name) && IsListedOrdinaryFile(dirReal, entry);
    });
  }
  const QString real = ResolveExisting(p);
  if (real.isEmpty()) return false;
  const int slash = real.lastIndexOf(QLatin1Char('/'));
  return IsListedOrdinaryFile(slash < 0 ? QString() : real.left(slash), real.mid(slash + 1));
}

bool cFile::MakeDirs(const QString& directory) const {
  QString d = directory;
  if (d.isEmpty() || !IsSeparator(d.back())) d.append(QLatin1Char('\\'));
  const int colon = d.indexOf(QLatin1Char(':'));
  const int start = colon >= 0 ? colon + 1 : 0;
  for (int i = start; i < d.size(); ++i) {
    if (!IsSeparator(d.at(i))) continue;
    const QString partial = d.left(i);
    if (partial.isEmpty() || partial == d.left(start)) continue;
    if (!ResolveExisting(partial).isEmpty()) {
      if (!IsExistingDirectory(partial)) return false;  // a file stands in the way
      continue;
    }
    const QString target = ResolveForCreate(partial);
    if (::mkdir(QFile::encodeName(target).constData(), 0777) != 0) return false;
  }
  return true;
}

QString cFile::FindOnSearchPath(const QString& fileName) const {
  if (fileName.isEmpty()) return {};
  auto fileIn = [](const QString& candidate) -> QString {
    const QString real = ResolveExisting(candidate);
    if (real.isEmpty()) return {};
    struct stat st {};
    return StatPath(real, st) && !S_ISDIR(st.st_mode) ? real : QString();
  };
  if (LastSeparator(fileName) >= 0) return fileIn(fileName);

  QStringList dirs;
  dirs << ProgramFolder() << QDir::currentPath();
  dirs << QStringLiteral("/lib") << QStringLiteral("/usr/lib") << QStringLiteral("/usr/local/lib");
  for (const QString& base : {QStringLiteral("/lib"), QStringLiteral("/usr/lib"), QStringLiteral("/usr/local/lib")}) {
    const QDir baseDir(base);
    for (const QString& sub : baseDir.entryList({QStringLiteral("*-linux-gnu*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
      dirs << base + QLatin1Char('/') + sub;
    }
  }
  for (const char* var : {"LD_LIBRARY_PATH", "PATH"}) {
    const QString value = qEnvironmentVariable(var);
    for (const QString& dir : value.split(QLatin1Char(':'), Qt::SkipEmptyParts)) dirs << dir;
  }
  for (const QString& dir : dirs) {
    const QString found = fileIn(JoinNative(dir, fileName));
    if (!found.isEmpty()) return found;
  }
  return {};
}

bool cFile::CheckExistFile(const QString& fileName) const { return !FindOnSearchPath(fileName).isEmpty(); }

}  // namespace lm
