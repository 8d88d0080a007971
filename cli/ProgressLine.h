#pragma once
// The Low Level Scan's progress on standard error: percent, MB/s and time left.
// On a terminal one line is rewritten in place; otherwise a plain line is written
// at every tenth of the way, so logs stay readable.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "lowscan/MekLowScan.h"

namespace cli {

// "Low Level Scan  42%  310.5 MB/s  0:12 left" for `position` of `total` bytes after `seconds`.
std::string ProgressText(std::int64_t position, std::int64_t total, double seconds);

class ProgressLine : public lowscan::IProgressBar {
 public:
  ProgressLine(std::ostream& out, bool terminal);
  void SetRange(int, int) override {}
  void SetPosition(int) override {}
  void SetHint(const std::string&, bool) override {}
  void SetBytes(std::int64_t position, std::int64_t total) override;
  // Ends a line written in place, before other output.
  void Break();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& m_out;
  bool m_terminal;
  Clock::time_point m_start = Clock::now();
  Clock::time_point m_shown{};
  int m_tenth = -1;
  bool m_inPlace = false;
};

}  // namespace cli
