#include "shell/ui/digit_box.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace lm {
namespace {

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

}  // namespace

DigitBox::DigitBox(QWidget* parent) : QLineEdit(parent) {
  // Full-width digits from an input method are not digits here.
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setAcceptDrops(false);
}

void DigitBox::InsertDigits(const QString& text) {
  QString digits;
  for (QChar c : text)
    if (IsDigit(c)) digits += c;
  if (!digits.isEmpty()) insert(digits);
}

void DigitBox::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    if (!isReadOnly()) InsertDigits(QApplication::clipboard()->text());
    return;
  }
  const QString t = event->text();
  const bool typesCharacter = !t.isEmpty() && t.at(0).isPrint();
  if (typesCharacter) {
    for (QChar c : t) {
      if (!IsDigit(c)) {
        event->accept();  // discarded
        return;
      }
    }
  }
  QLineEdit::keyPressEvent(event);
}

void DigitBox::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the X selection: only its digits.
  if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
    if (!isReadOnly()) {
      setCursorPosition(cursorPositionAt(event->position().toPoint()));
      InsertDigits(QApplication::clipboard()->text(QClipboard::Selection));
    }
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void DigitBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  if (QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
    disconnect(paste, nullptr, nullptr, nullptr);
    connect(paste, &QAction::triggered, this,
            [this] { InsertDigits(QApplication::clipboard()->text()); });
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

}  // namespace lm
