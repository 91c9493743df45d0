#include "util/ui/typing_limit.h"

#include <QLineEdit>
#include <QObject>

namespace lm {

namespace {

// Watches the user's edits of one box (textEdited is not emitted for texts
// the program sets) and takes back an edit that makes a text longer than the
// limit. A text already past the limit can still be shortened.
class LengthGuard final : public QObject {
 public:
  LengthGuard(int maxLength, QLineEdit* box) : QObject(box), box_(box), max_(maxLength) {
    setObjectName(QStringLiteral("TypingLimit"));
    previous_ = box->text();
    // textEdited comes before textChanged, so previous_ still holds the text before the edit.
    connect(box, &QLineEdit::textEdited, this, [this](const QString& text) { Check(text); });
    connect(box, &QLineEdit::textChanged, this, [this] {
      previous_ = box_->text();
      cursor_ = box_->cursorPosition();
    });
    connect(box, &QLineEdit::cursorPositionChanged, this, [this](int, int now) { cursor_ = now; });
  }
  int Max() const { return max_; }

 private:
  void Check(const QString& text) {
    if (text.size() <= max_ || text.size() <= previous_.size()) return;
    const QString before = previous_;
    const int cursor = cursor_;
    box_->setText(before);
    box_->setCursorPosition(cursor);
  }

  QLineEdit* box_;
  int max_;
  QString previous_;
  int cursor_ = 0;
};

}  // namespace

void SetTypingLimit(QLineEdit* box, int maxLength) { new LengthGuard(maxLength, box); }

int TypingLimit(const QLineEdit* box) {
  const auto* guard = box->findChild<const LengthGuard*>(QStringLiteral("TypingLimit"), Qt::FindDirectChildrenOnly);
  return guard ? guard->Max() : 0;
}

}  // namespace lm
