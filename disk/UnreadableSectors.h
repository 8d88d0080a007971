#pragma once
// The sectors of a drive that a scan run could not read, kept merged as ranges: a read
// that fails adds its sectors, a later read of the same sectors that succeeds takes them
// out again (a large read failed over one bad sector, then read piece by piece, leaves
// only the bad piece). Shared by the drive components of one scan run; thread-safe.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace disk {

class TUnreadableSectors {
 public:
  struct Range {
    std::int64_t first = 0;
    std::int64_t count = 0;
  };

  void Add(std::int64_t first, std::int64_t count);
  void Remove(std::int64_t first, std::int64_t count);
  void Clear();

  std::vector<Range> Ranges() const;
  std::int64_t Sectors() const;
  bool Empty() const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::int64_t, std::int64_t> m_ranges;  // first sector -> one past the last
};

// "first - last" for each range (inclusive, as the scan's log names sectors), joined by
// `separator`; past `limit` ranges, "... and N more ranges".
std::string RangesText(const std::vector<TUnreadableSectors::Range>& ranges, const std::string& separator,
                       std::size_t limit = 200);

}  // namespace disk
