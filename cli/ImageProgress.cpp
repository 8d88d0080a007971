#include "cli/ImageProgress.h"

#include <cstdio>

namespace cli {

std::string ImageProgressText(const disk::RescueProgress& progress, std::uint64_t readNow, double seconds) {
  const double share =
      progress.size > 0 ? static_cast<double>(progress.settled) / static_cast<double>(progress.size) : 1.0;
  const double speed = seconds > 0 ? static_cast<double>(readNow) / 1e6 / seconds : 0;
  char line[160];
  int n = std::snprintf(line, sizeof line, "Image %3d%%  %.1f MB rescued  %zu bad area%s  %.1f MB/s",
                        static_cast<int>(share * 100), static_cast<double>(progress.rescued) / 1e6,
                        progress.badAreas, progress.badAreas == 1 ? "" : "s", speed);
  if (speed > 0 && progress.settled < progress.size && n > 0 && static_cast<std::size_t>(n) < sizeof line) {
    const auto left =
        static_cast<long long>(static_cast<double>(progress.size - progress.settled) / 1e6 / speed + 0.5);
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "  %lld:%02lld left", left / 60, left % 60);
  }
  return line;
}

ImageProgress::ImageProgress(std::ostream& out, bool terminal, std::uint64_t rescuedBefore)
    : m_out(out), m_terminal(terminal), m_rescuedBefore(rescuedBefore) {}

void ImageProgress::Show(const disk::RescueProgress& progress, bool last) {
  const auto now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const std::uint64_t readNow = progress.rescued > m_rescuedBefore ? progress.rescued - m_rescuedBefore : 0;
  if (m_terminal) {
    if (!last && now - m_shown < std::chrono::milliseconds(200)) return;
    m_shown = now;
    m_out << '\r' << ImageProgressText(progress, readNow, seconds) << "\x1b[K" << (last ? "\n" : "") << std::flush;
    return;
  }
  const int tenth = progress.size > 0 ? static_cast<int>(progress.settled * 10 / progress.size) : 10;
  if (tenth == m_tenth && !last) return;
  m_tenth = tenth;
  m_out << ImageProgressText(progress, readNow, seconds) << '\n';
}

}  // namespace cli
