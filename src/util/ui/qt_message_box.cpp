#include "util/ui/qt_message_box.h"

#include <QApplication>
#include <QPushButton>

namespace lm {

MessageBoxLook LookOfStyle(int style) {
  using B = QMessageBox;
  MessageBoxLook look;
  switch (style & 7) {
    case 1: look.buttons = {B::Ok, B::Cancel}; break;
    case 2: look.buttons = {B::Abort, B::Retry, B::Ignore}; break;
    case 3: look.buttons = {B::Yes, B::No, B::Cancel}; break;
    case 4: look.buttons = {B::Yes, B::No}; break;
    case 5: look.buttons = {B::Retry, B::Cancel}; break;
    default: look.buttons = {B::Ok}; break;
  }
  switch (style & 0x70) {
    case 16: look.icon = B::Critical; break;
    case 32: look.icon = B::Question; break;
    case 48: look.icon = B::Warning; break;
    case 64: look.icon = B::Information; break;
    default: look.icon = B::NoIcon; break;
  }
  look.defaultButton = (style & 0x300) == style::DefaultSecond && look.buttons.size() > 1 ? look.buttons[1]
                                                                                          : look.buttons.first();
  return look;
}

QString ButtonCaption(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Cancel: return QStringLiteral("キャンセル");
    case QMessageBox::Abort: return QStringLiteral("中止(&A)");
    case QMessageBox::Retry: return QStringLiteral("再試行(&R)");
    case QMessageBox::Ignore: return QStringLiteral("無視(&I)");
    case QMessageBox::Yes: return QStringLiteral("はい(&Y)");
    case QMessageBox::No: return QStringLiteral("いいえ(&N)");
    default: return QStringLiteral("OK");
  }
}

int ButtonNumber(QMessageBox::StandardButton pressed) {
  switch (pressed) {
    case QMessageBox::Ok: return button::OK;
    case QMessageBox::Cancel: return button::Cancel;
    case QMessageBox::Abort: return button::Abort;
    case QMessageBox::Retry: return button::Retry;
    case QMessageBox::Ignore: return button::Ignore;
    case QMessageBox::Yes: return button::Yes;
    case QMessageBox::No: return button::No;
    default: return button::Cancel;
  }
}

int QtMessageBoxSink::Show(const QString& text, int style, const QString& title) {
  const MessageBoxLook look = LookOfStyle(style);
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(title);
  box.setText(MessageTextForDisplay(text));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(look.icon);
  QMessageBox::StandardButtons buttons;
  for (auto b : look.buttons) buttons |= b;
  box.setStandardButtons(buttons);
  for (auto b : look.buttons) box.button(b)->setText(ButtonCaption(b));
  box.setDefaultButton(look.defaultButton);
  // Closing the box without a button counts as its negative answer.
  if (buttons & QMessageBox::Cancel)
    box.setEscapeButton(QMessageBox::Cancel);
  else if (buttons & QMessageBox::No)
    box.setEscapeButton(QMessageBox::No);
  else if (buttons & QMessageBox::Ignore)
    box.setEscapeButton(QMessageBox::Ignore);
  else
    box.setEscapeButton(QMessageBox::Ok);
  box.exec();
  auto* clicked = box.clickedButton();
  if (!clicked) return ButtonNumber(look.buttons.size() == 1 ? look.buttons.first()
                                                             : QMessageBox::Cancel);
  return ButtonNumber(box.standardButton(clicked));
}

}  // namespace lm
