// The next-update date and time typed into the main window.
#pragma once

#include <cstdint>

#include <QDateTime>
#include <QString>

#include "index/index_writer.h"

namespace lm {

// Reads the five boxes; on 0 sets `value` ("2004 3 1 9 0 "), otherwise shows
// the message, focuses the box and returns the status (-1..-5, -9). A box
// that is empty, holds anything but digits or a number beyond the 16-bit
// range is reported with its own status.
int16_t ReadNextUpdate(NextUpdateBoxes& boxes, QString& value);

// Checks a date and time against the calendar and the present local time.
int16_t CheckNextUpdate(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute);
// The same against a given present local time (to the second).
int16_t CheckNextUpdateAt(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute,
                          const QDateTime& now);

// The message of a status and the box that gets the focus for it.
QString NextUpdateMessage(int16_t status);
DateBox NextUpdateFocusBox(int16_t status);

// The number a box holds: digits (ASCII or full-width) with blanks around
// them allowed. False for an empty box, any other character, or a number
// beyond 32767.
bool ParseDateBox(const QString& text, int16_t& value);

// "2004 3 1 9 0 ": the five numbers without leading zeros, each followed by a blank.
QString FormatNextUpdate(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute);

}  // namespace lm
