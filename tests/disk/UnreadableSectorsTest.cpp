// The merged list of unreadable sectors: failed reads add, later good reads take out.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "disk/UnreadableSectors.h"

namespace {

struct Step {
  bool add;
  std::int64_t first, count;
};

struct ListCase {
  const char* name;
  std::vector<Step> steps;
  std::string expected;  // RangesText with ", "
};

class UnreadableSectorsTest : public testing::TestWithParam<ListCase> {};

TEST_P(UnreadableSectorsTest, MergesAndTakesOut) {
  disk::TUnreadableSectors list;
  for (const Step& s : GetParam().steps) {
    if (s.add) {
      list.Add(s.first, s.count);
    } else {
      list.Remove(s.first, s.count);
    }
  }
  EXPECT_EQ(disk::RangesText(list.Ranges(), ", "), GetParam().expected);
  std::int64_t total = 0;
  for (const auto& r : list.Ranges()) total += r.count;
  EXPECT_EQ(list.Sectors(), total);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableSectorsTest,
    testing::Values(
        ListCase{"Apart", {{true, 10, 2}, {true, 20, 1}}, "10 - 11, 20 - 20"},
        ListCase{"Touching", {{true, 10, 2}, {true, 12, 3}}, "10 - 14"},
        ListCase{"Overlapping", {{true, 10, 5}, {true, 8, 4}, {true, 14, 4}}, "8 - 17"},
        ListCase{"Swallowing", {{true, 10, 1}, {true, 20, 1}, {true, 5, 30}}, "5 - 34"},
        ListCase{"SameTwice", {{true, 10, 4}, {true, 10, 4}}, "10 - 13"},
        // A large read failed over one bad sector, then read piece by piece.
        ListCase{"SplitDown", {{true, 0, 64}, {false, 0, 16}, {false, 16, 16}, {false, 36, 28}}, "32 - 35"},
        ListCase{"RemoveInside", {{true, 0, 10}, {false, 3, 2}}, "0 - 2, 5 - 9"},
        ListCase{"RemoveAcross", {{true, 0, 5}, {true, 10, 5}, {false, 3, 9}}, "0 - 2, 12 - 14"},
        ListCase{"RemoveAll", {{true, 0, 5}, {false, 0, 5}}, ""},
        ListCase{"RemoveNothing", {{true, 4, 2}, {false, 0, 4}, {false, 6, 4}}, "4 - 5"},
        ListCase{"EmptyAndNegative", {{true, 5, 0}, {true, -3, 2}, {false, 0, -1}}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnreadableSectorsText, CutsLongLists) {
  disk::TUnreadableSectors list;
  for (int i = 0; i < 5; ++i) list.Add(i * 10, 2);
  EXPECT_EQ(disk::RangesText(list.Ranges(), "; ", 2), "0 - 1; 10 - 11; ... and 3 more ranges");
}

}  // namespace
