#include "lowscan/MarkerSearch.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <utility>
#include <string>

namespace lowscan {
namespace {

std::uint16_t PrefixAt(const char* p) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                    (static_cast<unsigned char>(p[1]) << 8));
}

// The first position at or after `from` whose byte differs from data[from], or `end`.
std::size_t RunEnd(const char* data, std::size_t from, std::size_t end) {
  const char b = data[from];
  std::uint64_t word = 0x0101010101010101ull * static_cast<unsigned char>(b);
  std::size_t i = from;
  for (; i + 8 <= end; i += 8) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, data + i, 8);
    if (chunk != word) break;
  }
  while (i < end && data[i] == b) ++i;
  return i;
}

std::int64_t FloorMod(std::int64_t value, std::int64_t divisor) {
  const std::int64_t r = value % divisor;
  return r < 0 ? r + divisor : r;
}

}  // namespace

TMarkerSearch::TMarkerSearch(const std::vector<TMarkerData>& markers, const std::vector<TPattern>& patterns)
    : m_markers(markers), m_patterns(patterns), m_bucketStart(65537), m_footerCache(markers.size()) {
  std::vector<std::pair<std::uint16_t, int>> bucketed;
  for (int i = 0; i < static_cast<int>(markers.size()); ++i) {
    const std::string& marker = markers[i].Marker;
    if (marker.empty()) continue;  // an empty marker never matches
    m_longest = std::max(m_longest, marker.size());
    if (!markers[i].IsFooter) {
      const auto lead = static_cast<unsigned char>(marker[0]);
      const std::size_t run = marker.find_first_not_of(marker[0]);
      std::uint16_t& reach = m_leadingRun[lead];
      if (run == std::string::npos) {
        reach = kAnyRun;
      } else if (reach != kAnyRun) {
        reach = static_cast<std::uint16_t>(std::max<std::size_t>(reach, std::min<std::size_t>(run, kAnyRun - 1)));
      }
      if (std::find(m_headerOffsets.begin(), m_headerOffsets.end(), markers[i].Offset) == m_headerOffsets.end()) {
        m_headerOffsets.push_back(markers[i].Offset);
      }
      m_minHeaderOffset = std::min<std::int64_t>(m_minHeaderOffset, markers[i].Offset);
      m_maxHeaderOffset = std::max<std::int64_t>(m_maxHeaderOffset, markers[i].Offset);
    }
    const auto first = static_cast<std::uint8_t>(marker[0]);
    const std::optional<std::uint8_t> second =
        marker.size() > 1 ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(marker[1])) : std::nullopt;
    if (markers[i].IsFooter) {
      m_footers.push_back(i);
      m_footerPrefixes.emplace_back().Add(first, second);
      continue;
    }
    m_headerPrefixes.Add(first, second);
    if (marker.size() == 1) {
      m_shortHeaders.push_back(i);
      for (unsigned b = 0; b < 256; ++b) bucketed.emplace_back(static_cast<std::uint16_t>(first | (b << 8)), i);
      continue;
    }
    bucketed.emplace_back(PrefixAt(marker.data()), i);
  }
  // Stable by prefix: each bucket keeps its entries in catalogue order.
  std::stable_sort(bucketed.begin(), bucketed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  m_bucketEntries.reserve(bucketed.size());
  for (const auto& [prefix, index] : bucketed) {
    ++m_bucketStart[prefix + 1u];
    m_bucketEntries.push_back(index);
  }
  for (std::size_t p = 1; p < m_bucketStart.size(); ++p) m_bucketStart[p] += m_bucketStart[p - 1];
}

bool TMarkerSearch::Matches(int index, std::size_t pos) const {
  const std::string& marker = m_markers[index].Marker;
  return marker.size() <= m_text.size() - pos && std::memcmp(m_text.data() + pos, marker.data(), marker.size()) == 0;
}

bool TMarkerSearch::PatternAccepts(int index, std::size_t pos) const {
  if (!m_markers[index].UsePattern) return true;
  // The pattern sees up to 32 bytes from the marker on, with every zero byte
  // turned into 0x11 so that catalogue patterns can be plain text.
  std::array<char, kPatternWindow> window{};
  const std::size_t length = std::min(kPatternWindow, m_text.size() - pos);
  for (std::size_t i = 0; i < length; ++i) {
    const char c = m_text[pos + i];
    window[i] = c == '\0' ? '\x11' : c;
  }
  return m_patterns[index].Matches(std::string_view(window.data(), length));
}

void TMarkerSearch::CheckHeadersAt(std::size_t pos, std::optional<std::int32_t> offset) {
  std::span<const int> bucket = m_shortHeaders;
  if (pos + 1 < m_text.size()) {
    if (!m_headerPrefixes.Contains(m_text.data() + pos)) return;
    const std::uint16_t prefix = PrefixAt(m_text.data() + pos);
    bucket = std::span<const int>(m_bucketEntries)
                 .subspan(m_bucketStart[prefix], m_bucketStart[prefix + 1u] - m_bucketStart[prefix]);
  }
  for (const int index : bucket) {
    if (offset && m_markers[index].Offset != *offset) continue;
    if (Matches(index, pos) && PatternAccepts(index, pos)) m_headers.push_back({index, pos});
  }
}

void TMarkerSearch::CollectAllHeaders() {
  const std::size_t n = m_text.size();
  if (n == 0) return;
  const char* data = m_text.data();
  // Positions with a second byte go through the prefix set; the last one can
  // only hold a one-byte marker.
  for (std::size_t i = 0; (i = m_headerPrefixes.Find(data, i, n - 1)) < n - 1; ++i) {
    const std::uint16_t reach = m_leadingRun[static_cast<unsigned char>(data[i])];
    if (data[i + 1] != data[i] || reach == kAnyRun) {
      CheckHeadersAt(i, std::nullopt);
      continue;
    }
    // A run of one byte: a marker that begins with k of them and then another byte
    // can only lie k bytes before the run's end (or across the step's end).
    const std::size_t end = RunEnd(data, i, n);
    for (std::size_t p = std::max(i, end - std::min<std::size_t>(end, reach)); p < end && p < n - 1; ++p) {
      CheckHeadersAt(p, std::nullopt);
    }
    if (end >= n - 1) break;
    i = end - 1;
  }
  CheckHeadersAt(n - 1, std::nullopt);
}

void TMarkerSearch::CollectAlignedHeaders(const TAlignment& alignment) {
  const auto n = static_cast<std::int64_t>(m_text.size());
  const std::int64_t size = alignment.ClusterSize;
  // A header counts where the file it starts (Offset bytes before the marker)
  // begins a cluster: text offset p is a cluster start when
  // textPos + p - ClusterBase is a multiple of the size.
  // The first cluster start whose marker can still lie in the text.
  const std::int64_t first = FloorMod(alignment.ClusterBase - m_textPos + m_maxHeaderOffset, size) - m_maxHeaderOffset;
  for (std::int64_t p = first; p + m_minHeaderOffset < n; p += size) {
    for (const std::int32_t offset : m_headerOffsets) {
      const std::int64_t at = p + offset;
      if (at < 0 || at >= n) continue;
      CheckHeadersAt(static_cast<std::size_t>(at), offset);
    }
  }
  // Entries with different offsets may be found out of position order.
  std::stable_sort(m_headers.begin(), m_headers.end(), [](const TMarkerHit& a, const TMarkerHit& b) {
    return a.Pos != b.Pos ? a.Pos < b.Pos : a.Index < b.Index;
  });
}

void TMarkerSearch::BeginText(std::string_view text, std::int64_t textPos, const TAlignment& alignment) {
  m_text = text;
  m_textPos = textPos;
  m_headers.clear();
  m_headerCursor = 0;
  std::fill(m_footerCache.begin(), m_footerCache.end(), FooterCache{});
  if (alignment.Quick) {
    CollectAlignedHeaders(alignment);
  } else {
    CollectAllHeaders();
  }
}

std::size_t TMarkerSearch::NextFooter(std::size_t slot, std::size_t from) {
  const int index = m_footers[slot];
  FooterCache& cache = m_footerCache[index];
  if (cache.searchedFrom != npos && cache.searchedFrom <= from && (cache.found == npos || cache.found >= from)) {
    return cache.found;
  }
  const std::string& marker = m_markers[index].Marker;
  const TPrefixFilter& prefixes = m_footerPrefixes[slot];
  const std::size_t n = m_text.size();
  std::size_t pos = from;
  std::size_t found = npos;
  while (pos < n) {
    std::size_t at = n;
    if (marker.size() > 1) {
      at = n > 1 ? prefixes.Find(m_text.data(), pos, n - 1) : n;
      if (at >= n - 1) break;
    } else {
      const void* hit = std::memchr(m_text.data() + pos, marker[0], n - pos);
      if (hit == nullptr) break;
      at = static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data());
    }
    if (Matches(index, at) && PatternAccepts(index, at)) {
      found = at;
      break;
    }
    pos = at + 1;
  }
  cache = {from, found};
  return found;
}

TMarkerHit TMarkerSearch::Next(std::size_t from, std::string_view currentExtension) {
  while (m_headerCursor < m_headers.size() && m_headers[m_headerCursor].Pos < from) ++m_headerCursor;
  TMarkerHit best;
  if (m_headerCursor < m_headers.size()) best = m_headers[m_headerCursor];
  if (currentExtension.empty()) return best;
  for (std::size_t slot = 0; slot < m_footers.size(); ++slot) {
    const int index = m_footers[slot];
    if (m_markers[index].Extension != currentExtension) continue;
    const std::size_t pos = NextFooter(slot, from);
    if (pos == npos) continue;
    if (best.Index < 0 || pos < best.Pos || (pos == best.Pos && index < best.Index)) best = {index, pos};
  }
  return best;
}

}  // namespace lowscan
