#pragma once
// The clusters of deleted FAT files whose chains were cleared. Each deleted file is known
// only by its first cluster and the clusters its size needs; the rest is read over the free
// clusters in order, stepping over those in use and those other deleted files claim, so a
// file written interleaved with others comes back in its own clusters.

#include <cstdint>
#include <vector>

#include "fsscan/FileRecords.h"
#include "util/DateTime.h"

namespace fsscan {

struct DeletedChain {
  std::int64_t first = 0;     // the first cluster, free in the FAT
  std::int64_t clusters = 0;  // the clusters its size needs, at least 1
  util::TDateTime written = 0;
};

// How clusters that more than one unfinished file could take are shared out.
enum class ChainSharing : std::uint8_t {
  // The file that took the cluster before goes on; then the file that started first. Files
  // written one after the other, or one grown around others, come back so.
  kRunsFirst,
  // Files that are unfinished at the same time take clusters in turns, as two streams
  // written at once (a camera's picture and its preview) are laid out.
  kTurns,
};

// The clusters of each chain, in order, as runs. `taken[c]` is true for clusters no deleted
// file may have (in use in the FAT, or a deleted directory's); clusters run from 2 to
// `lastCluster`. A chain that runs out of clusters before it is complete comes back empty.
// A chain whose first cluster lies inside another's contiguous run, where the other was
// written well after it, was overwritten by that other and claims nothing (it comes back
// empty too). Work grows with the clusters walked and the chains, not their product.
std::vector<std::vector<ClusterNode>> RebuildDeletedChains(const std::vector<DeletedChain>& chains,
                                                           const std::vector<bool>& taken, std::int64_t lastCluster,
                                                           ChainSharing sharing);

}  // namespace fsscan
