#include "util/ByteReader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>

namespace {

TEST(ByteReaderTest, ReadsLittleEndianInsideTheSpan) {
  const std::array<std::uint8_t, 9> bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF};
  const util::ByteReader r(bytes.data(), bytes.size());
  EXPECT_EQ(r.ReadU8(8), 0xFF);
  EXPECT_EQ(r.ReadU16LE(0), 0x0201);
  EXPECT_EQ(r.ReadU32LE(1), 0x05040302u);
  EXPECT_EQ(r.ReadU64LE(0), 0x0807060504030201ull);
  EXPECT_EQ(r.ReadUnsigned(6, 3), 0xFF0807u);
  EXPECT_EQ(r.ReadSigned(8, 1), -1);
  EXPECT_EQ(r.ReadSigned(7, 2), static_cast<std::int16_t>(0xFF08));
  EXPECT_EQ(r.ReadSigned(0, 1), 1);
}

TEST(ByteReaderTest, RefusesEveryReadThatLeavesTheSpan) {
  const std::array<std::uint8_t, 4> bytes{1, 2, 3, 4};
  const util::ByteReader r(bytes.data(), bytes.size());
  EXPECT_FALSE(r.ReadU32LE(1));
  EXPECT_FALSE(r.ReadU16LE(3));
  EXPECT_FALSE(r.ReadU8(4));
  EXPECT_FALSE(r.ReadU64LE(0));
  EXPECT_FALSE(r.ReadUnsigned(0, 0));
  EXPECT_FALSE(r.ReadUnsigned(0, 9));
  EXPECT_FALSE(r.Sub(2, 3));
  EXPECT_FALSE(r.Sub(std::numeric_limits<std::uint64_t>::max(), 2));
  EXPECT_FALSE(r.Has(2, std::numeric_limits<std::uint64_t>::max()));
  EXPECT_EQ(r.U32(2, 77), 77u);
  EXPECT_EQ(r.Text(3, 5), "");
  ASSERT_TRUE(r.Sub(1, 3));
  EXPECT_EQ(r.Sub(1, 3)->ReadU16LE(1), 0x0403);
  EXPECT_FALSE(r.Sub(1, 3)->ReadU16LE(2));
}

}  // namespace
