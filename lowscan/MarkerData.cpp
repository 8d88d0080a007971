#include "lowscan/MarkerData.h"

#include <charconv>
#include <optional>

#include "online/ActionCodes.h"
#include "util/Text.h"

namespace lowscan {
namespace {

// A whole field as a 32-bit decimal integer (optional sign); nothing when any
// character is left over or the value does not fit.
std::optional<std::int32_t> ParseInt32(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (*begin == '+') ++begin;
  std::int32_t value = 0;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void ReadFlag(const std::string& field, bool& flag) {
  const auto value = ParseInt32(field);
  if (value == 1) flag = true;
  if (value == 0) flag = false;
}

}  // namespace

bool DecodeMarkerHex(std::string_view hex, std::string& bytes) {
  bytes.clear();
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

void ParseMarkerLine(std::string_view line, TMarkerData& entry) {
  const auto field = [&](int index) { return util::GetField(line, index, ';'); };
  entry.Extension = field(1);
  entry.MarkerHex = field(3);
  entry.Pattern = field(4);
  if (const auto category = ParseInt32(field(7)); category && *category >= 0 && *category <= 2) {
    entry.FileType = static_cast<util::TFileType>(*category);
  }
  ReadFlag(field(2), entry.UsePattern);
  entry.Offset = ParseInt32(field(6)).value_or(0);
  ReadFlag(field(5), entry.IsFooter);
  entry.MaxSize = ParseInt32(field(8)).value_or(0);
  entry.KeepImage = field(9) == "Y";
  entry.FoundPos = -1;
}

std::vector<std::string> SelectCatalogueLines(const std::vector<std::string>& catalogue,
                                              const std::vector<std::string>& lowFileTypes) {
  std::vector<std::string> kept;
  for (const std::string& line : catalogue) {
    const std::string extension = util::GetField(line, 1, ';');
    for (const std::string& selected : lowFileTypes) {
      if (util::GetField(selected, 1, ';') == extension) {
        kept.push_back(line + ";" + util::GetField(selected, 2, ';'));
        break;
      }
    }
  }
  return kept;
}

bool OffsetIsUsable(const TMarkerData& entry) {
  return entry.IsFooter ? entry.Offset > -5 : entry.Offset < 5;
}

TMarkerPreparation PrepareMarkers(const std::vector<std::string>& catalogue,
                                  const std::vector<std::string>& lowFileTypes, const MarkerLogFn& log) {
  TMarkerPreparation result;
  for (const std::string& line : SelectCatalogueLines(catalogue, lowFileTypes)) {
    TMarkerData entry;
    ParseMarkerLine(line, entry);
    if (!DecodeMarkerHex(entry.MarkerHex, entry.Marker)) {
      result.HexError = true;
      result.ErrorText = "'" + entry.MarkerHex + "' is not a valid hexadecimal marker (type " + entry.Extension + ")";
      result.Markers.clear();
      result.Patterns.clear();
      return result;
    }
    if (!OffsetIsUsable(entry)) {
      if (log) {
        log("LowScan marker rejected: " + entry.Extension + (entry.IsFooter ? " footer" : " header") +
                " offset " + std::to_string(entry.Offset) + " would split at the same place without end",
            std::string(online::action::kLowScanError));
      }
      continue;
    }
    TPattern pattern;
    if (entry.UsePattern) {
      pattern = TPattern(entry.Pattern);
      if (!pattern.IsValid()) {
        if (log) log("LowScan marker rejected: " + entry.Extension + " pattern: " + pattern.Error(), std::string(online::action::kLowScanError));
        continue;
      }
    }
    result.Markers.push_back(std::move(entry));
    result.Patterns.push_back(std::move(pattern));
  }
  return result;
}

}  // namespace lowscan
