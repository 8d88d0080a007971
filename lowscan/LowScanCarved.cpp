// The batches of a thorough scan reported as they are carved: a file is held only
// while a file still open in some batch starts at or before it (and so may turn
// out to hold it, or to be the same file under its own type); then it is judged
// by the same rules as after a whole read, and listed.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include "lowscan/MekLowScan.h"
#include "lowscan/ScanBatch.h"

namespace lowscan {

std::int64_t TMekLowScan::OpenFrom(const std::vector<std::unique_ptr<TScanBatch>>& batches) {
  std::int64_t openFrom = std::numeric_limits<std::int64_t>::max();
  for (const auto& batch : batches) {
    if (const auto start = batch->carver->OpenStart()) openFrom = std::min(openFrom, *start);
  }
  return openFrom;
}

void TMekLowScan::ReleaseCarved(std::vector<std::unique_ptr<TScanBatch>>& batches, std::int64_t readEnd, bool all) {
  ReleaseCarvedFrom(batches, readEnd, all ? std::numeric_limits<std::int64_t>::max() : OpenFrom(batches), all);
}

void TMekLowScan::ReleaseCarvedFrom(std::vector<std::unique_ptr<TScanBatch>>& batches, std::int64_t readEnd,
                                    std::int64_t openFrom, bool all) {
  struct Held {
    std::int64_t start;
    std::size_t batch;
    std::size_t index;
  };
  std::vector<Held> settled;
  for (std::size_t b = 0; b < batches.size(); ++b) {
    const auto& events = batches[b]->deferred;
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (!events[i].released && events[i].file.StartPos < openFrom) settled.push_back({events[i].file.StartPos, b, i});
    }
  }
  if (settled.empty()) return;
  DropFilesInsideOthers(batches);
  DropSiblingCopies(batches);
  std::sort(settled.begin(), settled.end(),
            [](const Held& a, const Held& b) { return std::tie(a.start, a.batch, a.index) < std::tie(b.start, b.batch, b.index); });
  for (const Held& held : settled) {
    TScanBatch& batch = *batches[held.batch];
    TDeferredEvent& event = batch.deferred[held.index];
    event.released = true;
    if (event.dropped) continue;
    // What the rules still need of a listed file stays with its event.
    FileNode kept;
    kept.StartPos = event.file.StartPos;
    kept.EndPos = event.file.EndPos;
    kept.Extension = event.file.Extension;
    batch.firstNumber = 0;
    ListFile(batch, std::move(event.file), event.marker, event.atEnd, ++m_fileCounter);
    event.file = std::move(kept);
  }
  // A listed file that ends before every file still to come starts can hold none of them.
  std::int64_t horizon = std::min(openFrom, readEnd);
  for (const auto& batch : batches) {
    for (const TDeferredEvent& e : batch->deferred) {
      if (!e.released) horizon = std::min(horizon, e.file.StartPos);
    }
  }
  if (all) return;
  for (auto& batch : batches) {
    std::erase_if(batch->deferred, [horizon](const TDeferredEvent& e) { return e.released && e.file.EndPos <= horizon; });
  }
}

}  // namespace lowscan
