#pragma once
// The wizard's program-wide state, set at start-up and by the panels.

#include <cstdint>
#include <string>
#include <vector>

namespace wizard {

struct WizardState {
  std::string language = "ENG";
  std::string TransactionID;
  std::int64_t MaxImageHints = 0;
  bool Connected = false;        // the start-up connection check (or the proxy dialog) succeeded
  bool Cancelled = false;        // the program is to end, or the window closes without a question
  bool Cancelling = false;       // a scan is being stopped
  bool UnsavedRecovery = false;  // a save has begun and the user has not finished it
  std::string OutputFolder;      // where the files were recovered to
  std::int64_t FilesSaved = 0;   // by every save run since the scan run
  // The file-type selection lists of the two scans.
  std::vector<std::string> LowSelection;
  std::vector<std::string> FATSelection;
};

}  // namespace wizard
