#pragma once
// What one scan found and saved, for the summary and the service's statistics records.
// Both scanners answer the same counting questions, so one template reads either.

#include <chrono>
#include <cstdint>
#include <string>

namespace cli {

struct ScanTotals {
  std::int64_t found = 0;
  std::int64_t dropped = 0;  // found, but left out of the list (their bytes are no picture)
  std::int64_t foundBytes = 0;
  std::string typesFound;
  std::int64_t saved = 0;
  std::int64_t savedBytes = 0;
  std::string typesSaved;
  double scanSeconds = 0;
  double saveSeconds = 0;
};

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// After a scan that began at `started`: the files found, their bytes and types.
template <typename Scanner>
void CountFound(const Scanner& scanner, Clock::time_point started, ScanTotals& totals) {
  totals.scanSeconds = SecondsSince(started);
  totals.found = scanner.GetFoundNumber();
  totals.foundBytes = scanner.GetSaveSize(1);
  totals.typesFound = scanner.GetTypesFound();
}

// Runs `save` (which returns the files saved) and counts what it saved.
template <typename Scanner, typename Save>
void SaveAndCount(Scanner& scanner, Save&& save, ScanTotals& totals) {
  const auto started = Clock::now();
  totals.saved = save();
  totals.savedBytes = scanner.GetSaveSize(0);
  totals.typesSaved = scanner.GetTypesSaved();
  totals.saveSeconds = SecondsSince(started);
}

}  // namespace cli
