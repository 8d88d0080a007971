#include "fsscan/DeletedChains.h"

#include <algorithm>
#include <deque>
#include <queue>
#include <set>
#include <utility>

namespace fsscan {
namespace {

// A file written this long after another whose first cluster lies inside its run wrote over
// that other's clusters (a card reused after a deletion); files written together (two
// streams at once) finish within it. In days, as the entries' times count.
constexpr util::TDateTime kOverwriteMargin = 1.0 / 24.0;

// The chains that take part, by first cluster: one per first cluster (the last written), and
// none whose first cluster a later file's run covers.
std::vector<std::size_t> Starts(const std::vector<DeletedChain>& chains, const std::vector<bool>& taken,
                                std::int64_t lastCluster) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < chains.size(); ++i) {
    const DeletedChain& c = chains[i];
    if (c.clusters > 0 && c.first >= 2 && c.first <= lastCluster &&
        static_cast<std::uint64_t>(c.first) < taken.size() && !taken[static_cast<std::size_t>(c.first)]) {
      order.push_back(i);
    }
  }
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (chains[a].first != chains[b].first) return chains[a].first < chains[b].first;
    if (chains[a].written != chains[b].written) return chains[a].written > chains[b].written;
    return a < b;
  });
  std::vector<std::size_t> starts;
  // (written, end of run) of the chains begun so far; the latest written still open on top.
  std::priority_queue<std::pair<util::TDateTime, std::int64_t>> open;
  std::int64_t previousFirst = -1;
  for (const std::size_t i : order) {
    const DeletedChain& c = chains[i];
    const bool sameClusters = c.first == previousFirst;
    previousFirst = c.first;
    if (sameClusters) continue;
    while (!open.empty() && open.top().second <= c.first) open.pop();
    const bool overwritten = !open.empty() && open.top().first > c.written + kOverwriteMargin;
    open.emplace(c.written, c.first + c.clusters);
    if (!overwritten) starts.push_back(i);
  }
  return starts;
}

void Append(std::vector<ClusterNode>& runs, std::int64_t cluster) {
  if (!runs.empty() && runs.back().StartCluster + runs.back().NumClusters == cluster) {
    ++runs.back().NumClusters;
  } else {
    runs.push_back(ClusterNode{cluster, 1, false, {}});
  }
}

}  // namespace

std::vector<std::vector<ClusterNode>> RebuildDeletedChains(const std::vector<DeletedChain>& chains,
                                                           const std::vector<bool>& taken, std::int64_t lastCluster,
                                                           ChainSharing sharing) {
  std::vector<std::vector<ClusterNode>> out(chains.size());
  const std::vector<std::size_t> starts = Starts(chains, taken, lastCluster);
  if (starts.empty()) return out;
  std::vector<std::int64_t> need(starts.size());
  for (std::size_t k = 0; k < starts.size(); ++k) need[k] = chains[starts[k]].clusters;
  // Unfinished chains by their place in `starts`: ordered by start for kRunsFirst, by the
  // longest wait for kTurns.
  std::set<std::size_t> byStart;
  std::deque<std::size_t> byTurn;
  const auto activeEmpty = [&] { return sharing == ChainSharing::kTurns ? byTurn.empty() : byStart.empty(); };
  std::size_t nextStart = 0;
  std::size_t previous = starts.size();  // the chain that took the last cluster handed out
  const auto limit = std::min<std::int64_t>(lastCluster, static_cast<std::int64_t>(taken.size()) - 1);
  for (std::int64_t c = chains[starts[0]].first; c <= limit; ++c) {
    if (nextStart == starts.size() && activeEmpty()) break;
    if (taken[static_cast<std::size_t>(c)]) continue;
    std::size_t owner = 0;
    if (nextStart < starts.size() && chains[starts[nextStart]].first == c) {
      owner = nextStart++;
    } else if (activeEmpty()) {
      continue;
    } else if (sharing == ChainSharing::kTurns) {
      owner = byTurn.front();
      byTurn.pop_front();
    } else {
      owner = byStart.contains(previous) ? previous : *byStart.begin();
    }
    Append(out[starts[owner]], c);
    previous = owner;
    if (sharing == ChainSharing::kTurns) {
      if (--need[owner] > 0) byTurn.push_back(owner);
    } else if (--need[owner] > 0) {
      byStart.insert(owner);
    } else {
      byStart.erase(owner);
    }
  }
  for (std::size_t k = 0; k < starts.size(); ++k) {
    if (need[k] > 0) out[starts[k]].clear();
  }
  return out;
}

}  // namespace fsscan
