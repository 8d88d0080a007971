#include "cli/ProgressLine.h"

#include <cstdio>

namespace cli {

std::string ProgressText(std::int64_t position, std::int64_t total, double seconds) {
  const double share = total > 0 ? static_cast<double>(position) / static_cast<double>(total) : 1.0;
  const double speed = seconds > 0 ? static_cast<double>(position) / 1e6 / seconds : 0;
  char line[96];
  if (speed > 0 && position < total) {
    const auto left = static_cast<long long>(static_cast<double>(total - position) / 1e6 / speed + 0.5);
    std::snprintf(line, sizeof line, "Low Level Scan %3d%%  %.1f MB/s  %lld:%02lld left", static_cast<int>(share * 100),
                  speed, left / 60, left % 60);
  } else {
    std::snprintf(line, sizeof line, "Low Level Scan %3d%%  %.1f MB/s", static_cast<int>(share * 100), speed);
  }
  return line;
}

ProgressLine::ProgressLine(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

void ProgressLine::SetBytes(std::int64_t position, std::int64_t total) {
  const auto now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const std::string text = ProgressText(position, total, seconds);
  if (m_terminal) {
    // A few updates a second are enough to read; the last one always shows.
    if (position < total && now - m_shown < std::chrono::milliseconds(200)) return;
    m_shown = now;
    m_out << '\r' << text << "\x1b[K" << std::flush;
    m_inPlace = true;
    return;
  }
  const int tenth = total > 0 ? static_cast<int>(position * 10 / total) : 10;
  if (tenth == m_tenth) return;
  m_tenth = tenth;
  m_out << text << '\n';
}

void ProgressLine::Break() {
  if (!m_inPlace) return;
  m_out << '\n';
  m_inPlace = false;
}

}  // namespace cli
