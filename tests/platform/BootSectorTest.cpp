#include "platform/BootSector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/FatImage.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::byte> FirstSector(int fatBits) {
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = fatBits;
  testsupport::FatImage image(dir / "v.img", options);
  const std::string bytes = testsupport::ReadFileBytes(image.Path(), 512);
  std::vector<std::byte> out(bytes.size());
  std::memcpy(out.data(), bytes.data(), bytes.size());
  return out;
}

TEST(BootSectorTest, RejectsEachImpossibleField) {
  const std::vector<std::byte> good = FirstSector(16);
  ASSERT_TRUE(platform::ParseBootSector(good));
  struct Corruption {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Corruption cases[] = {
      {"jump", 0, 0x00},          {"sector size 0", 12, 0x00}, {"sector size 768", 12, 0x03},
      {"spc 0", 13, 0},           {"spc 3", 13, 3},            {"no reserved", 14, 0},
      {"no FATs", 16, 0},         {"FAT size 0", 22, 0},
  };
  for (const Corruption& c : cases) {
    std::vector<std::byte> bad = good;
    bad[c.offset] = std::byte{c.value};
    if (std::string(c.what) == "no reserved") bad[15] = std::byte{0};
    if (std::string(c.what) == "FAT size 0") bad[23] = std::byte{0};
    EXPECT_FALSE(platform::ParseBootSector(bad)) << c.what;
  }
}

TEST(BootSectorTest, TruncatedSectorsNeverParse) {
  const std::vector<std::byte> good = FirstSector(32);
  for (std::size_t length = 0; length < 512; length += 7) {
    EXPECT_FALSE(platform::ParseBootSector(std::span(good.data(), length))) << length;
  }
}

TEST(BootSectorTest, FreeClustersCountedPerFatWidth) {
  // FAT12 packs two entries in three bytes: clusters 2..5 = used, free, free, used.
  const std::vector<std::byte> fat12 = {std::byte{0xF8}, std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF},
                                        std::byte{0x0F}, std::byte{0x00}, std::byte{0x00}, std::byte{0xF0},
                                        std::byte{0xFF}};
  EXPECT_EQ(platform::CountFreeFatClusters(fat12, platform::VolumeKind::Fat12, 4), 2u);
  // A FAT shorter than the cluster count only counts what is there.
  const std::vector<std::byte> fat16 = {std::byte{0xF8}, std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF},
                                        std::byte{0x00}, std::byte{0x00}, std::byte{0x05}, std::byte{0x00}};
  EXPECT_EQ(platform::CountFreeFatClusters(fat16, platform::VolumeKind::Fat16, 100), 1u);
}

}  // namespace
