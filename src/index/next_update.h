// The next-update date and time typed into the main window.
#pragma once

#include <cstdint>

#include <QString>

#include "index/index_writer.h"

namespace lm {

// Reads the five boxes; on 0 sets `value` ("2004 3 1 9 0 "), otherwise shows
// the message, focuses the box and returns the status (-1..-5, -9).
int16_t ReadNextUpdate(NextUpdateBoxes& boxes, QString& value);

// Checks a date and time against the calendar and the present local time.
int16_t CheckNextUpdate(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute);

}  // namespace lm
