#pragma once
// Reads of a descriptor that give up after a time limit. A dying card can take seconds
// over one sector, or never answer: such a read is left to finish on a helper thread
// of its own while the caller goes on. Helpers read into buffers of their own, so an
// abandoned read never writes into memory the caller has let go, and hold the
// descriptor until they return. Finished helpers wait for the next read, so a read
// costs a hand-over, not a thread. Thread-safe: any number of callers at once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace platform {

class ImageSource;

// An open descriptor, closed when the last holder (owner or abandoned read) lets go; for an
// Expert Witness or split raw image, the image its reads go through.
class SharedDescriptor {
 public:
  explicit SharedDescriptor(int fd) : m_fd(fd) {}
  ~SharedDescriptor();
  SharedDescriptor(const SharedDescriptor&) = delete;
  SharedDescriptor& operator=(const SharedDescriptor&) = delete;
  int Get() const { return m_fd; }
  // Set once, when the source is opened, before any read.
  void SetImage(std::shared_ptr<const ImageSource> image) { m_image = std::move(image); }
  const ImageSource* Image() const { return m_image.get(); }

 private:
  int m_fd;
  std::shared_ptr<const ImageSource> m_image;
};

enum class ReadOutcome { kDone, kFailed, kTimedOut };

struct TimedReadResult {
  ReadOutcome outcome = ReadOutcome::kFailed;
  std::size_t bytes = 0;  // bytes read when done (short only at the end)
  int error = 0;          // errno of a failed read; ETIMEDOUT of one given up
};

// pread of `out.size()` bytes at `offset` until done, the end or an error (with the
// registered read faults when `withFaults`). With a zero `limit` the caller waits as long
// as the read takes.
TimedReadResult ReadWithin(const std::shared_ptr<const SharedDescriptor>& fd, std::uint64_t offset,
                           std::span<std::byte> out, std::chrono::milliseconds limit, bool withFaults = true);

// Reads given up and not yet returned, across the process.
std::size_t PendingAbandonedReads();

}  // namespace platform
