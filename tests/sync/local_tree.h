// A folder's whole tree as a value, for comparing what a server holds with
// what was sent.
#pragma once

#include <map>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace lmtest {

// Every entry below `root` by relative path (folders with a trailing "/",
// mapped to nothing) with its bytes.
inline std::map<QString, QByteArray> TreeOf(const QString& root) {
  std::map<QString, QByteArray> out;
  QDirIterator it(root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString rel = QDir(root).relativeFilePath(path);
    if (it.fileInfo().isDir()) {
      out[rel + QLatin1Char('/')] = QByteArray();
    } else {
      QFile f(path);
      EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
      out[rel] = f.readAll();
    }
  }
  return out;
}

}  // namespace lmtest
