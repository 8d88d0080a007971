// The clusters of deleted files whose chains were cleared, read over the clusters nobody else
// claims: layouts as allocators leave them, cluster by cluster.

#include <gtest/gtest.h>

#include "fsscan/DeletedChains.h"

namespace {

using fsscan::ChainSharing;
using fsscan::ClusterNode;
using fsscan::DeletedChain;
using Runs = std::vector<std::pair<std::int64_t, std::int64_t>>;  // (start, count)

struct ChainCase {
  const char* name;
  std::vector<DeletedChain> chains;
  std::vector<std::int64_t> inUse;
  ChainSharing sharing;
  std::vector<Runs> expected;
};

class DeletedChainsTest : public testing::TestWithParam<ChainCase> {};

TEST_P(DeletedChainsTest, EachFileGetsItsOwnClusters) {
  constexpr std::int64_t kLast = 40;
  std::vector<bool> taken(kLast + 1, false);
  for (const std::int64_t c : GetParam().inUse) taken[static_cast<std::size_t>(c)] = true;
  const auto got = fsscan::RebuildDeletedChains(GetParam().chains, taken, kLast, GetParam().sharing);
  ASSERT_EQ(got.size(), GetParam().expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    Runs runs;
    for (const ClusterNode& n : got[i]) runs.emplace_back(n.StartCluster, n.NumClusters);
    EXPECT_EQ(runs, GetParam().expected[i]) << "chain " << i;
  }
}

constexpr double kDay = 1.0;

INSTANTIATE_TEST_SUITE_P(
    Layouts, DeletedChainsTest,
    testing::Values(
        ChainCase{"InterleavedInTurns", {{10, 4}, {11, 4}}, {}, ChainSharing::kTurns,
                  {{{10, 1}, {12, 1}, {14, 1}, {16, 1}}, {{11, 1}, {13, 1}, {15, 1}, {17, 1}}}},
        // Without the pictures' bytes to tell, the file that went on goes on.
        ChainCase{"InterleavedRunsFirst", {{10, 4}, {11, 4}}, {}, ChainSharing::kRunsFirst,
                  {{{10, 1}, {15, 3}}, {{11, 4}}}},
        ChainCase{"ThreePiecesAroundOneAndFourClusterFiles", {{2, 6}, {4, 1}, {6, 4}}, {}, ChainSharing::kRunsFirst,
                  {{{2, 2}, {5, 1}, {10, 3}}, {{4, 1}}, {{6, 4}}}},
        ChainCase{"SecondPiecePastASiblingAndTheFolder", {{3, 4}, {5, 3}}, {2}, ChainSharing::kRunsFirst,
                  {{{3, 2}, {8, 2}}, {{5, 3}}}},
        ChainCase{"LiveClustersSteppedOver", {{10, 5}}, {12, 13}, ChainSharing::kRunsFirst, {{{10, 2}, {14, 3}}}},
        ChainCase{"UnfragmentedBesideALiveFile", {{10, 3}}, {13, 14}, ChainSharing::kRunsFirst, {{{10, 3}}}},
        // A file written a day later over an older one's first cluster: the older claims nothing.
        ChainCase{"OverwrittenStaleEntryClaimsNothing", {{10, 6, 5 * kDay}, {12, 3, 1 * kDay}}, {},
                  ChainSharing::kRunsFirst, {{{10, 6}}, {}}},
        ChainCase{"SameFirstClusterLastWrittenTakesIt", {{10, 2, 1 * kDay}, {10, 3, 2 * kDay}}, {},
                  ChainSharing::kRunsFirst, {{}, {{10, 3}}}},
        ChainCase{"RunsOutOfClustersComesBackEmpty", {{38, 5}}, {}, ChainSharing::kRunsFirst, {{}}},
        ChainCase{"FirstClusterInUseOrOutsideClaimsNothing", {{12, 2}, {1, 2}, {99, 2}}, {12},
                  ChainSharing::kTurns, {{}, {}, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
