#include "util/path_resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QStringList>

namespace lm {
namespace {

bool Exists(const QString& p, struct stat* st = nullptr) {
  struct stat s {};
  const bool ok = ::stat(QFile::encodeName(p).constData(), &s) == 0;
  if (ok && st) *st = s;
  return ok;
}

// Looks up `name` in directory `dir` without regard to case.
QString FindInDirectory(const QString& dir, const QString& name) {
  const QByteArray nativeDir = QFile::encodeName(dir.isEmpty() ? QStringLiteral(".") : dir);
  DIR* d = ::opendir(nativeDir.constData());
  if (!d) return {};
  QString best;
  while (dirent* e = ::readdir(d)) {
    const QString candidate = QFile::decodeName(e->d_name);
    if (candidate == QLatin1String(".") || candidate == QLatin1String("..")) continue;
    if (NamesEqualIgnoringCase(candidate, name) && (best.isEmpty() || candidate < best)) {
      best = candidate;
    }
  }
  ::closedir(d);
  return best;
}

QString Join(const QString& dir, const QString& name) {
  if (dir.isEmpty()) return name;
  if (dir.endsWith(QLatin1Char('/'))) return dir + name;
  return dir + QLatin1Char('/') + name;
}

}  // namespace

QString NativePath(const QString& path) {
  QString p = path;
  p.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return p;
}

bool NamesEqualIgnoringCase(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsHiddenName(const QString& name) { return name.startsWith(QLatin1Char('.')); }

QString ResolveExisting(const QString& path) {
  if (path.isEmpty()) return {};
  QString p = NativePath(path);
  while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
  if (Exists(p)) return p;

  // Walk the components, fixing the case of each one that does not exist as written.
  const bool absolute = p.startsWith(QLatin1Char('/'));
  const QStringList parts = p.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString current = absolute ? QStringLiteral("/") : QString();
  for (const QString& part : parts) {
    QString next = Join(current, part);
    if (part == QLatin1String(".") || part == QLatin1String("..") || Exists(next)) {
      current = next;
      continue;
    }
    const QString found = FindInDirectory(current, part);
    if (found.isEmpty()) return {};
    current = Join(current, found);
  }
  return current;
}

QString ResolveForCreate(const QString& path) {
  QString p = NativePath(path);
  const QString existing = ResolveExisting(p);
  if (!existing.isEmpty()) return existing;
  const int slash = p.lastIndexOf(QLatin1Char('/'));
  if (slash < 0) return p;
  const QString parent = p.left(slash);
  const QString name = p.mid(slash + 1);
  if (parent.isEmpty()) return p;
  const QString realParent = ResolveExisting(parent);
  return realParent.isEmpty() ? p : Join(realParent, name);
}

bool IsExistingFile(const QString& path) {
  struct stat st {};
  const QString real = ResolveExisting(path);
  return !real.isEmpty() && Exists(real, &st) && S_ISREG(st.st_mode);
}

bool IsExistingDirectory(const QString& path) {
  struct stat st {};
  const QString real = ResolveExisting(path);
  return !real.isEmpty() && Exists(real, &st) && S_ISDIR(st.st_mode);
}

}  // namespace lm
