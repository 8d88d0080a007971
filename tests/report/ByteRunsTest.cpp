// Where a found file's bytes lie on the source: its cluster runs turned into image offsets, cut
// to its size, with sparse, resident and damaged run lists.

#include <gtest/gtest.h>

#include <cstdint>

#include "fsscan/FileRecords.h"
#include "lowscan/FileNode.h"
#include "report/FileEntry.h"

namespace {

using report::ByteRun;
using Kind = report::ByteRun::Kind;

// 512-byte sectors, 4 sectors a cluster; on FAT cluster 2 starts at sector 100.
constexpr report::VolumeGeometry kFat{512, 4, false, 100, 0};
constexpr report::VolumeGeometry kNtfs{512, 4, true, 0, 0};
// A partition 1 MiB into a disk image.
constexpr report::VolumeGeometry kNtfsAt1MiB{512, 4, true, 0, 1 << 20};

fsscan::ClusterNode C(std::int64_t start, std::int64_t count, bool sparse = false) {
  fsscan::ClusterNode node;
  node.StartCluster = start;
  node.NumClusters = count;
  node.Sparse = sparse;
  return node;
}

struct Case {
  const char* name;
  report::VolumeGeometry volume;
  std::vector<fsscan::ClusterNode> clusters;
  std::int64_t size;
  std::vector<ByteRun> expected;
  std::int64_t validSize = -1;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ByteRunsTest : public testing::TestWithParam<Case> {};

TEST_P(ByteRunsTest, RunsOnTheImage) {
  fsscan::FileNode record;
  record.Clusters = GetParam().clusters;
  record.Size = GetParam().size;
  record.ValidSize = GetParam().validSize;
  EXPECT_EQ(report::UndeleteRuns(record, GetParam().volume), GetParam().expected);
}

const Case kCases[] = {
    {"fat_one_run_cut_to_size", kFat, {C(2, 3)}, 5000, {{Kind::Stored, 0, 100 * 512, 5000}}},
    {"fat_two_pieces", kFat, {C(10, 1), C(20, 2)}, 6000,
     {{Kind::Stored, 0, (100 + 8 * 4) * 512, 2048}, {Kind::Stored, 2048, (100 + 18 * 4) * 512, 3952}}},
    {"adjacent_runs_join", kNtfs, {C(10, 1), C(11, 1)}, 4096, {{Kind::Stored, 0, 10 * 2048, 4096}}},
    {"runs_past_the_size_dropped", kNtfs, {C(10, 1), C(50, 5)}, 1000, {{Kind::Stored, 0, 10 * 2048, 1000}}},
    {"sparse_between", kNtfs, {C(10, 1), C(0, 2, true), C(40, 1)}, 8192,
     {{Kind::Stored, 0, 10 * 2048, 2048}, {Kind::Sparse, 2048, 0, 4096}, {Kind::Stored, 6144, 40 * 2048, 2048}}},
    {"partition_offset_added", kNtfsAt1MiB, {C(10, 1)}, 100, {{Kind::Stored, 0, (1 << 20) + 10 * 2048, 100}}},
    {"fat_cluster_below_two_ends_the_list", kFat, {C(1, 1)}, 100, {}},
    {"cluster_no_medium_holds_ends_the_list", kNtfs, {C(10, 1), C(INT64_MAX / 2, 1)}, 8192,
     {{Kind::Stored, 0, 10 * 2048, 2048}}},
    {"count_that_overflows_ends_the_list", kNtfs, {C(10, INT64_MAX / 100)}, 100, {}},
    {"no_geometry_no_runs", {0, 0, false, 0, 0}, {C(10, 1)}, 100, {}},
    // exFAT: the bytes past the valid data length are zeros, not the clusters' bytes.
    {"exfat_valid_length_inside_a_run", kFat, {C(2, 3)}, 6000,
     {{Kind::Stored, 0, 100 * 512, 3000}, {Kind::Sparse, 3000, 0, 3000}}, 3000},
    {"exfat_valid_length_ends_a_piece", kFat, {C(10, 1), C(20, 2)}, 6000,
     {{Kind::Stored, 0, (100 + 8 * 4) * 512, 2048}, {Kind::Sparse, 2048, 0, 3952}}, 2048},
    {"exfat_nothing_valid", kFat, {C(2, 3)}, 6000, {{Kind::Sparse, 0, 0, 6000}}, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, ByteRunsTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ByteRunsTest, ResidentAndCarvedFiles) {
  fsscan::FileNode resident;
  resident.Resident = true;
  resident.Size = 14;
  EXPECT_EQ(report::UndeleteRuns(resident, kNtfs), (std::vector<ByteRun>{{Kind::Resident, 0, 0, 14}}));
  resident.Size = 0;
  EXPECT_TRUE(report::UndeleteRuns(resident, kNtfs).empty());

  lowscan::FileNode carved;
  carved.StartPos = 123456;
  carved.EndPos = 130000;
  EXPECT_EQ(report::CarvedRuns(carved), (std::vector<ByteRun>{{Kind::Stored, 0, 123456, 6544}}));
  EXPECT_EQ(report::CarvedRuns(carved, 4096), (std::vector<ByteRun>{{Kind::Stored, 0, 4096 + 123456, 6544}}));
  carved.EndPos = carved.StartPos;
  EXPECT_TRUE(report::CarvedRuns(carved).empty());
}

}  // namespace
