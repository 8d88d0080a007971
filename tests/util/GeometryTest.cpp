#include "util/Geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(ProportionalSizeTest, FitsKeepingTheAspectRatio) {
  struct Case {
    util::TPoint picture, box, expected;
  };
  const Case cases[] = {
      {{700, 350}, {175, 175}, {175, 87}},
      {{40, 20}, {175, 175}, {174, 87}},  // enlarged by 437 %
      {{0, 100}, {175, 175}, {0, 0}},
      {{100, 0}, {175, 175}, {0, 0}},
      {{175, 175}, {175, 175}, {175, 175}},
      {{3000, 4000}, {175, 175}, {120, 160}},
  };
  for (const Case& c : cases) {
    util::TPoint result{-1, -1};
    util::ProportionalSize(c.picture, c.box, result);
    EXPECT_EQ(result, c.expected) << c.picture.X << "x" << c.picture.Y;
  }
}

}  // namespace
