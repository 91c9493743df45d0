// The message-box sink of the running program: draws each box with
// QMessageBox. The style number chooses the buttons (low three bits) and the
// icon (16 stop, 32 question, 48 exclamation, 64 information); CR in the text
// becomes a line break.
#pragma once

#include <QFontMetrics>
#include <QList>
#include <QMessageBox>

#include "util/message_box.h"

namespace lm {

// The buttons, icon and default button a style number asks for; the first
// button is the default unless the style adds 256 (the second one).
struct MessageBoxLook {
  QList<QMessageBox::StandardButton> buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
};
MessageBoxLook LookOfStyle(int style);

// The caption a button bears: the texts of the Japanese desktop's message
// boxes ("はい(&Y)", "キャンセル", ...), whatever language Qt itself speaks.
QString ButtonCaption(QMessageBox::StandardButton button);

// The classic button number (button::OK, button::Yes, ...) of a pressed button.
int ButtonNumber(QMessageBox::StandardButton pressed);

// The text of a box cut to at most `maxHeight` pixels when its lines are
// wrapped at `width` pixels in `metrics`: the lines that do not fit give way
// to one last line "…（ほか N 行）", and a single line too long for the
// whole height is cut and ends in "…". A text that fits comes back as it is.
QString TextThatFits(const QString& text, const QFontMetrics& metrics, int width, int maxHeight);

class QtMessageBoxSink final : public MessageBoxSink {
 public:
  int Show(const QString& text, int style, const QString& title) override;
};

}  // namespace lm
