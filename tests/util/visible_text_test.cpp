// Escaping texts from outside for display.
#include <gtest/gtest.h>

#include "util/text/visible_text.h"

namespace {

TEST(VisibleText, EscapesControlsAndStrayBytesKeepsTheRest) {
  struct Case {
    const char* what;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"plain text with a backslash", "SAMPLE\\dat\\a.txt", "SAMPLE\\dat\\a.txt"},
      {"Japanese and half-width kana", "日本語ｽｸﾘﾌﾟﾄ", "日本語ｽｸﾘﾌﾟﾄ"},
      {"CR LF", "a\r\nb", "a\\x0D\\x0Ab"},
      {"terminal escape", "\x1B[2Jx", "\\x1B[2Jx"},
      {"NUL, TAB, DEL", std::string("a\0b\tc\x7F", 6), "a\\x00b\\x09c\\x7F"},
      {"C1 control (CSI)", "a\xC2\x9B" "2J", "a\\u009B2J"},
      {"NEL", "\xC2\x85", "\\u0085"},
      {"line and paragraph separators", "a\xE2\x80\xA8" "b\xE2\x80\xA9", "a\\u2028b\\u2029"},
      {"non-breaking space stays", "a\xC2\xA0" "b", "a\xC2\xA0" "b"},
      {"raw Shift-JIS so (83 5C)", "\x83\x5C.txt", "\\x83\\.txt"},
      {"cut-off UTF-8", "ab\xE6\x97", "ab\\xE6\\x97"},
      {"overlong slash", "\xC0\xAF", "\\xC0\\xAF"},
      {"surrogate half", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
      {"four-byte character stays", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(visible::Escape(c.in), c.out);
    EXPECT_EQ(visible::IsPrintable(c.in), c.in == c.out);
    EXPECT_TRUE(visible::IsPrintable(visible::Escape(c.in)));
  }
}

}  // namespace

#include <QString>

#include "util/visible.h"

namespace {

TEST(VisibleText, QtTextsKeepLineBreaksOnlyWhenTheyHoldSeveralLines) {
  const QString reply = QStringLiteral("550 no\x1B[2J file\r\n550 second line\nthird\rX");
  EXPECT_EQ(lm::Visible(reply), QStringLiteral("550 no\\x1B[2J file\\x0D\\x0A550 second line\\x0Athird\\x0DX"));
  EXPECT_EQ(lm::VisibleLines(reply), QStringLiteral("550 no\\x1B[2J file\r\n550 second line\nthird\\x0DX"));
  EXPECT_EQ(lm::Visible(QStringLiteral("\\日本\\語.txt")), QStringLiteral("\\日本\\語.txt"));
}

}  // namespace
