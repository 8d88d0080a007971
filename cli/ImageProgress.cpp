#include "cli/ImageProgress.h"

namespace cli {

ImageProgress::ImageProgress(std::ostream& out, bool terminal, std::uint64_t rescuedBefore)
    : m_out(out), m_terminal(terminal), m_rescuedBefore(rescuedBefore) {}

void ImageProgress::Show(const disk::RescueProgress& progress, bool last) {
  const auto now = Clock::now();
  const double seconds = std::chrono::duration<double>(now - m_start).count();
  const std::uint64_t readNow = progress.rescued > m_rescuedBefore ? progress.rescued - m_rescuedBefore : 0;
  if (m_terminal) {
    if (!last && now - m_shown < std::chrono::milliseconds(200)) return;
    m_shown = now;
    m_out << '\r' << disk::RescueProgressText(progress, readNow, seconds) << "\x1b[K" << (last ? "\n" : "") << std::flush;
    return;
  }
  const int tenth = progress.size > 0 ? static_cast<int>(progress.settled * 10 / progress.size) : 10;
  if (tenth == m_tenth && !last) return;
  m_tenth = tenth;
  m_out << disk::RescueProgressText(progress, readNow, seconds) << '\n';
}

}  // namespace cli
