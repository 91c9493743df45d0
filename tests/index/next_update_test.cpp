// The next-update boxes: parsing, the calendar and range checks, messages and focus.
#include <gtest/gtest.h>

#include "index/index_fakes.h"
#include "index/next_update.h"
#include "support/scripted_message_box.h"

namespace {

using lm::DateBox;

const QDateTime kNow(QDate(2003, 6, 15), QTime(12, 30, 45));

struct CheckCase {
  const char* what;
  int year, month, day, hour, minute;
  int16_t expected;
};

TEST(CheckNextUpdate, CalendarRangesAndPresentTime) {
  const CheckCase cases[] = {
      {"29 Feb of a leap year", 2004, 2, 29, 0, 0, 0},
      {"29 Feb of a year divisible by 400", 2000, 2, 29, 0, 0, 0},  // checked against a 1999 clock below
      {"29 Feb of a common year", 2005, 2, 29, 0, 0, -3},
      {"28 Feb of a common year", 2005, 2, 28, 23, 59, 0},
      {"year 2100 fails as a year first", 2100, 2, 29, 0, 0, -1},
      {"year 2099 is the last", 2099, 12, 31, 23, 59, 0},
      {"31 April", 2004, 4, 31, 0, 0, -3},
      {"31 May", 2004, 5, 31, 0, 0, 0},
      {"30 June", 2004, 6, 30, 0, 0, 0},
      {"31 June", 2004, 6, 31, 0, 0, -3},
      {"31 September", 2004, 9, 31, 0, 0, -3},
      {"31 November", 2004, 11, 31, 0, 0, -3},
      {"31 December", 2004, 12, 31, 0, 0, 0},
      {"day 0", 2004, 1, 0, 0, 0, -3},
      {"day 32", 2004, 1, 32, 0, 0, -3},
      {"month 0", 2004, 0, 1, 0, 0, -2},
      {"month 13", 2004, 13, 1, 0, 0, -2},
      {"hour 24", 2004, 1, 1, 24, 0, -4},
      {"hour -1", 2004, 1, 1, -1, 0, -4},
      {"minute 60", 2004, 1, 1, 0, 60, -5},
      {"minute -1", 2004, 1, 1, 0, -1, -5},
      {"a past year even when all else is valid", 2002, 12, 31, 23, 59, -1},
      {"present year, past month: a contradiction, not a month error", 2003, 5, 1, 0, 0, -9},
      {"present day, earlier hour", 2003, 6, 15, 11, 59, -9},
      {"the present minute is always rejected", 2003, 6, 15, 12, 30, -9},
      {"the next minute", 2003, 6, 15, 12, 31, 0},
      {"tomorrow at midnight", 2003, 6, 16, 0, 0, 0},
      {"the month test comes before the present-time test", 2003, 13, 1, 0, 0, -2},
      {"the day test comes before the hour test", 2004, 2, 30, 25, 0, -3},
      {"the hour test comes before the minute test", 2004, 2, 1, 25, 99, -4},
  };
  for (const CheckCase& c : cases) {
    const QDateTime now = c.year == 2000 ? QDateTime(QDate(1999, 1, 1), QTime(0, 0)) : kNow;
    EXPECT_EQ(lm::CheckNextUpdateAt(c.year, c.month, c.day, c.hour, c.minute, now), c.expected)
        << c.what;
  }
}

TEST(CheckNextUpdate, TargetEqualToNowToTheSecondIsRejected) {
  const QDateTime onTheMinute(QDate(2010, 1, 1), QTime(8, 0, 0));
  EXPECT_EQ(lm::CheckNextUpdateAt(2010, 1, 1, 8, 0, onTheMinute), -9);
  EXPECT_EQ(lm::CheckNextUpdateAt(2010, 1, 1, 8, 1, onTheMinute), 0);
  const QDateTime justBefore(QDate(2010, 1, 1), QTime(7, 59, 59, 999));
  EXPECT_EQ(lm::CheckNextUpdateAt(2010, 1, 1, 8, 0, justBefore), 0);
}

TEST(CheckNextUpdate, UsesThePresentClock) {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  EXPECT_EQ(lm::CheckNextUpdate(d.year(), d.month(), d.day(), now.time().hour(), now.time().minute()),
            -9);
  const int16_t future = static_cast<int16_t>(d.year() + 1);
  EXPECT_EQ(lm::CheckNextUpdate(future, 1, 1, 0, 0), future > 2099 ? -1 : 0);
}

TEST(ParseDateBox, AcceptsDigitsOnly) {
  struct Case {
    QString text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {QStringLiteral("7"), true, 7},
      {QStringLiteral("07"), true, 7},
      {QStringLiteral(" 2004 "), true, 2004},
      {QStringLiteral("\u3000" "12"), true, 12},
      {QStringLiteral("\uFF12\uFF10\uFF10\uFF14"), true, 2004},  // full-width digits
      {QStringLiteral("0"), true, 0},
      {QStringLiteral("32767"), true, 32767},
      {QStringLiteral("0000000000032767"), true, 32767},
      {QStringLiteral("32768"), false, 0},
      {QStringLiteral("99999999999999999999"), false, 0},
      {QString(), false, 0},
      {QStringLiteral("   "), false, 0},
      {QStringLiteral("-1"), false, 0},
      {QStringLiteral("+1"), false, 0},
      {QStringLiteral("1.5"), false, 0},
      {QStringLiteral("1 2"), false, 0},
      {QStringLiteral("abc"), false, 0},
      {QStringLiteral("\u0661"), false, 0},  // another script's digit
  };
  for (const Case& c : cases) {
    int16_t v = 1234;
    EXPECT_EQ(lm::ParseDateBox(c.text, v), c.ok) << c.text.toStdString();
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text.toStdString();
    }
  }
}

TEST(FormatNextUpdate, NoLeadingZerosAndTrailingBlank) {
  EXPECT_EQ(lm::FormatNextUpdate(2004, 3, 1, 9, 0), QStringLiteral("2004 3 1 9 0 "));
  EXPECT_EQ(lm::FormatNextUpdate(2004, 3, 1, 9, 5), QStringLiteral("2004 3 1 9 5 "));
  EXPECT_EQ(lm::FormatNextUpdate(2099, 12, 31, 23, 59), QStringLiteral("2099 12 31 23 59 "));
}

TEST(ReadNextUpdate, ValidBoxesBuildTheValueWithoutMessage) {
  lmtest::ScriptedMessageBox boxes;
  lmtest::FakeDateBoxes date(QStringLiteral("2090"), QStringLiteral("03"), QStringLiteral("1"),
                             QStringLiteral("09"), QStringLiteral("05"));
  QString value = QStringLiteral("old");
  EXPECT_EQ(lm::ReadNextUpdate(date, value), 0);
  EXPECT_EQ(value, QStringLiteral("2090 3 1 9 5 "));
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_TRUE(date.focused.empty());
}

TEST(ReadNextUpdate, SevenAndZeroSevenGiveTheSameValue) {
  lmtest::ScriptedMessageBox boxes;
  lmtest::FakeDateBoxes a(QStringLiteral("2090"), QStringLiteral("7"), QStringLiteral("7"),
                          QStringLiteral("7"), QStringLiteral("7"));
  lmtest::FakeDateBoxes b(QStringLiteral("2090"), QStringLiteral("07"), QStringLiteral("07"),
                          QStringLiteral("07"), QStringLiteral("07"));
  QString va, vb;
  ASSERT_EQ(lm::ReadNextUpdate(a, va), 0);
  ASSERT_EQ(lm::ReadNextUpdate(b, vb), 0);
  EXPECT_EQ(va, vb);
  EXPECT_EQ(va, QStringLiteral("2090 7 7 7 7 "));
}

struct BoxCase {
  const char* what;
  const char* y;
  const char* mo;
  const char* d;
  const char* h;
  const char* mi;
  int16_t status;
  const char* message;
  DateBox focus;
};

TEST(ReadNextUpdate, EveryStatusShowsItsMessageAndFocusesItsBox) {
  const BoxCase cases[] = {
      {"year before now", "2000", "1", "1", "0", "0", -1, "年に誤りがあります。", DateBox::Year},
      {"year after 2099", "2100", "1", "1", "0", "0", -1, "年に誤りがあります。", DateBox::Year},
      {"month 13", "2090", "13", "1", "0", "0", -2, "月に誤りがあります。", DateBox::Month},
      {"31 April", "2090", "4", "31", "0", "0", -3, "日に誤りがあります。", DateBox::Day},
      {"29 Feb 2091", "2091", "2", "29", "0", "0", -3, "日に誤りがあります。", DateBox::Day},
      {"hour 24", "2090", "1", "1", "24", "0", -4, "時刻に誤りがあります。", DateBox::Hour},
      {"minute 60", "2090", "1", "1", "0", "60", -5, "分に誤りがあります。", DateBox::Minute},
      // Boxes that hold no usable number: each is reported with its own row.
      {"empty year", "", "1", "1", "0", "0", -1, "年に誤りがあります。", DateBox::Year},
      {"letters in the year", "20x0", "1", "1", "0", "0", -1, "年に誤りがあります。", DateBox::Year},
      {"year beyond 16 bits", "40000", "1", "1", "0", "0", -1, "年に誤りがあります。", DateBox::Year},
      {"empty month", "2090", "", "1", "0", "0", -2, "月に誤りがあります。", DateBox::Month},
      {"month beyond 16 bits", "2090", "65537", "1", "0", "0", -2, "月に誤りがあります。",
       DateBox::Month},
      {"empty day", "2090", "1", " ", "0", "0", -3, "日に誤りがあります。", DateBox::Day},
      {"negative day", "2090", "1", "-1", "0", "0", -3, "日に誤りがあります。", DateBox::Day},
      {"empty hour", "2090", "1", "1", "", "0", -4, "時刻に誤りがあります。", DateBox::Hour},
      {"decimal hour", "2090", "1", "1", "1.5", "0", -4, "時刻に誤りがあります。", DateBox::Hour},
      {"empty minute", "2090", "1", "1", "0", "", -5, "分に誤りがあります。", DateBox::Minute},
      {"minute beyond 16 bits", "2090", "1", "1", "0", "99999", -5, "分に誤りがあります。",
       DateBox::Minute},
      {"the first wrong row wins", "2090", "x", "1", "", "", -2, "月に誤りがあります。",
       DateBox::Month},
  };
  for (const BoxCase& c : cases) {
    lmtest::ScriptedMessageBox boxes;
    lmtest::FakeDateBoxes date(QString::fromUtf8(c.y), QString::fromUtf8(c.mo), QString::fromUtf8(c.d),
                               QString::fromUtf8(c.h), QString::fromUtf8(c.mi));
    QString value = QStringLiteral("unchanged");
    EXPECT_EQ(lm::ReadNextUpdate(date, value), c.status) << c.what;
    EXPECT_EQ(value, QStringLiteral("unchanged")) << c.what;
    ASSERT_EQ(boxes.Shown().size(), 1u) << c.what;
    EXPECT_EQ(boxes.Shown()[0].text, QString::fromUtf8(c.message)) << c.what;
    EXPECT_EQ(boxes.Shown()[0].style, 0) << c.what;
    EXPECT_EQ(boxes.Shown()[0].title, QStringLiteral("Loftmark")) << c.what;
    ASSERT_EQ(date.focused.size(), 1u) << c.what;
    EXPECT_EQ(date.focused[0], c.focus) << c.what;
  }
}

TEST(ReadNextUpdate, ThePresentMinuteIsAContradictionFocusingTheYear) {
  lmtest::ScriptedMessageBox boxes;
  const QDateTime now = QDateTime::currentDateTime();
  lmtest::FakeDateBoxes date(QString::number(now.date().year()), QString::number(now.date().month()),
                             QString::number(now.date().day()), QString::number(now.time().hour()),
                             QString::number(now.time().minute()));
  QString value;
  EXPECT_EQ(lm::ReadNextUpdate(date, value), -9);
  EXPECT_TRUE(value.isEmpty());
  EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("次回更新日付の指定に矛盾があります。")});
  ASSERT_EQ(date.focused.size(), 1u);
  EXPECT_EQ(date.focused[0], DateBox::Year);
}

}  // namespace
