// The five next-update boxes of the main window (Text1, Text2, Text3, Text5,
// Text6): filled by the profile actions, read by the index writer.
#pragma once

namespace lm {

enum class DateBox { Year = 0, Month = 1, Day = 2, Hour = 3, Minute = 4 };
constexpr int kNextUpdateBoxCount = 5;

// The box at position 0..4 of the order above.
constexpr DateBox DateBoxOfPosition(int position) { return static_cast<DateBox>(position); }

}  // namespace lm
