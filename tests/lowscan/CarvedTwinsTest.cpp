// Telling a carved file that is a file the user already has: the byte offset
// of a cluster on FAT and NTFS volumes, and the match of carved starts against
// the starts of the Undelete scan's files and of the live files.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "lowscan/CarvedTwins.h"

namespace {

struct OffsetCase {
  const char* name;
  lowscan::TClusterLayout layout;
  std::int64_t cluster;
  std::int64_t offset;
};

class ClusterOffset : public testing::TestWithParam<OffsetCase> {};

TEST_P(ClusterOffset, PlacesTheClusterOrRefusesIt) {
  const OffsetCase& c = GetParam();
  EXPECT_EQ(lowscan::ClusterByteOffset(c.layout, c.cluster), c.offset);
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Layouts, ClusterOffset,
    testing::Values(
        // FAT32, 4 sectors a cluster, data from sector 2080: cluster 2 is the first data cluster.
        OffsetCase{"FatFirstDataCluster", {2080, 4, 512}, 2, 2080 * 512},
        OffsetCase{"FatLaterCluster", {2080, 4, 512}, 10, 2080 * 512 + 8 * 2048},
        OffsetCase{"FatFourKSectors", {100, 1, 4096}, 3, 100 * 4096 + 4096},
        OffsetCase{"FatClusterZeroNamesNoPlace", {2080, 4, 512}, 0, -1},
        OffsetCase{"FatClusterOneNamesNoPlace", {2080, 4, 512}, 1, -1},
        // NTFS: cluster 0 is the volume's first byte.
        OffsetCase{"NtfsClusterZero", {0, 8, 512}, 0, 0},
        OffsetCase{"NtfsCluster", {0, 8, 512}, 1000, 1000 * 4096},
        OffsetCase{"NoSectorSize", {2080, 4, 0}, 5, -1},
        OffsetCase{"NoClusterSize", {2080, 0, 512}, 5, -1},
        OffsetCase{"NegativeCluster", {0, 8, 512}, -3, -1},
        OffsetCase{"ClusterBeyondAnyDrive", {0, 8, 512}, kMax / 1024, -1},
        OffsetCase{"HugeClusterSize", {0, kMax / 2, 4}, 1, -1}),
    [](const testing::TestParamInfo<OffsetCase>& info) { return std::string(info.param.name); });

TEST(CarvedTwins, UndeleteStartWinsOverLiveStartAndOthersAreLostFiles) {
  lowscan::TCarvedTwins twins;
  twins.AddUndeleteStart(4096);
  twins.AddLiveStart(8192);
  twins.AddLiveStart(4096);  // a deleted file's first cluster given to a live file again
  twins.AddUndeleteStart(-1);  // a file with no place on the drive matches nothing
  EXPECT_EQ(twins.Match(4096), lowscan::TCarvedTwin::kFoundByUndelete);
  EXPECT_EQ(twins.Match(8192), lowscan::TCarvedTwin::kStillOnDrive);
  // A file carved from inside another (a preview inside a photo) is a file of its own.
  EXPECT_EQ(twins.Match(8193), lowscan::TCarvedTwin::kNone);
  EXPECT_EQ(twins.Match(-1), lowscan::TCarvedTwin::kNone);
  twins.Clear();
  EXPECT_EQ(twins.Match(4096), lowscan::TCarvedTwin::kNone);
}

}  // namespace
