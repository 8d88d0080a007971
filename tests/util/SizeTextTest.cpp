#include "util/SizeText.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

struct SizeCase {
  std::int64_t size;
  const char* text;
};

class SizeDescriptionTest : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeDescriptionTest, SwitchesAtPowersOfTwoDividesByPowersOfTen) {
  EXPECT_EQ(util::GetSizeDescription(GetParam().size), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SizeDescriptionTest,
    testing::Values(SizeCase{-1, "[no disk]"}, SizeCase{0, "[0 Bytes]"}, SizeCase{1023, "[1023 Bytes]"},
                    SizeCase{1024, "[1 KB]"}, SizeCase{1048575, "[1,049 KB]"}, SizeCase{1048576, "[1 MB]"},
                    SizeCase{1073741823, "[1,074 MB]"}, SizeCase{1073741824, "[1 GB]"},
                    SizeCase{500107862016, "[500 GB]"}, SizeCase{4000787030016, "[4,001 GB]"},
                    SizeCase{INT64_MAX, "[9,223,372,037 GB]"}));

TEST(FormatedMemoryTest, MegabytesWithCommas) {
  EXPECT_EQ(util::GetFormatedMemory(2147483648), "2,147 MB");
  EXPECT_EQ(util::GetFormatedMemory(0), "0 MB");
  EXPECT_EQ(util::GetFormatedMemory(1234567890123), "1,234,568 MB");
}

TEST(FormatedMemoryTest, CommaWhateverTheLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(util::GetSizeDescription(1048575), "[1,049 KB]");
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
