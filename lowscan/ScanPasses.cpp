#include "lowscan/ScanPasses.h"

#include "util/Text.h"

namespace lowscan {

bool ConflictExists(const std::vector<std::string>& list, std::string_view key) {
  if (key.empty()) return false;
  for (const std::string& entry : list) {
    const std::string other = util::GetField(entry, 3, ';');
    if (other.empty()) continue;
    if (other.find(key) != std::string::npos || key.find(other) != std::string_view::npos) return true;
  }
  return false;
}

std::vector<std::vector<std::string>> MakeScanPasses(std::vector<std::string> remaining, bool quickScan) {
  std::vector<std::vector<std::string>> passes;
  while (!remaining.empty()) {
    std::vector<std::string> batch;
    if (quickScan) {
      batch = std::move(remaining);
      remaining.clear();
    } else {
      // From the last entry to the first; the first one examined always goes in.
      for (std::size_t i = remaining.size(); i-- > 0;) {
        if (batch.empty() || !ConflictExists(batch, util::GetField(remaining[i], 3, ';'))) {
          batch.push_back(remaining[i]);
          remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(i));
        }
      }
    }
    passes.push_back(std::move(batch));
  }
  return passes;
}

}  // namespace lowscan
