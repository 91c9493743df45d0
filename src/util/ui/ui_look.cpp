#include "util/ui/ui_look.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStringList>
#include <QWidget>

namespace lm {

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"),
                    QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP"),
                    QStringLiteral("monospace")});
  font.setPointSize(9);
  return font;
}

void ApplyDialogLook(QWidget* window) {
  QPalette pal = window->palette();
  pal.setColor(QPalette::Window, QColor(QRgb(kDialogGrey)));
  window->setPalette(pal);
  window->setAutoFillBackground(true);
  window->setFont(DialogFont());
}

void SetEntryLook(QWidget* box, bool normal) {
  QPalette pal = box->palette();
  const QColor base = normal ? QApplication::palette().color(QPalette::Active, QPalette::Base)
                             : QColor(QRgb(kDialogGrey));
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    pal.setColor(group, QPalette::Base, base);
  box->setPalette(pal);
  box->setEnabled(normal);
}

void SetGreyBackground(QWidget* box) {
  QPalette pal = box->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    pal.setColor(group, QPalette::Base, QColor(QRgb(kDialogGrey)));
  box->setPalette(pal);
}

}  // namespace lm
