#include "util/PaceText.h"

#include <cstdio>

namespace util {

std::string PaceText(std::int64_t position, std::int64_t total, double seconds) {
  const double share = total > 0 ? static_cast<double>(position) / static_cast<double>(total) : 1.0;
  const double speed = seconds > 0 ? static_cast<double>(position) / 1e6 / seconds : 0;
  char line[80];
  if (speed > 0 && position < total) {
    const auto left = static_cast<long long>(static_cast<double>(total - position) / 1e6 / speed + 0.5);
    std::snprintf(line, sizeof line, "%3d%%  %.1f MB/s  %lld:%02lld left", static_cast<int>(share * 100), speed,
                  left / 60, left % 60);
  } else {
    std::snprintf(line, sizeof line, "%3d%%  %.1f MB/s", static_cast<int>(share * 100), speed);
  }
  return line;
}

}  // namespace util
