// Twips to pixels: the one conversion every window uses.
#include <gtest/gtest.h>

#include "util/ui/ui_look.h"

namespace {

TEST(Twips, GoToTheNearestPixelOnBothSidesOfZero) {
  struct Case {
    int twips;
    int pixels;
  } cases[] = {{0, 0}, {7, 0}, {8, 1}, {15, 1}, {22, 1}, {23, 2}, {6450, 430}, {-7, 0}, {-8, -1}, {-60, -4}};
  for (const Case& c : cases) {
    EXPECT_EQ(lm::Twips(c.twips), c.pixels) << c.twips;
    EXPECT_EQ(lm::Twips(-c.twips), -c.pixels) << -c.twips;
  }
  // Whole pixels stay exact, so a layout given in them does not move.
  for (int px = -5; px <= 400; ++px) EXPECT_EQ(lm::Twips(px * 15), px);
  EXPECT_EQ(lm::TwipRect(1740, -60, 555, 315), QRect(116, -4, 37, 21));
}

}  // namespace
