// Stand-ins for the main window's date boxes, execute button and list.
#pragma once

#include <array>
#include <ostream>
#include <vector>

#include <QString>
#include <QStringList>

#include "index/index_writer.h"

// Lets GoogleTest print texts (and lists of them) readably.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace lmtest {

class FakeDateBoxes final : public lm::NextUpdateBoxes {
 public:
  FakeDateBoxes(const QString& y, const QString& mo, const QString& d, const QString& h,
                const QString& mi)
      : texts_{y, mo, d, h, mi} {}
  QString BoxText(lm::DateBox box) const override { return texts_[static_cast<int>(box)]; }
  void FocusBox(lm::DateBox box) override { focused.push_back(box); }

  std::vector<lm::DateBox> focused;

 private:
  std::array<QString, 5> texts_;
};

class FakeRunView final : public lm::IndexRunView {
 public:
  void SetExecuteEnabled(bool enabled) override { enabledCalls.push_back(enabled); }
  void ClearList() override {
    list.clear();
    ++clears;
  }
  void AddListLine(const QString& line) override { list.append(line); }

  std::vector<bool> enabledCalls;
  QStringList list;
  int clears = 0;
};

}  // namespace lmtest
