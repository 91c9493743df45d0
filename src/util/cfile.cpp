#include "util/cfile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "util/app_globals.h"
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

// Windows wildcard matching without regard to case: "*" any run, "?" one
// character; a pattern ending in ".*" or "." also matches a name without any dot.
bool WildcardMatch(const QString& name, const QString& pattern) {
  const QString n = name.toCaseFolded();
  const QString p = pattern.toCaseFolded();
  // Iterative matcher with backtracking to the last "*".
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
  if (pi == p.size()) return true;
  if (!name.contains(QLatin1Char('.'))) {
    if (pattern.endsWith(QLatin1String(".*"))) return WildcardMatch(name, pattern.chopped(2));
    if (pattern.endsWith(QLatin1Char('.'))) return WildcardMatch(name, pattern.chopped(1));
  }
  return false;
}

bool IsListedOrdinaryFile(const QString& dirReal, const QString& name) {
  if (IsHiddenName(name)) return false;
  struct stat st {};
  return StatPath(JoinNative(dirReal, name), st) && S_ISREG(st.st_mode);
}

}  // namespace

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
      return WildcardMatch(entry, name) && IsListedOrdinaryFile(dirReal, entry);
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
  dirs << (programDir.isEmpty() ? ExecutableDir() : programDir) << QDir::currentPath();
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
