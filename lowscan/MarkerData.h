#pragma once
// Marker entries of the Low Level Scan: one header or footer signature of a
// file type, parsed from one catalogue line ("ext;usePattern;hex;pattern;
// isFooter;offset;category;maxSize;keepImage"). Preparation filters the
// catalogue by the selected types, keeps catalogue order and rejects lines the
// scan could not use (offsets that would split at one place forever, patterns
// the engine refuses), each with a log line.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lowscan/Pattern.h"
#include "util/Types.h"

namespace lowscan {

struct TMarkerData {
  std::string Extension;
  std::string Marker;  // raw bytes
  std::string MarkerHex;
  std::string Pattern;
  util::TFileType FileType = util::ftImage;
  bool UsePattern = false;
  std::int64_t FoundPos = -1;
  bool IsFooter = false;
  std::int32_t Offset = 0;
  std::int64_t MaxSize = 0;
  bool KeepImage = false;
};

// Bytes of a hex text: pairs from the start, a single trailing digit ignored.
// False (and `bytes` unspecified) when a pair is not hexadecimal.
bool DecodeMarkerHex(std::string_view hex, std::string& bytes);

// Fills `entry` from the fields of one catalogue line, starting from the values
// it holds (flags and categories outside their ranges leave them). `MarkerHex`
// is copied but not decoded.
void ParseMarkerLine(std::string_view line, TMarkerData& entry);

// The catalogue lines whose field 1 equals field 1 of some selection line
// (case-sensitive), each with ";" + that selection line's field 2 appended, in
// catalogue order.
std::vector<std::string> SelectCatalogueLines(const std::vector<std::string>& catalogue,
                                              const std::vector<std::string>& lowFileTypes);

// The header Offset must be below 5 and the footer Offset above -5; otherwise the
// accepted marker would be found again right behind its own split point.
bool OffsetIsUsable(const TMarkerData& entry);

using MarkerLogFn = std::function<void(const std::string& message, const std::string& action)>;

struct TMarkerPreparation {
  std::vector<TMarkerData> Markers;
  std::vector<TPattern> Patterns;  // parallel to Markers; compiled once, empty where unused
  bool HexError = false;       // a marker text held a pair that is not hexadecimal
  std::string ErrorText;       // its message, for the caller of ScanDrive
};

// Steps 2-4 of building the marker list from catalogue lines and the selection.
// Lines with unusable offsets or patterns are dropped with a "-25" log line.
TMarkerPreparation PrepareMarkers(const std::vector<std::string>& catalogue,
                                  const std::vector<std::string>& lowFileTypes, const MarkerLogFn& log);

}  // namespace lowscan
