// Lossy Shift-JIS decoding for display: each byte that starts no character
// becomes U+FFFD and decoding goes on from the next byte; strict decoding
// still refuses such text and names the offset of the first bad byte.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/restarting_decode.h"
#include "util/cp932/cp932.h"

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct LossyCase {
  const char* what;
  std::string sjis;
  std::string utf8;
};

TEST(Cp932Lossy, DecodesMixedGoodAndBadBytesAgainstTable) {
  const LossyCase cases[] = {
      {"empty", "", ""},
      {"plain ASCII", "index.fet", "index.fet"},
      {"two-byte kanji and kana", "\x93\xFA\x96\x7B\x83\x5C", "日本ソ"},
      {"half-width kana", "\xBD\xB8\xD8", "ｽｸﾘ"},
      {"one bad byte alone", "\x80", kFffd},
      {"bad byte between good text", "a\x80" "b", "a" + kFffd + "b"},
      {"bad bytes in a row", "\x80\x80\x80", kFffd + kFffd + kFffd},
      {"bad byte between kanji", "\x83\x5C\x80\x83\x5C", "ソ" + kFffd + "ソ"},
      {"lead byte cut off at the end", "ab\x83", "ab" + kFffd},
      {"lead byte before a byte that cannot follow it", "\x83\x20" "c", kFffd + " c"},
      {"lead byte before a line break", "\x93\r\n", kFffd + "\r\n"},
      {"lead byte before DEL, which cannot follow it", "\x83\x7F", kFffd + "\x7F"},
      {"good text after many bad bytes", std::string(1000, '\x80') + "\x93\xFA",
       [] {
         std::string s;
         for (int i = 0; i < 1000; ++i) s += kFffd;
         return s + "日";
       }()},
  };
  for (const LossyCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(cp932::ToUtf8Lossy(c.sjis), c.utf8);
  }
}

TEST(Cp932Lossy, AgreesWithRestartingStrictDecodingOnRandomBytes) {
  std::mt19937 rng(932);
  for (int round = 0; round < 300; ++round) {
    std::string bytes(rng() % 64, '\0');
    for (char& b : bytes) {
      // Bias towards lead bytes and the bytes that follow them.
      const unsigned r = rng() % 4;
      b = static_cast<char>(r == 0 ? 0x81 + rng() % 0x1F : r == 1 ? 0x40 + rng() % 0xBD : rng() % 256);
    }
    SCOPED_TRACE(round);
    EXPECT_EQ(cp932::ToUtf8Lossy(bytes), lmtest::DecodeByRestarting(bytes));
  }
}

TEST(Cp932Lossy, LongRunOfBadBytesKeepsOneReplacementEach) {
  const std::string bad(256 * 1024, '\x80');
  const std::string text = cp932::ToUtf8Lossy("<" + bad + ">");
  ASSERT_EQ(text.size(), 2 + bad.size() * kFffd.size());
  EXPECT_EQ(text.front(), '<');
  EXPECT_EQ(text.back(), '>');
  EXPECT_EQ(text.substr(1, 3), kFffd);
}

TEST(Cp932Lossy, StrictDecodingStillRefusesAndNamesTheBadOffset) {
  std::string out = "left over";
  std::size_t bad = 99;
  EXPECT_FALSE(cp932::ToUtf8("ab\x93\xFA\x80" "c", out, &bad));
  EXPECT_EQ(bad, 4u);
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(cp932::ToUtf8("\x93\xFA\x96\x7B", out, &bad));
  EXPECT_EQ(out, "日本");
}

}  // namespace
