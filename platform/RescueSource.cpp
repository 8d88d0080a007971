#include "platform/RescueSource.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ImageSource.h"
#include "platform/LastError.h"
#include "platform/ReadFaults.h"
#include "platform/SourceFiles.h"

namespace platform {

struct RescueSource::Descriptor {
  int fd = -1;
  std::shared_ptr<const ImageSource> image;  // an Expert Witness or split raw image: read through it
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

namespace {

// What a read left on its thread hands back; shared so an abandoned read can finish alone.
struct PendingRead {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  long result = 0;
  int error = 0;
  std::vector<std::byte> buffer;
};

long ReadFully(const RescueSource::Descriptor& source, std::byte* out, std::size_t count, std::uint64_t offset,
               int& error) {
  std::size_t got = 0;
  while (got < count) {
    errno = 0;
    const long n = source.image
                       ? static_cast<long>(source.image->ReadAt(offset + got, std::span(out + got, count - got)))
                       : ReadFaults::PRead(source.fd, out + got, count - got, offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long>(got);
}

}  // namespace

std::unique_ptr<RescueSource> RescueSource::Open(const std::string& path, std::uint64_t offset,
                                                 std::uint64_t length) {
  const int fd = OpenSourceFile(path);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  std::unique_ptr<RescueSource> source(new RescueSource());
  source->m_fd = std::make_shared<Descriptor>();
  source->m_fd->fd = fd;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  source->m_device = info.st_dev;
  source->m_inode = info.st_ino;
  source->m_rdev = info.st_rdev;
  if (S_ISBLK(info.st_mode)) {
    std::uint64_t size = 0;
    int sectorSize = 0;
    if (::ioctl(fd, BLKGETSIZE64, &size) == 0) source->m_size = size;
    if (::ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize >= 512 && sectorSize <= 65536)
      source->m_sectorSize = static_cast<std::uint32_t>(sectorSize);
  } else if (ImageSource::KindOf(path) != ImageSource::Kind::Plain) {
    source->m_fd->image = ImageSource::Open(path);
    if (!source->m_fd->image) return nullptr;
    source->m_size = source->m_fd->image->Size();
  } else {
    source->m_size = static_cast<std::uint64_t>(info.st_size);
  }
  if (offset > source->m_size) {
    SetLastErrorFromErrno(EINVAL);
    errno = EINVAL;
    return nullptr;
  }
  source->m_offset = offset;
  source->m_size -= offset;
  if (length > 0 && length < source->m_size) source->m_size = length;
  return source;
}

RescueSource::~RescueSource() = default;

bool RescueSource::IsSameFile(const std::string& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (S_ISBLK(info.st_mode)) return m_rdev != 0 && info.st_rdev == m_rdev;
  return info.st_dev == m_device && info.st_ino == m_inode;
}

RescueSource::ReadResult RescueSource::ReadAt(std::uint64_t offset, std::span<std::byte> out,
                                              std::chrono::milliseconds limit) {
  ReadResult result;
  if (limit.count() <= 0) {
    const long n = ReadFully(*m_fd, out.data(), out.size(), m_offset + offset, result.error);
    if (n >= 0) result = {ReadStatus::kDone, static_cast<std::size_t>(n), 0};
    return result;
  }
  auto pending = std::make_shared<PendingRead>();
  pending->buffer.resize(out.size());
  std::thread([pending, fd = m_fd, offset = m_offset + offset] {
    int error = 0;
    const long n = ReadFully(*fd, pending->buffer.data(), pending->buffer.size(), offset, error);
    const std::lock_guard lock(pending->mutex);
    pending->result = n;
    pending->error = error;
    pending->done = true;
    pending->finished.notify_one();
  }).detach();
  std::unique_lock lock(pending->mutex);
  if (!pending->finished.wait_for(lock, limit, [&] { return pending->done; })) {
    result.status = ReadStatus::kTimedOut;
    return result;
  }
  if (pending->result < 0) {
    result.error = pending->error;
    return result;
  }
  std::memcpy(out.data(), pending->buffer.data(), static_cast<std::size_t>(pending->result));
  return {ReadStatus::kDone, static_cast<std::size_t>(pending->result), 0};
}

}  // namespace platform
