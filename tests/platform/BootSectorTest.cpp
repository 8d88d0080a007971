#include "platform/BootSector.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/FatBootSector.h"
#include "platform/NtfsBootSector.h"
#include "tests/support/FatImage.h"
#include "tests/support/FsckFat.h"
#include "tests/support/NtfsImage.h"
#include "tests/support/TempDir.h"

namespace {

std::vector<std::byte> Bytes(const std::string& text) {
  std::vector<std::byte> out(text.size());
  std::memcpy(out.data(), text.data(), text.size());
  return out;
}

std::vector<std::byte> FirstSector(int fatBits) {
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = fatBits;
  testsupport::FatImage image(dir / "v.img", options);
  return Bytes(testsupport::ReadFileBytes(image.Path(), 512));
}

std::vector<std::byte> NtfsFirstSector() {
  testsupport::TempDir dir;
  testsupport::NtfsImage image(dir / "v.ntfs", {.sizeMiB = 8});
  return Bytes(testsupport::ReadFileBytes(image.Path(), 512));
}

void PutLE(std::vector<std::byte>& bytes, std::size_t at, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

struct FatCase {
  int fatBits;
  std::uint64_t sizeKiB;
  int sectorSize;
  int sectorsPerCluster;
  platform::VolumeKind kind;
};

class FatDecodeTest : public testing::TestWithParam<FatCase> {};

// What mkfs.fat was told and what fsck.fat reads back are what the decoder finds.
TEST_P(FatDecodeTest, AgreesWithMkfsAndFsck) {
  const FatCase c = GetParam();
  testsupport::TempDir dir;
  testsupport::FatImageOptions options;
  options.fatBits = c.fatBits;
  options.sizeKiB = c.sizeKiB;
  options.sectorSize = c.sectorSize;
  options.sectorsPerCluster = c.sectorsPerCluster;
  options.volumeId = 0x5EED1234;
  testsupport::FatImage image(dir / "v.img", options);
  const auto sector = Bytes(testsupport::ReadFileBytes(image.Path(), 4096));
  const auto g = platform::ParseBootSector(sector, {.logicalSectorSize = 512});
  ASSERT_TRUE(g);
  const testsupport::FsckFatReport fsck = testsupport::RunFsckFat(image.Path().string());
  EXPECT_EQ(g->kind, c.kind);
  EXPECT_EQ(g->bytesPerSector, static_cast<std::uint32_t>(c.sectorSize));
  EXPECT_EQ(g->sectorsPerCluster, static_cast<std::uint32_t>(c.sectorsPerCluster));
  EXPECT_EQ(g->ClusterBytes(), fsck.bytesPerCluster);
  EXPECT_EQ(g->dataClusters, fsck.dataClusters);
  EXPECT_EQ(g->serialNumber, 0x5EED1234u);
  // mkfs.fat may leave the image's last sectors out of the volume, never more than it has.
  EXPECT_LE(g->totalSectors * g->bytesPerSector, std::filesystem::file_size(image.Path()));
  EXPECT_GT(g->totalSectors * g->bytesPerSector, std::filesystem::file_size(image.Path()) - (1u << 20));
  // The first cluster's bytes lie where the layout puts them.
  EXPECT_EQ(g->firstDataSector * g->bytesPerSector, image.ClusterOffset(2));
  // A device whose sectors are larger than the volume's cannot hold it.
  if (c.sectorSize < 4096) {
    EXPECT_FALSE(platform::ParseBootSector(sector, {.logicalSectorSize = 4096}));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FatDecodeTest,
                         testing::Values(FatCase{12, 2048, 512, 4, platform::VolumeKind::Fat12},
                                         FatCase{16, 16384, 512, 4, platform::VolumeKind::Fat16},
                                         FatCase{32, 40960, 512, 1, platform::VolumeKind::Fat32},
                                         FatCase{32, 300000, 4096, 1, platform::VolumeKind::Fat32}));

struct NtfsCase {
  std::uint32_t sectorSize;
  std::uint32_t clusterSize;
};

class NtfsDecodeTest : public testing::TestWithParam<NtfsCase> {};

TEST_P(NtfsDecodeTest, AgreesWithMkntfs) {
  const NtfsCase c = GetParam();
  testsupport::TempDir dir;
  testsupport::NtfsImage image(dir / "v.ntfs", {.sizeMiB = 8, .clusterSize = c.clusterSize, .sectorSize = c.sectorSize});
  const std::string bytes = testsupport::ReadFileBytes(image.Path());
  const auto g = platform::ParseBootSector(Bytes(bytes.substr(0, 512)));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->kind, platform::VolumeKind::Ntfs);
  EXPECT_EQ(g->bytesPerSector, c.sectorSize);
  EXPECT_EQ(g->ClusterBytes(), c.clusterSize);
  EXPECT_EQ(g->mftRecordSize, image.RecordSize());
  // mkntfs keeps the last sector for the boot sector's copy.
  EXPECT_EQ(g->totalSectors, (8u << 20) / c.sectorSize - 1);
  EXPECT_EQ(g->dataClusters, g->totalSectors * c.sectorSize / c.clusterSize);
  // The master file table starts where the boot sector says: record 0, "$MFT" itself.
  EXPECT_EQ(g->mftCluster * c.clusterSize, image.RecordOffset(0));
  EXPECT_EQ(bytes.substr(image.RecordOffset(0), 4), "FILE");
}

INSTANTIATE_TEST_SUITE_P(Geometries, NtfsDecodeTest,
                         testing::Values(NtfsCase{512, 4096}, NtfsCase{512, 512}, NtfsCase{4096, 4096},
                                         NtfsCase{512, 65536}));

// One field made impossible at a time; each must be refused on its own.
struct Corruption {
  const char* what;
  std::function<void(std::vector<std::byte>&)> apply;
};

TEST(BootSectorChecks, EachImpossibleFatFieldIsRefused) {
  const std::vector<std::byte> good = FirstSector(16);
  ASSERT_TRUE(platform::ParseBootSector(good));
  const Corruption cases[] = {
      {"sector size 256", [](auto& b) { PutLE(b, 11, 256, 2); }},
      {"sector size 8192", [](auto& b) { PutLE(b, 11, 8192, 2); }},
      {"sectors per cluster 6", [](auto& b) { PutLE(b, 13, 6, 1); }},
      {"five FATs", [](auto& b) { PutLE(b, 16, 5, 1); }},
      {"reserved sectors past the volume", [](auto& b) { PutLE(b, 14, 0xFFFF, 2); }},
      {"FATs past the volume", [](auto& b) { PutLE(b, 22, 0xFFFF, 2); }},
      {"root directory past the volume", [](auto& b) { PutLE(b, 19, 40, 2); }},
      {"FAT too small for its clusters", [](auto& b) { PutLE(b, 22, 1, 2); }},
  };
  for (const Corruption& c : cases) {
    std::vector<std::byte> bad = good;
    c.apply(bad);
    EXPECT_FALSE(platform::ParseBootSector(bad)) << c.what;
  }
}

TEST(BootSectorChecks, EachImpossibleNtfsFieldIsRefused) {
  const std::vector<std::byte> good = NtfsFirstSector();
  ASSERT_TRUE(platform::ParseBootSector(good));
  const Corruption cases[] = {
      {"sector size 0", [](auto& b) { PutLE(b, 11, 0, 2); }},
      {"sector size 768", [](auto& b) { PutLE(b, 11, 768, 2); }},
      {"sectors per cluster 0", [](auto& b) { PutLE(b, 13, 0, 1); }},
      {"sectors per cluster 3", [](auto& b) { PutLE(b, 13, 3, 1); }},
      {"clusters of 4 MiB", [](auto& b) { PutLE(b, 13, 256 - 13, 1); }},
      {"clusters of 2^31 sectors", [](auto& b) { PutLE(b, 13, 256 - 31, 1); }},
      {"no sectors", [](auto& b) { PutLE(b, 40, 0, 8); }},
      {"total sectors all ones", [](auto& b) { PutLE(b, 40, ~0ull, 8); }},
      {"total bytes beyond 2^63", [](auto& b) { PutLE(b, 40, 1ull << 55, 8); }},
      {"$MFT past the volume", [](auto& b) { PutLE(b, 48, 1ull << 40, 8); }},
      {"$MFT cluster all ones", [](auto& b) { PutLE(b, 48, ~0ull, 8); }},
      {"no record size", [](auto& b) { PutLE(b, 64, 0, 4); }},
      {"records of 2^20 bytes", [](auto& b) { PutLE(b, 64, 256 - 20, 1); }},
  };
  for (const Corruption& c : cases) {
    std::vector<std::byte> bad = good;
    c.apply(bad);
    EXPECT_FALSE(platform::ParseBootSector(bad)) << c.what;
  }
}

TEST(BootSectorChecks, TruncatedNtfsSectorsNeverParse) {
  const std::vector<std::byte> good = NtfsFirstSector();
  for (std::size_t length = 0; length < 512; ++length) {
    EXPECT_FALSE(platform::ParseBootSector(std::span(good.data(), length))) << length;
  }
}

// The fields as they stand, whatever they hold, never divide by zero or wrap.
TEST(BootSectorChecks, LayoutOfAnyFieldsStaysInRange) {
  platform::FatFields fields;
  EXPECT_EQ(platform::LayoutOf(fields).dataClusters, 0u);
  fields.bytesPerSector = 0xFFFF;
  fields.reservedSectors = 0xFFFF;
  fields.fatCount = 0xFF;
  fields.fatSectors = 0xFFFFFFFF;
  fields.rootEntries = 0xFFFF;
  fields.totalSectors = 0xFFFFFFFF;
  fields.sectorsPerCluster = 1;
  const platform::FatLayout layout = platform::LayoutOf(fields);
  EXPECT_EQ(layout.rootDirSector, 0xFFFFull + 0xFFull * 0xFFFFFFFFull);
  EXPECT_EQ(layout.dataClusters, 0u);
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

// FAT32 keeps its free-cluster count in the FS information sector; a sector without its
// signatures, or with a count the volume cannot have, gives no hint.
TEST(BootSectorChecks, Fat32FreeClusterHintOnlyFromAnIntactInformationSector) {
  testsupport::TempDir dir;
  testsupport::FatImage image(dir / "v.img", {});
  image.AddFile("/a.bin", std::string(300000, 'a'));
  const std::vector<std::byte> bytes = Bytes(testsupport::ReadFileBytes(image.Path(), 4096));
  const auto g = platform::ParseBootSector(bytes);
  ASSERT_TRUE(g && g->fsInfoSector != 0);
  const std::span<const std::byte> fsInfo(bytes.data() + g->fsInfoSector * g->bytesPerSector, 512);
  const testsupport::FsckFatReport fsck = testsupport::RunFsckFat(image.Path().string());
  EXPECT_EQ(platform::FatFreeClusterHint(util::ByteReader(fsInfo), g->dataClusters),
            fsck.dataClusters - fsck.usedClusters);
  for (const std::size_t at : {0u, 484u, 508u}) {
    std::vector<std::byte> bad(fsInfo.begin(), fsInfo.end());
    bad[at] ^= std::byte{0xFF};
    EXPECT_FALSE(platform::FatFreeClusterHint(util::ByteReader(bad), g->dataClusters)) << at;
  }
  std::vector<std::byte> unknown(fsInfo.begin(), fsInfo.end());
  PutLE(unknown, 488, 0xFFFFFFFF, 4);
  EXPECT_FALSE(platform::FatFreeClusterHint(util::ByteReader(unknown), g->dataClusters));
  PutLE(unknown, 488, g->dataClusters + 1, 4);
  EXPECT_FALSE(platform::FatFreeClusterHint(util::ByteReader(unknown), g->dataClusters));
}

}  // namespace
