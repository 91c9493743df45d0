// A temporary directory for a test, with helpers to build file trees in it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

namespace lmtest {

class TempTree {
 public:
  TempTree();
  // Absolute path of `rel` inside the tree ("" gives the root, no trailing "/").
  QString Path(const QString& rel = QString()) const;
  // Creates the file (and its parent directories) with the given bytes.
  QString WriteFile(const QString& rel, const QByteArray& bytes = QByteArray());
  QString MakeDir(const QString& rel);
  QByteArray ReadFile(const QString& rel) const;
  // Sets the last-write time (local time) of an entry.
  void SetModified(const QString& rel, const QDateTime& local);

 private:
  QTemporaryDir dir_;
};

}  // namespace lmtest
