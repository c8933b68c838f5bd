#include <gtest/gtest.h>

#include "app/Globals.h"

TEST(Flags, TextsAreTheListTexts) {
  EXPECT_STREQ(ravel::TextOf(ravel::Flag::NotApplicable), "N/A");
  EXPECT_STREQ(ravel::TextOf(ravel::Flag::Empty), "");
  EXPECT_STREQ(ravel::TextOf(true), "True");
}
