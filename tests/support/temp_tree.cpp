#include "support/temp_tree.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace lmtest {

TempTree::TempTree() { EXPECT_TRUE(dir_.isValid()); }

QString TempTree::Path(const QString& rel) const {
  return rel.isEmpty() ? dir_.path() : dir_.path() + QLatin1Char('/') + rel;
}

QString TempTree::WriteFile(const QString& rel, const QByteArray& bytes) {
  const QString p = Path(rel);
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << p.toStdString();
  f.write(bytes);
  f.close();
  return p;
}

QString TempTree::MakeDir(const QString& rel) {
  const QString p = Path(rel);
  EXPECT_TRUE(QDir().mkpath(p)) << p.toStdString();
  return p;
}

QByteArray TempTree::ReadFile(const QString& rel) const {
  QFile f(Path(rel));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void TempTree::SetModified(const QString& rel, const QDateTime& local) {
  const qint64 secs = local.toSecsSinceEpoch();
  struct timeval tv[2];
  tv[0].tv_sec = tv[1].tv_sec = static_cast<time_t>(secs);
  tv[0].tv_usec = tv[1].tv_usec = 0;
  EXPECT_EQ(::utimes(QFile::encodeName(Path(rel)).constData(), tv), 0);
}

}  // namespace lmtest
