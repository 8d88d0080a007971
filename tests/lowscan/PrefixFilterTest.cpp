#include "lowscan/PrefixFilter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace lowscan {
namespace {

struct Prefix {
  int first;
  int second;  // -1: any byte
};

struct PrefixCase {
  const char* name;
  std::vector<Prefix> prefixes;
};

// Sets whose nibbles collide across buckets, one-byte prefixes, more prefixes
// than the pre-test has buckets, and the extreme byte values.
const PrefixCase kCases[] = {
    {"one", {{0xFF, 0xD8}}},
    {"oneByte", {{0x41, -1}}},
    {"extremes", {{0x00, 0x00}, {0xFF, 0xFF}, {0x00, 0xFF}}},
    {"sharedNibbles", {{0x12, 0x34}, {0x21, 0x43}, {0x14, 0x32}, {0x41, 0x23}}},
    {"manyBuckets",
     {{0x50, 0x4B}, {0x25, 0x50}, {0x89, 0x50}, {0x47, 0x49}, {0x42, 0x4D}, {0x49, 0x49}, {0x4D, 0x4D}, {0x38, 0x42},
      {0x52, 0x49}, {0x66, 0x74}, {0x1A, 0x45}, {0x4F, 0x67}, {0x30, 0x26}, {0xD0, 0xCF}, {0x7B, -1}, {0x1F, 0x8B}}},
};

class PrefixFilterTest : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(PrefixFilterTest, FindsWhatTestingEveryPositionFinds) {
  const PrefixCase& c = GetParam();
  TPrefixFilter filter;
  for (const Prefix& p : c.prefixes) {
    filter.Add(static_cast<std::uint8_t>(p.first),
               p.second < 0 ? std::nullopt : std::optional<std::uint8_t>(static_cast<std::uint8_t>(p.second)));
  }
  const auto isPrefix = [&](unsigned char a, unsigned char b) {
    for (const Prefix& p : c.prefixes) {
      if (a == p.first && (p.second < 0 || b == p.second)) return true;
    }
    return false;
  };
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    // A small alphabet drawn from the prefixes' bytes makes hits and near misses dense.
    std::vector<unsigned char> alphabet = {0x00, 0xFF, static_cast<unsigned char>(random())};
    for (const Prefix& p : c.prefixes) {
      alphabet.push_back(static_cast<unsigned char>(p.first));
      if (p.second >= 0) alphabet.push_back(static_cast<unsigned char>(p.second));
    }
    std::string text(1 + random() % 300, '\0');
    for (char& ch : text) {
      ch = static_cast<char>(random() % 4 == 0 ? random() : alphabet[random() % alphabet.size()]);
    }
    const std::size_t end = random() % text.size();  // text[end] stays readable
    std::size_t from = random() % (end + 1);
    while (true) {
      std::size_t want = from;
      while (want < end && !isPrefix(text[want], text[want + 1])) ++want;
      const std::size_t got = filter.Find(text.data(), from, end);
      ASSERT_EQ(got, want) << c.name << " round " << round << " from " << from << " end " << end;
      if (got >= end) break;
      EXPECT_TRUE(filter.Contains(text.data() + got));
      from = got + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, PrefixFilterTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrefixFilter, EmptySetFindsNothing) {
  const TPrefixFilter filter;
  const std::string text(100, 'A');
  EXPECT_EQ(filter.Find(text.data(), 0, 99), 99u);
}

}  // namespace
}  // namespace lowscan
