#include "util/path_resolver.h"

#include <sys/stat.h>

#include <QFile>

#include "util/pathfind/name_fold.h"
#include "util/pathfind/path_find.h"

namespace lm {
namespace {

bool Exists(const QString& p, struct stat* st = nullptr) {
  struct stat s {};
  const bool ok = ::stat(QFile::encodeName(p).constData(), &s) == 0;
  if (ok && st) *st = s;
  return ok;
}

}  // namespace

QString NativePath(const QString& path) {
  QString p = path;
  p.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return p;
}

bool NamesEqualIgnoringCase(const QString& a, const QString& b) {
  return pathfind::SameName(a.toStdString(), b.toStdString());
}

bool IsHiddenName(const QString& name) { return name.startsWith(QLatin1Char('.')); }

QString ResolveExisting(const QString& path) {
  if (path.isEmpty()) return {};
  QString p = NativePath(path);
  while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
  if (Exists(p)) return p;
  // Fix the case of each level that does not exist as written.
  std::string real;
  if (!pathfind::ResolveExisting(QFile::encodeName(p).toStdString(), real) || real.empty()) return {};
  return QFile::decodeName(QByteArray::fromStdString(real));
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
  if (realParent.isEmpty()) return p;
  return realParent.endsWith(QLatin1Char('/')) ? realParent + name : realParent + QLatin1Char('/') + name;
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
