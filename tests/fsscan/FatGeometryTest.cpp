#include <gtest/gtest.h>

#include "tests/fsscan/ScanFixture.h"

namespace {

using fsscan::BootRecord;
using fsscan::ClusterNode;
using fsscan::FatBuffer;
using fsscan::TMekFATScan;

void Put16(BootRecord& b, std::size_t at, std::uint16_t v) {
  b[at] = std::byte(v & 0xFF);
  b[at + 1] = std::byte(v >> 8);
}
void Put32(BootRecord& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = std::byte((v >> (8 * i)) & 0xFF);
}

// A FAT16-style boot record whose data area holds exactly `clusters` clusters.
BootRecord BootWithClusters(std::uint32_t clusters) {
  BootRecord b{};
  Put16(b, 11, 512);
  b[13] = std::byte{1};
  Put16(b, 14, 1);
  b[16] = std::byte{2};
  Put16(b, 17, 512);   // 32 root sectors
  Put16(b, 22, 100);
  Put32(b, 32, 1 + 200 + 32 + clusters);
  return b;
}

TEST(FatGeometryTest, TypeFollowsTheClusterCount) {
  struct Case {
    std::uint32_t clusters;
    fsscan::FatType type;
  };
  for (const Case c : {Case{4084, fsscan::kFat12}, Case{4085, fsscan::kFat16}, Case{65524, fsscan::kFat16},
                       Case{65525, fsscan::kFat32}}) {
    EXPECT_EQ(TMekFATScan::GetFATType(BootWithClusters(c.clusters)), c.type) << c.clusters;
  }
  const BootRecord b = BootWithClusters(5000);
  EXPECT_EQ(TMekFATScan::GetRootDirSectors(b), 32u);
  EXPECT_EQ(TMekFATScan::GetFirstRootDirSector(b), 201u);
  EXPECT_EQ(TMekFATScan::GetFirstDataSector(b), 233u);
  BootRecord zero{};
  EXPECT_EQ(TMekFATScan::GetFATType(zero), fsscan::kFat12);  // no division by zero
  EXPECT_EQ(TMekFATScan::GetRootDirSectors(zero), 0u);
}

TEST(FatGeometryTest, EntriesAndEndMarks) {
  const BootRecord boot{};
  const FatBuffer fat12 = {std::byte{0xF8}, std::byte{0xFF}, std::byte{0xFF},
                           std::byte{0x03}, std::byte{0x40}, std::byte{0x00}};
  EXPECT_EQ(TMekFATScan::GetFAT12EntryForCluster(boot, fat12, 2), 3);
  EXPECT_EQ(TMekFATScan::GetFAT12EntryForCluster(boot, fat12, 3), 4);
  EXPECT_EQ(TMekFATScan::GetFAT12EntryForCluster(boot, fat12, 4), 0);  // beyond the buffer: the walk ends
  const FatBuffer fat32 = {std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0},
                           std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF}, std::byte{0xFF}};
  EXPECT_EQ(TMekFATScan::GetFAT32EntryForCluster(boot, fat32, 1), 0x0FFFFFFFu);
  EXPECT_EQ(TMekFATScan::GetFAT32EntryForCluster(boot, fat32, 1000000), 0u);
  struct Mark {
    std::uint8_t type;
    std::int64_t value;
    bool eof;
  };
  for (const Mark m : {Mark{0, 0xFF7, false}, Mark{0, 0xFF8, true}, Mark{1, 0xFFF7, false}, Mark{1, 0xFFF8, true},
                       Mark{2, 0x0FFFFFF7, false}, Mark{2, 0x0FFFFFF8, true}, Mark{3, 0x0FFFFFFF, false}}) {
    EXPECT_EQ(TMekFATScan::IsEOF(m.type, m.value), m.eof) << int(m.type) << " " << m.value;
  }
}

// A FAT16 volume with 4096-byte clusters, attached so the component reports its geometry.
class ChainTest : public testing::Test {
 protected:
  ChainTest() : image(dir / "v.img", Options()), harness(image.Path()) {
    harness.raw.SetDriveLetter(std::string(1, harness.letter));
  }
  static testsupport::FatImageOptions Options() {
    testsupport::FatImageOptions o;
    o.fatBits = 16;
    o.sizeKiB = 65536;
    o.sectorsPerCluster = 8;
    return o;
  }
  BootRecord Boot() {
    BootRecord boot{};
    harness.scanner.GetFATBootRecord(boot);
    return boot;
  }
  static FatBuffer Fat16(std::initializer_list<std::pair<int, std::uint16_t>> entries) {
    FatBuffer fat(2 * 64, std::byte{0});
    for (auto [cluster, value] : entries) {
      fat[cluster * 2] = std::byte(value & 0xFF);
      fat[cluster * 2 + 1] = std::byte(value >> 8);
    }
    return fat;
  }
  std::vector<ClusterNode> Runs(const FatBuffer& fat, std::int64_t size, std::int64_t first) {
    std::vector<ClusterNode> runs;
    harness.scanner.BuildFileClusterList(fat, Boot(), runs, size, first);
    return runs;
  }
  testsupport::TempDir dir;
  testsupport::FatImage image;
  fsscantest::ScannerHarness harness;
};

TEST_F(ChainTest, RunsFollowTheChainAndDeletedFilesExtendContiguously) {
  ASSERT_EQ(harness.raw.GetDriveClusterSize(), 4096);
  const FatBuffer cleared = Fat16({});
  EXPECT_EQ(Runs(cleared, 5000, 7), (std::vector<ClusterNode>{{7, 2, false, ""}}));
  EXPECT_EQ(Runs(cleared, 9000, 7), (std::vector<ClusterNode>{{7, 3, false, ""}}));
  EXPECT_EQ(Runs(cleared, 100, 7), (std::vector<ClusterNode>{{7, 1, false, ""}}));
  EXPECT_TRUE(Runs(cleared, 100, 0).empty());  // an empty file's first cluster is 0
  const FatBuffer chain = Fat16({{10, 11}, {11, 12}, {12, 20}, {20, 21}, {21, 0xFFFF}});
  EXPECT_EQ(Runs(chain, 5 * 4096, 10), (std::vector<ClusterNode>{{10, 3, false, ""}, {20, 2, false, ""}}));
  // Extension never passes the volume's last cluster (TotalClusters + 1).
  const std::int64_t last = harness.raw.GetTotalClusterCount() + 1;
  EXPECT_EQ(Runs(cleared, 10 * 4096, last - 1), (std::vector<ClusterNode>{{last - 1, 2, false, ""}}));
}

TEST_F(ChainTest, DamagedChainsAreCutWhereTheyLoopOrLeaveTheVolume) {
  const FatBuffer loop = Fat16({{5, 6}, {6, 5}});
  std::vector<ClusterNode> runs;
  const fsscan::ChainCut directory = harness.scanner.BuildFileClusterList(loop, Boot(), runs, 0, 5);
  EXPECT_EQ(runs, (std::vector<ClusterNode>{{5, 2, false, ""}}));
  EXPECT_EQ(directory.reason, fsscan::ChainCut::kLoops);
  EXPECT_EQ(directory.cluster, 5);
  // A file's chain is cut at the repeat, then taken as following on for the size it needs;
  // each walk starts afresh (the second one starts on a cluster the first held).
  EXPECT_EQ(Runs(loop, 3 * 4096, 5), (std::vector<ClusterNode>{{5, 3, false, ""}}));
  EXPECT_EQ(Runs(loop, 3 * 4096, 6), (std::vector<ClusterNode>{{6, 1, false, ""}, {5, 2, false, ""}}));
  const FatBuffer outside = Fat16({{5, 60000}});
  runs.clear();
  EXPECT_EQ(harness.scanner.BuildFileClusterList(outside, Boot(), runs, 4 * 4096, 5).reason,
            fsscan::ChainCut::kOutOfRange);
  EXPECT_EQ(runs, (std::vector<ClusterNode>{{5, 4, false, ""}}));
  EXPECT_TRUE(Runs(outside, 4096, 60000).empty());  // a first cluster beyond the volume
}

TEST_F(ChainTest, ReadSectorsStaysInsideTheVolume) {
  const std::int64_t total = harness.raw.GetSectorsPerCluster() * harness.raw.GetTotalClusterCount();
  std::vector<std::byte> buffer(10 * 512);
  EXPECT_EQ(harness.scanner.ReadSectors(buffer.data(), 5120, 10, total + 1), 0);
  EXPECT_TRUE(harness.Logged("Start Sector exceeds Total Sectors. Total / Start : " + std::to_string(total) + " / " +
                                 std::to_string(total + 1),
                             "-30"));
  EXPECT_EQ(harness.scanner.ReadSectors(buffer.data(), 5120, 10, total - 2), 1024);
  EXPECT_TRUE(harness.Logged("Adjusted Sector Count. Total / Start / Before / After: " + std::to_string(total) +
                                 " / " + std::to_string(total - 2) + " / 10 / 2",
                             "-30"));
  EXPECT_EQ(util::GlobalReadInfo().NumSectors, 10);
  EXPECT_EQ(util::GlobalReadInfo().Count, 1024);
  EXPECT_EQ(util::GlobalReadInfo().Status, 9999);
}

TEST_F(ChainTest, FirstDataSectorForTheLowLevelScan) {
  EXPECT_EQ(harness.scanner.GetFirstDataSector(harness.letter), TMekFATScan::GetFirstDataSector(Boot()));
  EXPECT_GT(harness.scanner.GetFirstDataSector(harness.letter), 0);
}

}  // namespace
