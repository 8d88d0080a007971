#include <gtest/gtest.h>

#include "lowscan/ScanPasses.h"

namespace lowscan {
namespace {

TEST(ScanPasses, QuickScanRunsOnePassWithEveryType) {
  const auto passes = MakeScanPasses({"a;0;k", "b;0;k", "c;1;k", "d;2;x", "e;2;"}, true);
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_EQ(passes[0].size(), 5u);
}

TEST(ScanPasses, ThoroughScanSeparatesKeysThatContainOneAnother) {
  auto passes = MakeScanPasses({"jpg;0;JPG", "pdf;2;JPG-PDF"}, false);
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[0], std::vector<std::string>{"pdf;2;JPG-PDF"});
  passes = MakeScanPasses({"png;0;PNG", "gif;0;GIF", "bmp;0;"}, false);
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_EQ(passes[0], (std::vector<std::string>{"bmp;0;", "gif;0;GIF", "png;0;PNG"}));
}

TEST(ScanPasses, ConflictTestIsCaseSensitiveAndIgnoresEmptyKeys) {
  EXPECT_FALSE(ConflictExists({"a;0;abc"}, ""));
  EXPECT_FALSE(ConflictExists({"a;0;"}, "abc"));
  EXPECT_FALSE(ConflictExists({"a;0;ABC"}, "abc"));
  EXPECT_TRUE(ConflictExists({"a;0;x", "a;0;zabcz"}, "abc"));
}

}  // namespace
}  // namespace lowscan
