#include "util/ui/typing_limit.h"

#include <algorithm>

#include <QLineEdit>
#include <QObject>

#include "util/message_box.h"
#include "util/text_file.h"

namespace lm {

namespace {

// Watches the user's edits of one box (textEdited is not emitted for texts
// the program sets) and lets the guard take an edit back.
class EditGuard : public QObject {
 public:
  explicit EditGuard(QLineEdit* box) : QObject(box), box_(box) {
    previous_ = box->text();
    // textEdited comes before textChanged, so previous_ still holds the text before the edit.
    connect(box, &QLineEdit::textEdited, this, [this](const QString& text) {
      if (box_->text() == text) Check(text);  // unless another guard took the edit back already
    });
    connect(box, &QLineEdit::textChanged, this, [this] { previous_ = box_->text(); });
  }

 protected:
  // Looks at an edit that made the box's text `text`.
  virtual void Check(const QString& text) = 0;
  const QString& Previous() const { return previous_; }
  // Puts the text back as it was before the edit that made `edited`, with
  // the cursor where the edit began.
  void TakeBack(const QString& edited) {
    const QString before = previous_;
    qsizetype start = 0;
    while (start < before.size() && start < edited.size() && before.at(start) == edited.at(start)) ++start;
    box_->setText(before);
    box_->setCursorPosition(static_cast<int>(start));
  }

 private:
  QLineEdit* box_;
  QString previous_;
};

// Takes back an edit that makes a text longer than the limit. A text already
// past the limit can still be shortened.
class LengthGuard final : public EditGuard {
 public:
  LengthGuard(int maxLength, QLineEdit* box) : EditGuard(box), max_(maxLength) {
    setObjectName(QStringLiteral("TypingLimit"));
  }
  int Max() const { return max_; }

 private:
  void Check(const QString& text) override {
    if (text.size() > max_ && text.size() > Previous().size()) TakeBack(text);
  }

  int max_;
};

// The part of `now` that an edit of `before` put in: what lies between the
// longest common start and the longest common end, widened so that it never
// splits a surrogate pair.
QString InsertedText(const QString& before, const QString& now) {
  qsizetype start = 0;
  const qsizetype shorter = std::min(before.size(), now.size());
  while (start < shorter && before.at(start) == now.at(start)) ++start;
  if (start > 0 && start < now.size() && now.at(start).isLowSurrogate()) --start;
  qsizetype end = 0;  // characters in common at the end
  while (end < shorter - start && before.at(before.size() - 1 - end) == now.at(now.size() - 1 - end)) ++end;
  qsizetype stop = now.size() - end;
  if (stop > start && stop < now.size() && now.at(stop).isLowSurrogate()) ++stop;
  return now.mid(start, stop - start);
}

// Takes back an edit that brings in a character Shift-JIS cannot hold.
class ShiftJisGuard final : public EditGuard {
 public:
  explicit ShiftJisGuard(QLineEdit* box) : EditGuard(box) {}

 private:
  void Check(const QString& text) override {
    const QString bad = FirstNotEncodable(InsertedText(Previous(), text));
    if (bad.isEmpty()) return;
    TakeBack(text);
    MsgBox(NonShiftJisTypingMessage(bad), style::OkOnly);
  }
};

}  // namespace

QString NonShiftJisTypingMessage(const QString& c) {
  return QStringLiteral("「%1」はShift-JISで表せない文字のため入力できません。").arg(c);
}

void RefuseNonShiftJisTyping(QLineEdit* box) { new ShiftJisGuard(box); }

void SetTypingLimit(QLineEdit* box, int maxLength) { new LengthGuard(maxLength, box); }

int TypingLimit(const QLineEdit* box) {
  const auto* guard = box->findChild<const LengthGuard*>(QStringLiteral("TypingLimit"), Qt::FindDirectChildrenOnly);
  return guard ? guard->Max() : 0;
}

}  // namespace lm
