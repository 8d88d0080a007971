#pragma once
// A drive or image opened read-only for a rescue copy: its size, its logical sector
// size, and reads that give up after a time limit (see TimedRead.h).
// Owned by the one copy that opened it; reads are made one at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/TimedRead.h"

namespace platform {

class RescueSource {
 public:
  enum class ReadStatus { kDone, kFailed, kTimedOut };
  struct ReadResult {
    ReadStatus status = ReadStatus::kFailed;
    std::size_t bytes = 0;  // bytes read when done (short only at the end)
    int error = 0;          // errno of a failed read
  };

  // Opens `path` for reading; the source begins `offset` bytes in and spans `length`
  // bytes (0: to the end), as a partition inside a whole disk does. nullptr, last
  // error set, when it cannot be opened or the offset lies beyond its end.
  static std::unique_ptr<RescueSource> Open(const std::string& path, std::uint64_t offset = 0,
                                            std::uint64_t length = 0);
  ~RescueSource();
  RescueSource(const RescueSource&) = delete;
  RescueSource& operator=(const RescueSource&) = delete;

  std::uint64_t Size() const { return m_size; }
  std::uint32_t SectorSize() const { return m_sectorSize; }
  // Whether `path` names this very file or device (an image must never overwrite its source).
  bool IsSameFile(const std::string& path) const;

  // Reads `out.size()` bytes at `offset`; with a zero `limit`, waits as long as the read takes.
  ReadResult ReadAt(std::uint64_t offset, std::span<std::byte> out, std::chrono::milliseconds limit);

 private:
  RescueSource() = default;
  std::shared_ptr<const SharedDescriptor> m_fd;
  std::uint64_t m_offset = 0;
  std::uint64_t m_size = 0;
  std::uint32_t m_sectorSize = 512;
  std::uint64_t m_device = 0, m_inode = 0, m_rdev = 0;
};

}  // namespace platform
