#include "disk/UnreadableSectors.h"

#include <algorithm>

namespace disk {

void TUnreadableSectors::Add(std::int64_t first, std::int64_t count) {
  if (count <= 0 || first < 0) return;
  std::int64_t end = first + count;
  const std::lock_guard lock(m_mutex);
  // Take in every range that overlaps or touches [first, end).
  auto it = m_ranges.upper_bound(first);
  if (it != m_ranges.begin() && std::prev(it)->second >= first) --it;
  while (it != m_ranges.end() && it->first <= end) {
    first = std::min(first, it->first);
    end = std::max(end, it->second);
    it = m_ranges.erase(it);
  }
  m_ranges.emplace(first, end);
}

void TUnreadableSectors::Remove(std::int64_t first, std::int64_t count) {
  if (count <= 0) return;
  const std::int64_t end = first + count;
  const std::lock_guard lock(m_mutex);
  if (m_ranges.empty()) return;
  auto it = m_ranges.upper_bound(first);
  if (it != m_ranges.begin() && std::prev(it)->second > first) --it;
  while (it != m_ranges.end() && it->first < end) {
    const std::int64_t from = it->first, to = it->second;
    it = m_ranges.erase(it);
    if (from < first) m_ranges.emplace(from, first);
    if (to > end) it = m_ranges.emplace(end, to).first;
  }
}

void TUnreadableSectors::Clear() {
  const std::lock_guard lock(m_mutex);
  m_ranges.clear();
}

std::vector<TUnreadableSectors::Range> TUnreadableSectors::Ranges() const {
  const std::lock_guard lock(m_mutex);
  std::vector<Range> out;
  out.reserve(m_ranges.size());
  for (const auto& [from, to] : m_ranges) out.push_back({from, to - from});
  return out;
}

std::int64_t TUnreadableSectors::Sectors() const {
  const std::lock_guard lock(m_mutex);
  std::int64_t total = 0;
  for (const auto& [from, to] : m_ranges) total += to - from;
  return total;
}

bool TUnreadableSectors::Empty() const {
  const std::lock_guard lock(m_mutex);
  return m_ranges.empty();
}

std::string RangesText(const std::vector<TUnreadableSectors::Range>& ranges, const std::string& separator,
                       std::size_t limit) {
  std::string text;
  for (std::size_t i = 0; i < ranges.size() && i < limit; ++i) {
    if (i > 0) text += separator;
    text += std::to_string(ranges[i].first) + " - " + std::to_string(ranges[i].first + ranges[i].count - 1);
  }
  if (ranges.size() > limit) text += separator + "... and " + std::to_string(ranges.size() - limit) + " more ranges";
  return text;
}

}  // namespace disk
