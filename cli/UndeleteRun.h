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
#include "session/ScanSession.h"

namespace cli {

using LogSink = std::function<void(const std::string& message, const std::string& action)>;

// Runs the Undelete scan of the session's drive and, when `outputFolder` is given,
// the save; appends one report entry per file to `found`.
ScanTotals RunUndelete(const ScanOptions& options, session::TScanSession& scan, const std::string& outputFolder,
                       std::vector<FoundFile>& found);

}  // namespace cli
