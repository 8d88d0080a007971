#include "cli/ProgressLine.h"

#include "util/PaceText.h"

namespace cli {

std::string ProgressText(std::int64_t position, std::int64_t total, double seconds) {
  return "Low Level Scan " + util::PaceText(position, total, seconds);
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
