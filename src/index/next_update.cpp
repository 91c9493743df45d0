#include "index/next_update.h"

#include "util/message_box.h"
#include "util/trim_blanks.h"

namespace lm {
namespace {

bool IsLeapYear(int year) {
  if (year % 400 == 0) return true;
  if (year % 100 == 0) return false;
  return year % 4 == 0;
}

int DaysInMonth(int year, int month) {
  switch (month) {
    case 2:
      return IsLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    default:
      return 31;
  }
}

}  // namespace

bool ParseDateBox(const QString& text, int16_t& value) {
  const QString digits = TrimBlanks(text);
  if (digits.isEmpty()) return false;
  int v = 0;
  for (const QChar ch : digits) {
    const char16_t c = ch.unicode();
    int digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= 0xFF10 && c <= 0xFF19) {  // full-width digits, as a Japanese IME types them
      digit = c - 0xFF10;
    } else {
      return false;
    }
    v = v * 10 + digit;
    if (v > 32767) return false;
  }
  value = static_cast<int16_t>(v);
  return true;
}

QString FormatNextUpdate(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute) {
  return QStringLiteral("%1 %2 %3 %4 %5 ").arg(year).arg(month).arg(day).arg(hour).arg(minute);
}

int16_t CheckNextUpdateAt(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute,
                          const QDateTime& now) {
  const QDate today = now.date();
  if (year < today.year() || year > 2099) return -1;
  if (month < 1 || month > 12) return -2;
  if (day < 1 || day > 31) return -3;
  if (day > DaysInMonth(year, month)) return -3;
  if (hour < 0 || hour > 23) return -4;
  if (minute < 0 || minute > 59) return -5;
  // Both moments are compared as plain local calendar times, to the second.
  const QDate targetDate(year, month, day);
  const QTime targetTime(hour, minute, 0);
  const QTime nowTime = now.time();
  const QTime nowSecond(nowTime.hour(), nowTime.minute(), nowTime.second());
  if (today > targetDate || (today == targetDate && nowSecond >= targetTime)) return -9;
  return 0;
}

int16_t CheckNextUpdate(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute) {
  return CheckNextUpdateAt(year, month, day, hour, minute, QDateTime::currentDateTime());
}

QString NextUpdateMessage(int16_t status) {
  switch (status) {
    case -1:
      return QStringLiteral("年に誤りがあります。");
    case -2:
      return QStringLiteral("月に誤りがあります。");
    case -3:
      return QStringLiteral("日に誤りがあります。");
    case -4:
      return QStringLiteral("時刻に誤りがあります。");
    case -5:
      return QStringLiteral("分に誤りがあります。");
    case -9:
      return QStringLiteral("次回更新日付の指定に矛盾があります。");
    default:
      return QString();
  }
}

DateBox NextUpdateFocusBox(int16_t status) {
  switch (status) {
    case -2:
      return DateBox::Month;
    case -3:
      return DateBox::Day;
    case -4:
      return DateBox::Hour;
    case -5:
      return DateBox::Minute;
    default:
      return DateBox::Year;
  }
}

int16_t ReadNextUpdate(NextUpdateBoxes& boxes, QString& value) {
  // A box that holds no usable number gets -1, a value that fails its own
  // row's range test, so the first wrong box in row order is the one reported.
  int16_t v[5];
  for (int i = 0; i < 5; ++i) {
    if (!ParseDateBox(boxes.BoxText(static_cast<DateBox>(i)), v[i])) v[i] = -1;
  }
  const int16_t status = CheckNextUpdate(v[0], v[1], v[2], v[3], v[4]);
  if (status == 0) {
    value = FormatNextUpdate(v[0], v[1], v[2], v[3], v[4]);
    return 0;
  }
  MsgBox(NextUpdateMessage(status), style::OkOnly, kAppTitle);
  boxes.FocusBox(NextUpdateFocusBox(status));
  return status;
}

}  // namespace lm
