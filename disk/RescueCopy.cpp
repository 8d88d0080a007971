#include "disk/RescueCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace disk {

namespace {

using Clock = std::chrono::steady_clock;
using platform::RescueSource;

// The longest jump after errors in a row: far enough to leave a dying stretch soon,
// near enough not to leave much good ground for the later passes.
constexpr std::uint64_t kMaxSkip = 64ull << 20;
// Failed large blocks are read again in pieces this size before single sectors: it
// finds the good ground around a bad spot in few reads, at one more read of the spot.
constexpr std::uint64_t kSplitBlock = 64ull << 10;
// How often the map is saved while reading; every save also syncs the image.
constexpr auto kSaveEvery = std::chrono::seconds(2);

class Copier {
 public:
  Copier(RescueSource& source, util::RescueMap& map, const RescueTarget& target, const RescueOptions& options,
         const std::atomic<bool>& stop, const std::function<void(const RescueProgress&)>& progress)
      : m_source(source), m_map(map), m_target(target), m_options(options), m_stop(stop), m_progress(progress) {
    m_sector = source.SectorSize();
    m_block = std::max<std::uint64_t>(m_sector, options.blockSize / m_sector * m_sector);
    m_buffer.resize(m_block);
  }

  RescueResult Run() {
    const std::uint64_t split = std::min(m_block, std::max<std::uint64_t>(m_sector, kSplitBlock / m_sector * m_sector));
    if (!CopyPass('?', 1, m_block, true) || !CopyPass('?', 2, m_block, false) || !CopyPass('*', 3, split, false) ||
        !TrimPass() || !ScrapePass())
      return Finish();
    for (int retry = 0; retry < m_options.retries; ++retry)
      if (!RetryPass()) return Finish();
    m_map.SetCurrent(m_map.Size(), '+', 5);
    return Finish();
  }

 private:
  // Large reads over every area with `status`; on a failure the block is left to split
  // and, with `skipping`, the read goes on further ahead.
  bool CopyPass(char status, int pass, std::uint64_t block, bool skipping) {
    std::uint64_t skip = 0;
    for (const auto& area : m_map.AreasWith(status)) {
      std::uint64_t pos = area.pos;
      const std::uint64_t end = area.pos + area.size;
      while (pos < end) {
        const std::uint64_t length = std::min(block - pos % block, end - pos);
        if (!Read(pos, length, '*', status, pass)) return false;
        pos += length;
        if (m_lastGood) {
          skip = 0;
          continue;
        }
        if (!skipping) continue;
        skip = std::min(kMaxSkip, skip == 0 ? block : skip * 2);
        pos = std::min(end, pos + skip);
      }
    }
    return true;
  }

  // Single sectors in from both edges of each failed block until each edge meets a bad sector.
  bool TrimPass() {
    for (const auto& area : m_map.AreasWith('*')) {
      std::uint64_t pos = area.pos;
      std::uint64_t end = area.pos + area.size;
      while (pos < end) {
        const std::uint64_t length = SectorAt(pos, end);
        if (!Read(pos, length, '-', '*', 4)) return false;
        pos += length;
        if (!m_lastGood) break;
      }
      while (end > pos) {
        const std::uint64_t start = std::max(pos, (end - 1) / m_sector * m_sector);
        if (!Read(start, end - start, '-', '*', 4)) return false;
        end = start;
        if (!m_lastGood) break;
      }
      if (end > pos) m_map.Mark(pos, end - pos, '/');
    }
    return true;
  }

  bool ScrapePass() { return SectorPass('/', 4); }
  bool RetryPass() { return SectorPass('-', 5); }

  bool SectorPass(char status, int pass) {
    for (const auto& area : m_map.AreasWith(status)) {
      const std::uint64_t end = area.pos + area.size;
      for (std::uint64_t pos = area.pos; pos < end;) {
        const std::uint64_t length = SectorAt(pos, end);
        if (!Read(pos, length, '-', status, pass)) return false;
        pos += length;
      }
    }
    return true;
  }

  std::uint64_t SectorAt(std::uint64_t pos, std::uint64_t end) const {
    return std::min(m_sector - pos % m_sector, end - pos);
  }

  // Reads and writes [pos, pos + length): rescued bytes become '+', the rest `failed`.
  // False when the copy must end (stopped, or the image or map could not be written).
  bool Read(std::uint64_t pos, std::uint64_t length, char failed, char current, int pass) {
    if (m_stop.load()) {
      m_stopped = true;
      return false;
    }
    m_map.SetCurrent(pos, current, pass);
    const auto result = m_source.ReadAt(pos, std::span(m_buffer.data(), length), m_options.timeout);
    std::uint64_t got = result.status == RescueSource::ReadStatus::kDone ? result.bytes : 0;
    if (got > 0 && !Write(pos, got)) return false;
    m_map.Mark(pos, got, '+');
    m_lastGood = got == length;
    if (!m_lastGood) m_map.Mark(pos + got, length - got, failed);
    RescueProgress progress;
    progress.size = m_map.Size();
    progress.rescued = m_map.BytesWith('+');
    progress.settled = progress.rescued + m_map.BytesWith('-');
    progress.badAreas = m_map.BadAreas();
    progress.pass = pass;
    if (m_progress) m_progress(progress);
    if (Clock::now() - m_saved >= kSaveEvery) return Save();
    return true;
  }

  bool Write(std::uint64_t pos, std::uint64_t length) {
    for (std::uint64_t done = 0; done < length;) {
      const auto n = ::pwrite(m_target.imageFd, m_buffer.data() + done, length - done,
                              static_cast<off_t>(pos + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        m_error = std::string("cannot write the image: ") + std::strerror(n < 0 ? errno : ENOSPC);
        return false;
      }
      done += static_cast<std::uint64_t>(n);
    }
    return true;
  }

  bool Save() {
    m_saved = Clock::now();
    const std::string error = SaveRescueMap(m_map, m_target.mapPath, m_target.mapComments, m_target.imageFd);
    if (error.empty()) return true;
    if (m_error.empty()) m_error = error;
    return false;
  }

  RescueResult Finish() {
    const bool saved = Save();
    if (!m_error.empty() || !saved) return {RescueEnd::kWriteFailed, m_error};
    return {m_stopped ? RescueEnd::kStopped : RescueEnd::kDone, {}};
  }

  RescueSource& m_source;
  util::RescueMap& m_map;
  const RescueTarget& m_target;
  const RescueOptions& m_options;
  const std::atomic<bool>& m_stop;
  const std::function<void(const RescueProgress&)>& m_progress;
  std::uint64_t m_sector = 512;
  std::uint64_t m_block = 0;
  std::vector<std::byte> m_buffer;
  Clock::time_point m_saved = Clock::now();
  bool m_lastGood = false;
  bool m_stopped = false;
  std::string m_error;
};

}  // namespace

RescueResult RunRescue(RescueSource& source, util::RescueMap& map, const RescueTarget& target, const RescueOptions& options,
                       const std::atomic<bool>& stop, const std::function<void(const RescueProgress&)>& progress) {
  return Copier(source, map, target, options, stop, progress).Run();
}

std::string SaveRescueMap(const util::RescueMap& map, const std::string& path, const std::vector<std::string>& comments,
                          int imageFd) {
  if (imageFd >= 0 && ::fdatasync(imageFd) != 0 && errno != EINVAL)
    return std::string("cannot sync the image: ") + std::strerror(errno);
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << map.Format(comments);
    out.flush();
    if (!out) return "cannot write the map " + temporary;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0)
    return "cannot replace the map " + path + ": " + std::strerror(errno);
  return {};
}

std::string RescueProgressText(const RescueProgress& progress, std::uint64_t readNow, double seconds) {
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

}  // namespace disk
