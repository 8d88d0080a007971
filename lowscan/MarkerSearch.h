#pragma once
// The multi-marker search of one read step. BeginText finds every acceptable
// header occurrence of the step's text in one pass (only cluster starts in a
// quick scan); footers are looked up on demand for the extension of the file
// that is open, since no other footer can be accepted. Next then answers each
// search step with the earliest acceptable marker at or after a position, ties
// going to the entry listed first: the same winner as testing every marker in
// turn from that position (a quick scan takes a header where the file it starts
// begins a cluster). Owned by one scan; the text must outlive the calls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "lowscan/MarkerData.h"
#include "lowscan/Pattern.h"
#include "lowscan/PrefixFilter.h"

namespace lowscan {

struct TAlignment {
  bool Quick = false;             // headers count only where a cluster begins
  std::int64_t ClusterBase = 0;   // drive offset at which cluster 0 would lie
  std::int64_t ClusterSize = 0;   // > 0 when Quick
};

struct TMarkerHit {
  int Index = -1;         // entry in the marker list, -1 for none
  std::size_t Pos = 0;    // offset of the marker's first byte in the text
};

class TMarkerSearch {
 public:
  static constexpr std::size_t kPatternWindow = 32;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  TMarkerSearch(const std::vector<TMarkerData>& markers, const std::vector<TPattern>& patterns);

  // Starts a read step: `text` (carry-over and new bytes) begins at drive offset `textPos`.
  void BeginText(std::string_view text, std::int64_t textPos, const TAlignment& alignment);
  // The earliest acceptable marker starting at or after `from`. A footer counts only
  // when its extension equals `currentExtension`.
  TMarkerHit Next(std::size_t from, std::string_view currentExtension);

  // Longest marker, for the carry-over between read steps.
  std::size_t LongestMarker() const { return m_longest; }

 private:
  bool PatternAccepts(int index, std::size_t pos) const;
  bool Matches(int index, std::size_t pos) const;
  void CollectAllHeaders();
  void CollectAlignedHeaders(const TAlignment& alignment);
  // Headers whose marker starts at pos; only entries with that Offset when given.
  void CheckHeadersAt(std::size_t pos, std::optional<std::int32_t> offset);
  std::size_t NextFooter(std::size_t slot, std::size_t from);

  const std::vector<TMarkerData>& m_markers;
  const std::vector<TPattern>& m_patterns;
  TPrefixFilter m_headerPrefixes;
  // Two-byte prefix -> header entries, in order; a flat table, since zero-filled
  // space puts a common prefix at every byte. Prefix p's entries are
  // m_bucketEntries[m_bucketStart[p], m_bucketStart[p + 1]): one small array
  // instead of 65536 vectors, which cost a scan's start more than small drives take.
  std::vector<std::uint32_t> m_bucketStart;
  std::vector<int> m_bucketEntries;
  std::vector<int> m_shortHeaders;                                    // one-byte headers
  std::vector<int> m_footers;
  std::vector<TPrefixFilter> m_footerPrefixes;  // parallel to m_footers
  std::size_t m_longest = 0;
  std::vector<std::int32_t> m_headerOffsets;  // distinct header offsets
  // Per byte value b: the longest run of b that begins a header marker, or kAnyRun when
  // a marker is b alone (repeated). Inside a run of b (zero-filled or erased space) a
  // header can then only start that close to the run's end.
  static constexpr std::uint16_t kAnyRun = 0xFFFF;
  std::array<std::uint16_t, 256> m_leadingRun{};
  std::int64_t m_minHeaderOffset = 0;
  std::int64_t m_maxHeaderOffset = 0;

  std::string_view m_text;
  std::int64_t m_textPos = 0;
  std::vector<TMarkerHit> m_headers;  // acceptable header occurrences, by position then entry
  std::size_t m_headerCursor = 0;
  struct FooterCache {
    std::size_t searchedFrom = npos;  // npos: nothing cached
    std::size_t found = npos;
  };
  std::vector<FooterCache> m_footerCache;  // per entry
};

}  // namespace lowscan
