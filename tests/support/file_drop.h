// Drops local files on a widget as the desktop's file manager does: a drag
// entering with the files' URLs, then the drop. Header-only, for window tests.
#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QList>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

namespace lmtest {

inline void DropFiles(QWidget* target, const QStringList& files) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& f : files) urls << QUrl::fromLocalFile(f);
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted()) << target->objectName().toStdString();
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  EXPECT_TRUE(drop.isAccepted()) << target->objectName().toStdString();
}

}  // namespace lmtest
