#pragma once
// The Low Level Scan of `trellmond-cli scan --low`: the catalogue from a file or the
// bundled one, the default types of the overview (or --types), one pass for a quick
// scan or one per batch of non-conflicting types with --thorough, as the wizard runs
// it; corrupt carved pictures are dropped by the picture check.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/FoundFile.h"
#include "cli/ScanOptions.h"
#include "cli/ScanTotals.h"
#include "util/Prompt.h"

namespace cli {

struct LowScanResult {
  bool started = false;   // false: the catalogue could not be read or held a bad marker
  std::string error;
  ScanTotals totals;
};

// Where the catalogue and the default types come from, and where log lines go, when
// the vendor service supplies them; empty lists mean the files.
struct LowScanSource {
  std::vector<std::string> catalogue;
  std::vector<std::string> overview;
  std::function<void(const std::string& message, const std::string& action)> log;
};

// Scans drive `letter`, appends what it finds to `found` and, when `outputFolder`
// (a drive-letter path) is given, saves the files into it. `firstDataSector` tells
// where cluster 2 of a FAT volume begins (0 when unknown), so that a quick scan
// tests the volume's own cluster starts.
LowScanResult RunLowScan(const ScanOptions& options, char letter, const std::string& outputFolder,
                         util::IPrompt& prompt, std::vector<FoundFile>& found,
                         const std::function<std::int64_t(char)>& firstDataSector,
                         const LowScanSource& source = {});

}  // namespace cli
