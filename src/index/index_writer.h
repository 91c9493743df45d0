// Writing the update definition files index.fet and indextmp.fet.
#pragma once

#include <cstdint>

#include <QString>

namespace lm {

// The five next-update boxes of the main window, in the order year, month,
// day, hour, minute.
enum class DateBox { Year = 0, Month = 1, Day = 2, Hour = 3, Minute = 4 };

class NextUpdateBoxes {
 public:
  virtual ~NextUpdateBoxes() = default;
  virtual QString BoxText(DateBox box) const = 0;
  virtual void FocusBox(DateBox box) = 0;  // also selects the box's whole text
};

// What the index writer touches in the main window besides the date boxes:
// the execute button Command1 and the list List1.
class IndexRunView {
 public:
  virtual ~IndexRunView() = default;
  virtual void SetExecuteEnabled(bool enabled) = 0;
  virtual void ClearList() = 0;
  virtual void AddListLine(const QString& line) = 0;
};

// Reads and checks the next-update boxes, then writes the current profile's
// index files. mode 0 shows the success message, mode 1 does not. 0 on
// success, -1 on failure (after its message).
int16_t WriteIndexForProfile(int16_t mode, NextUpdateBoxes& boxes, IndexRunView& view);

// Scans datDir (with trailing separator) and writes its index files; 0 or -9.
int16_t WriteIndexFiles(const QString& datDir, const QString& nextUpdate, int16_t mode,
                        IndexRunView& view);

}  // namespace lm
