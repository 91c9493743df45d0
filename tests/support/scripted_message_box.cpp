#include "support/scripted_message_box.h"

#include <gtest/gtest.h>

namespace lmtest {

ScriptedMessageBox::ScriptedMessageBox() : previous_(lm::CurrentMessageBoxSink()) {
  lm::SetMessageBoxSink(this);
}

ScriptedMessageBox::~ScriptedMessageBox() {
  lm::SetMessageBoxSink(previous_);
}

int ScriptedMessageBox::Show(const QString& text, int style, const QString& title) {
  shown_.push_back({text, style, title});
  if (!answers_.empty()) {
    int a = answers_.front();
    answers_.pop_front();
    return a;
  }
  switch (style & 7) {
    case 0: return lm::button::OK;
    case 4:
      ADD_FAILURE() << "unscripted Yes/No question: " << text.toStdString();
      return lm::button::No;
    default:
      ADD_FAILURE() << "unscripted question (style " << style << "): " << text.toStdString();
      return lm::button::Cancel;
  }
}

QStringList ScriptedMessageBox::Texts() const {
  QStringList out;
  for (const auto& b : shown_) out << b.text;
  return out;
}

}  // namespace lmtest
