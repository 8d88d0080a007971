#pragma once
// The image command's progress on standard error, written as the scans' is: one line
// rewritten in place on a terminal, else a plain line at every tenth of the way.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "disk/RescueCopy.h"

namespace cli {

class ImageProgress {
 public:
  ImageProgress(std::ostream& out, bool terminal, std::uint64_t rescuedBefore);
  void Show(const disk::RescueProgress& progress, bool last = false);

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& m_out;
  bool m_terminal;
  std::uint64_t m_rescuedBefore;
  Clock::time_point m_start = Clock::now();
  Clock::time_point m_shown{};
  int m_tenth = -1;
};

}  // namespace cli
