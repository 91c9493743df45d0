// The status codes and the Basic truth values of the archive builders are
// different types: -1 means failure as a status and success as a truth
// value, so neither may stand for the other.
#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

#include "util/status.h"

namespace {

template <typename A, typename B>
concept Comparable = requires(A a, B b) { a == b; };

static_assert(!std::is_convertible_v<lm::VbBool, int16_t>, "a truth value is not a status");
static_assert(!std::is_convertible_v<int16_t, lm::VbBool>, "a status is not a truth value");
static_assert(!std::is_convertible_v<lm::VbBool, bool>, "a truth value is read with IsVbTrue");
static_assert(!Comparable<lm::VbBool, int16_t>, "kFailed == kVbTrue must not compile");
static_assert(!Comparable<lm::VbBool, int>);
static_assert(Comparable<lm::VbBool, lm::VbBool>);
static_assert(sizeof(lm::VbBool) == 2, "16 bits, as the Basic functions answered");

TEST(StatusTest, TruthValuesKeepTheirBasicNumbers) {
  struct Case {
    bool value;
    lm::VbBool vb;
    int16_t number;
  } cases[] = {{true, lm::kVbTrue, -1}, {false, lm::kVbFalse, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(lm::ToVbBool(c.value), c.vb);
    EXPECT_EQ(lm::IsVbTrue(c.vb), c.value);
    EXPECT_EQ(static_cast<int16_t>(c.vb), c.number);
  }
  // Any non-zero number read back as a truth value is true, as in Basic.
  EXPECT_TRUE(lm::IsVbTrue(static_cast<lm::VbBool>(1)));
  EXPECT_EQ(lm::kOk, 0);
  EXPECT_EQ(lm::kFailed, -1);
  EXPECT_EQ(lm::kAborted, 1);
}

}  // namespace
