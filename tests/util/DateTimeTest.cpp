#include "util/DateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

TEST(DateTimeTest, EncodesDaysSince1899) {
  EXPECT_EQ(util::EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(util::EncodeDateTime(1970, 1, 1), 25569.0);
  EXPECT_DOUBLE_EQ(*util::EncodeDateTime(2005, 7, 14, 18, 0, 0), 38547.75);
  EXPECT_FALSE(util::EncodeDateTime(2005, 2, 29));
  EXPECT_TRUE(util::EncodeDateTime(2004, 2, 29));
  EXPECT_FALSE(util::EncodeDateTime(2005, 13, 1));
  EXPECT_FALSE(util::EncodeDateTime(2005, 1, 1, 24));
  const util::DateTimeFields f = util::DecodeDateTime(*util::EncodeDateTime(2024, 2, 29, 23, 59, 58));
  EXPECT_EQ(f.year, 2024);
  EXPECT_EQ(f.month, 2);
  EXPECT_EQ(f.day, 29);
  EXPECT_EQ(f.hour, 23);
  EXPECT_EQ(f.minute, 59);
  EXPECT_EQ(f.second, 58);
}

TEST(DateTimeTest, FileTimeBecomesLocalTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  // 2001-09-09 01:46:40 UTC is Unix time 1,000,000,000.
  const std::uint64_t fileTime = (1000000000ULL + 11644473600ULL) * 10000000ULL;
  EXPECT_NEAR(util::MyFileTimeToDateTime(fileTime), *util::EncodeDateTime(2001, 9, 9, 1, 46, 40), 1e-9);
  setenv("TZ", "CET-1", 1);
  tzset();
  EXPECT_NEAR(util::MyFileTimeToDateTime(fileTime), *util::EncodeDateTime(2001, 9, 9, 2, 46, 40), 1e-9);
  EXPECT_EQ(util::LocalDateTimeToUnix(*util::EncodeDateTime(2001, 9, 9, 2, 46, 40)), 1000000000);
  unsetenv("TZ");
  tzset();
}

}  // namespace
