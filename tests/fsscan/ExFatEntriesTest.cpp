// The exFAT boot region and directory entries decoded on their own: a region and a root
// directory as mkfs.exfat writes them, single-field corruptions, every truncation.

#include <gtest/gtest.h>

#include "fsscan/ExFatEntries.h"
#include "platform/ExFatBootSector.h"
#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

namespace {

std::span<const std::byte> Bytes(const std::string& s) { return std::as_bytes(std::span(s.data(), s.size())); }

class ExFatRegionTest : public testing::Test {
 protected:
  void SetUp() override {
    if (testsupport::RunCommand({"sh", "-c", "command -v mkfs.exfat"}).exitCode != 0) {
      GTEST_SKIP() << "mkfs.exfat (exfatprogs) is not installed";
    }
    const auto image = dir / "card.img";
    testsupport::RunOrThrow({"truncate", "-s", "8M", image.string()});
    testsupport::RunOrThrow({"mkfs.exfat", "-L", "KAMERA", "-c", "4K", image.string()});
    bytes = testsupport::ReadFileBytes(image);
  }
  testsupport::TempDir dir;
  std::string bytes;
};

TEST_F(ExFatRegionTest, RegionAsFormatted) {
  const auto region = platform::DecodeExFatBootRegion(Bytes(bytes.substr(0, platform::kExFatBootRegionsBytes)), {});
  ASSERT_TRUE(region);
  EXPECT_TRUE(region->mainChecksumMatches);
  EXPECT_FALSE(region->fromBackup);
  const platform::BootGeometry& g = region->geometry;
  EXPECT_EQ(g.kind, platform::VolumeKind::ExFat);
  EXPECT_EQ(g.bytesPerSector, 512u);
  EXPECT_EQ(g.sectorsPerCluster, 8u);
  EXPECT_EQ(g.totalSectors, 16384u);
  EXPECT_EQ(g.firstDataSector, region->fields.clusterHeapOffset);
  EXPECT_GE(region->fields.rootCluster, 2u);

  // The root directory: the label, the allocation bitmap, the up-case table and no files.
  const std::uint64_t root = (g.firstDataSector + (region->fields.rootCluster - 2) * 8) * 512;
  const auto dir = fsscan::exfat::ParseDirectory(util::ByteReader(bytes.data() + root, 4096));
  EXPECT_EQ(dir.label, "KAMERA");
  ASSERT_EQ(dir.bitmaps.size(), 1u);
  EXPECT_GE(dir.bitmaps[0].dataLength, (g.dataClusters + 7) / 8);
  EXPECT_TRUE(dir.sets.empty());
}

struct FieldCase {
  const char* name;
  std::size_t offset;
  std::vector<std::uint8_t> value;
};

void PrintTo(const FieldCase& field, std::ostream* out) { *out << field.name; }

class ExFatFieldTest : public ExFatRegionTest, public testing::WithParamInterface<FieldCase> {};

// One field out of range in both regions: nothing decodes. In the main region only: the
// backup is taken.
TEST_P(ExFatFieldTest, OutOfRangeFieldIsRefused) {
  std::string region = bytes.substr(0, platform::kExFatBootRegionsBytes);
  for (std::size_t i = 0; i < GetParam().value.size(); ++i) region[GetParam().offset + i] = static_cast<char>(GetParam().value[i]);
  const auto mainOnly = platform::DecodeExFatBootRegion(Bytes(region), {});
  ASSERT_TRUE(mainOnly);
  EXPECT_TRUE(mainOnly->fromBackup);
  EXPECT_FALSE(platform::DecodeExFatBootSector(util::ByteReader(Bytes(region)), {}));
  for (std::size_t i = 0; i < GetParam().value.size(); ++i) {
    region[12 * 512 + GetParam().offset + i] = static_cast<char>(GetParam().value[i]);
  }
  EXPECT_FALSE(platform::DecodeExFatBootRegion(Bytes(region), {}));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ExFatFieldTest,
    testing::Values(FieldCase{"Name", 3, {'F'}}, FieldCase{"FatFieldsNotZero", 13, {8}},
                    FieldCase{"Signature", 510, {0}}, FieldCase{"SectorShiftSmall", 108, {8}},
                    FieldCase{"SectorShiftLarge", 108, {13}}, FieldCase{"ClusterShift", 109, {17}},
                    FieldCase{"NoFat", 110, {0}}, FieldCase{"ThreeFats", 110, {3}},
                    FieldCase{"NoClusters", 92, {0, 0, 0, 0}}, FieldCase{"FatInBootRegion", 80, {4, 0, 0, 0}},
                    FieldCase{"FatTooSmall", 84, {1, 0, 0, 0}}, FieldCase{"HeapPastVolume", 88, {0, 0, 0, 1}},
                    FieldCase{"RootBelowTwo", 96, {1, 0, 0, 0}}, FieldCase{"RootPastHeap", 96, {0, 0, 1, 0}},
                    FieldCase{"NoLength", 72, {0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<FieldCase>& info) { return info.param.name; });

TEST_F(ExFatRegionTest, EveryTruncationEndsCleanly) {
  const std::string region = bytes.substr(0, platform::kExFatBootRegionsBytes);
  for (std::size_t length = 0; length <= region.size(); length += length < 1024 ? 1 : 509) {
    const auto decoded = platform::DecodeExFatBootRegion(Bytes(region.substr(0, length)), {});
    // Without its checksum sector the main sector is taken on its own fields.
    if (length >= 512) {
      ASSERT_TRUE(decoded) << length;
      EXPECT_EQ(decoded->mainChecksumMatches, length >= 12 * 512) << length;
    } else {
      EXPECT_FALSE(decoded) << length;
    }
  }
}

// A deleted set as exfat-fuse leaves it: in-use bits cleared, checksum as written in use.
std::string DeletedSet(const std::u16string& name, std::uint8_t nameLength) {
  std::string set(32 * 3, '\0');
  set[0] = static_cast<char>(0x85);
  set[1] = 2;
  set[4] = 0x20;
  set[32] = static_cast<char>(0xC0);
  set[33] = 0x03;
  set[35] = static_cast<char>(nameLength);
  set[32 + 20] = 9;       // first cluster
  set[32 + 25] = 0x10;  // data length 4096
  set[32 + 9] = 0x10;   // valid data length 4096
  set[64] = static_cast<char>(0xC1);
  for (std::size_t i = 0; i < name.size() && i < 15; ++i) {
    set[64 + 2 + 2 * i] = static_cast<char>(name[i] & 0xFF);
    set[64 + 3 + 2 * i] = static_cast<char>(name[i] >> 8);
  }
  const std::uint16_t sum = fsscan::exfat::SetChecksum(util::ByteReader(set.data(), set.size()), 3, false);
  set[2] = static_cast<char>(sum & 0xFF);
  set[3] = static_cast<char>(sum >> 8);
  for (std::size_t e = 0; e < set.size(); e += 32) set[e] = static_cast<char>(set[e] & 0x7F);
  return set;
}

TEST(ExFatEntriesTest, DeletedSetsAndTheirFaults) {
  const std::string good = DeletedSet(u"Grüße.txt", 9);
  auto dir = fsscan::exfat::ParseDirectory(util::ByteReader(good.data(), good.size()));
  ASSERT_EQ(dir.sets.size(), 1u);
  EXPECT_TRUE(dir.sets[0].deleted);
  EXPECT_EQ(dir.sets[0].name, "Grüße.txt");
  EXPECT_TRUE(dir.sets[0].NoFatChain());
  EXPECT_EQ(dir.sets[0].firstCluster, 9u);
  EXPECT_EQ(dir.sets[0].dataLength, 4096u);

  std::string badSum = good;
  badSum[70] = 'X';
  dir = fsscan::exfat::ParseDirectory(util::ByteReader(badSum.data(), badSum.size()));
  EXPECT_TRUE(dir.sets.empty());
  ASSERT_EQ(dir.rejected.size(), 1u);
  EXPECT_EQ(dir.rejected[0].reason, "set checksum mismatch");

  // A name length beyond the one name entry: the name is what the entry holds.
  const std::string cut = DeletedSet(u"kurz.txt", 200);
  dir = fsscan::exfat::ParseDirectory(util::ByteReader(cut.data(), cut.size()));
  ASSERT_EQ(dir.sets.size(), 1u);
  EXPECT_TRUE(dir.sets[0].nameCut);
  EXPECT_EQ(dir.sets[0].name, "kurz.txt");

  // Secondary counts that run past the directory, and every truncation of a good set.
  std::string longCount = good;
  longCount[1] = static_cast<char>(0xFF);
  EXPECT_TRUE(fsscan::exfat::ParseDirectory(util::ByteReader(longCount.data(), longCount.size())).sets.empty());
  for (std::size_t length = 0; length < good.size(); ++length) {
    EXPECT_TRUE(fsscan::exfat::ParseDirectory(util::ByteReader(good.data(), length)).sets.empty()) << length;
  }
}

TEST(ExFatEntriesTest, TimestampsWithTenMillisecondsAndUtcOffset) {
  // 2024-03-10 14:30:58 + 1.5 s, written at UTC+01:00: 13:30:59.5 UTC.
  const std::uint32_t stamp = (44u << 25) | (3u << 21) | (10u << 16) | (14u << 11) | (30u << 5) | 29u;
  const util::TDateTime withOffset = fsscan::exfat::TimestampToDateTime(stamp, 150, 0x84);
  const std::uint64_t fileTime = (static_cast<std::uint64_t>(1710077459) + 11644473600ull) * 10000000ull + 5000000ull;
  EXPECT_NEAR(withOffset, util::MyFileTimeToDateTime(fileTime), 1e-7);
  // Without a valid offset the time is kept as stored.
  const util::TDateTime asStored = fsscan::exfat::TimestampToDateTime(stamp, 150, 0x04);
  EXPECT_NEAR(asStored, *util::EncodeDateTime(2024, 3, 10, 14, 30, 59, 500), 1e-8);
  EXPECT_EQ(fsscan::exfat::TimestampToDateTime(0, 0, 0), 0);  // month 0
}

}  // namespace
