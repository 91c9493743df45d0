// A message-box sink for tests: records every box and answers from a script.
//
//   lmtest::ScriptedMessageBox boxes;          // installs itself
//   boxes.Answer(lm::button::Yes);             // next question gets Yes
//   ... run the code ...
//   EXPECT_EQ(boxes.Texts(), QStringList{...});
//
// A box with only an OK button is answered OK without a script. A question
// (Yes/No, Retry/Cancel, ...) without a scripted answer fails the test and
// gets the negative answer.
#pragma once

#include <deque>
#include <vector>

#include <QString>
#include <QStringList>

#include "util/message_box.h"

namespace lmtest {

struct ShownBox {
  QString text;
  int style = 0;
  QString title;
};

class ScriptedMessageBox final : public lm::MessageBoxSink {
 public:
  ScriptedMessageBox();
  ~ScriptedMessageBox() override;

  int Show(const QString& text, int style, const QString& title) override;

  void Answer(int button) { answers_.push_back(button); }
  const std::vector<ShownBox>& Shown() const { return shown_; }
  QStringList Texts() const;
  void Clear() { shown_.clear(); }

 private:
  lm::MessageBoxSink* previous_;
  std::deque<int> answers_;
  std::vector<ShownBox> shown_;
};

}  // namespace lmtest
