// Marker catalogue lines as the service sends them: the line fields, the hex markers,
// the selection of lines by type and the preparation of the marker list with its
// compiled patterns. Every extension named in the input is selected.

#include <string>
#include <vector>

#include "lowscan/MarkerData.h"
#include "tests/fuzz/FuzzTarget.h"
#include "util/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = fuzz::Text(data, size);
  std::vector<std::string> catalogue, selection;
  std::size_t start = 0;
  while (start <= text.size() && catalogue.size() < 200) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line(text.substr(start, end - start));
    catalogue.push_back(line);
    selection.push_back(util::GetField(line, 1, ';') + ";" + std::to_string(line.size() % 3));
    lowscan::TMarkerData entry;
    lowscan::ParseMarkerLine(line, entry);
    std::string bytes;
    (void)lowscan::DecodeMarkerHex(entry.MarkerHex, bytes);
    (void)lowscan::OffsetIsUsable(entry);
    start = end + 1;
  }
  (void)lowscan::SelectCatalogueLines(catalogue, selection);
  (void)lowscan::PrepareMarkers(catalogue, selection, [](const std::string&, const std::string&) {});
  return 0;
}
