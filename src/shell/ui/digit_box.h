// The next-update boxes' entry box: digits only.
#pragma once

#include <QLineEdit>

namespace lm {

// A next-update box: takes only the digits "0"-"9" (typed or pasted) and
// Backspace; every other character is dropped.
class DigitBox : public QLineEdit {
  Q_OBJECT
 public:
  explicit DigitBox(QWidget* parent = nullptr);
  // Inserts the digits of `text` at the cursor; other characters are dropped.
  void InsertDigits(const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace lm
