#pragma once
// The Undelete scan of `trellmond-cli scan`: the scan, the picture check, the save
// into the output folder and the report entries.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/FoundFile.h"
#include "cli/ScanOptions.h"
#include "cli/ScanTotals.h"
#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "util/Prompt.h"

namespace cli {

using LogSink = std::function<void(const std::string& message, const std::string& action)>;

// Runs the scan of `scanner` (already wired to its drive component) and, when
// `outputFolder` is given, the save; appends one report entry per file to `found`.
ScanTotals RunUndelete(const ScanOptions& options, fsscan::TMekFATScan& scanner, util::IPrompt& prompt,
                           const std::string& outputFolder, const LogSink& log, std::vector<FoundFile>& found);

}  // namespace cli
