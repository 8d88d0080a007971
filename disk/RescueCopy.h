#pragma once
// Copies a failing drive or image into an image file the way a careful rescue does,
// so that later scans read the copy and the medium is read as little as possible:
//  1. large reads from start to end; after an error or a read over the time limit it
//     skips ahead (further after each error in a row), the failed block left to split;
//  2. the skipped areas with large reads, no skipping;
//  3. every failed block split: first into 64 KiB pieces, then single sectors in from
//     both edges of each failed piece until each meets a bad sector, then the sectors
//     between one by one;
//  4. the bad sectors read again, `retries` times.
// Unread sectors are never written, so they stay zero in the image. The map records
// every step and is saved as the copy goes: a run stopped at any point goes on with
// the same map, reading no sector already rescued. Runs on the caller's thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/RescueMap.h"
#include "platform/RescueSource.h"

namespace disk {

struct RescueOptions {
  int retries = 0;
  std::chrono::milliseconds timeout{0};  // 0: a read may take as long as it takes
  std::uint32_t blockSize = 1 << 20;     // the large reads (rounded down to whole sectors)
};

struct RescueProgress {
  std::uint64_t size = 0;
  std::uint64_t rescued = 0;  // bytes read and written
  std::uint64_t settled = 0;  // rescued plus bad: bytes no later pass reads before the retries
  std::size_t badAreas = 0;
  int pass = 1;
};

// Where the image and map go, and what a save writes at the top of the map.
struct RescueTarget {
  int imageFd = -1;              // open for writing; the copy writes only what it reads
  std::string mapPath;           // saved by writing a sibling file and renaming it over
  std::vector<std::string> mapComments;
};

enum class RescueEnd { kDone, kStopped, kWriteFailed };

struct RescueResult {
  RescueEnd end = RescueEnd::kDone;
  std::string error;  // what failed when the image or map could not be written
};

// Runs the passes over `map`'s unfinished areas. `stop` is checked between reads;
// `progress` is called after every read.
RescueResult RunRescue(platform::RescueSource& source, util::RescueMap& map, const RescueTarget& target,
                       const RescueOptions& options, const std::atomic<bool>& stop,
                       const std::function<void(const RescueProgress&)>& progress);

// "Image  42%  120.5 MB rescued  3 bad areas  12.3 MB/s  0:12 left": `readNow` bytes
// rescued by this run in `seconds` give the speed.
std::string RescueProgressText(const RescueProgress& progress, std::uint64_t readNow, double seconds);

// Writes `map` to `path` through a sibling file renamed over it, after the image's
// data is on disk, so a map never claims bytes a power cut lost. Empty on success.
std::string SaveRescueMap(const util::RescueMap& map, const std::string& path, const std::vector<std::string>& comments,
                          int imageFd);

}  // namespace disk
