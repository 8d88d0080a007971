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
#include "session/ScanSession.h"

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

// Scans the session's drive `letter`, appends what it finds to `found` and, when
// `outputFolder` (a drive-letter path) is given, saves the files into it.
LowScanResult RunLowScan(const ScanOptions& options, session::TScanSession& scan, char letter,
                         const std::string& outputFolder, std::vector<FoundFile>& found,
                         const LowScanSource& source = {});

}  // namespace cli
