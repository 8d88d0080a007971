// The marker search and the carver over drive bytes, with the bundled catalogue and
// every type in it selected. The first input byte picks quick or thorough search, the
// cluster size and the read-step size, so markers fall across step boundaries.
// The structure-end walkers alone have their own target (FileEndFuzz.cpp).

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "lowscan/Carver.h"
#include "lowscan/MarkerData.h"
#include "tests/fuzz/FuzzTarget.h"
#include "util/Text.h"

namespace {

struct Catalogue {
  std::vector<std::string> lines, selection;
  lowscan::TMarkerPreparation prepared;
};

const Catalogue& Bundled() {
  static const Catalogue catalogue = [] {
    Catalogue c;
    std::ifstream in(TRELLMOND_CATALOGUE_FILE);
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) continue;
      c.lines.push_back(line);
      c.selection.push_back(util::GetField(line, 1, ';') + ";0");
    }
    c.prepared = lowscan::PrepareMarkers(c.lines, c.selection, {});
    return c;
  }();
  return catalogue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const Catalogue& catalogue = Bundled();
  static constexpr std::size_t kSteps[] = {4096, 512, 1000, 65536};
  static constexpr std::int64_t kClusters[] = {512, 2048, 4096, 32768};
  const std::uint8_t options = data[0];
  lowscan::TAlignment alignment;
  alignment.Quick = (options & 1) != 0;
  alignment.ClusterSize = alignment.Quick ? kClusters[(options >> 1) & 3] : 0;
  alignment.ClusterBase = (options & 0x40) ? 1024 : 0;
  const std::size_t step = kSteps[(options >> 3) & 3];

  std::int64_t counter = 0;
  lowscan::TCarverEvents events;
  events.FileClosed = [](lowscan::FileNode&& node, int, bool, bool, std::string_view) {
    if (node.Size < 0 || node.EndPos < node.StartPos) __builtin_trap();
  };
  events.Log = [](const std::string&, const std::string&) {};
  lowscan::TCarver carver(catalogue.prepared.Markers, catalogue.prepared.Patterns, alignment, step, counter, events);
  const std::uint8_t* drive = data + 1;
  const std::size_t driveSize = size - 1;
  for (std::size_t off = 0; off < driveSize; off += step) {
    const std::size_t n = std::min(step, driveSize - off);
    std::memcpy(carver.ChunkBuffer().data(), drive + off, n);
    carver.ProcessChunk(static_cast<std::int64_t>(off), n);
  }
  carver.Finish();
  return 0;
}
