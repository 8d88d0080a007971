#include "platform/RescueSource.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ImageSource.h"
#include "platform/LastError.h"
#include "platform/SourceFiles.h"
#include "platform/TimedRead.h"

namespace platform {

std::unique_ptr<RescueSource> RescueSource::Open(const std::string& path, std::uint64_t offset,
                                                 std::uint64_t length) {
  const int fd = OpenSourceFile(path);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return nullptr;
  }
  std::unique_ptr<RescueSource> source(new RescueSource());
  auto descriptor = std::make_shared<SharedDescriptor>(fd);
  source->m_fd = descriptor;
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
    auto image = ImageSource::Open(path);
    if (!image) return nullptr;
    source->m_size = image->Size();
    descriptor->SetImage(std::move(image));
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
  const TimedReadResult read = ReadWithin(m_fd, m_offset + offset, out, limit);
  switch (read.outcome) {
    case ReadOutcome::kDone: return {ReadStatus::kDone, read.bytes, 0};
    case ReadOutcome::kTimedOut: return {ReadStatus::kTimedOut, 0, read.error};
    case ReadOutcome::kFailed: break;
  }
  return {ReadStatus::kFailed, 0, read.error};
}

}  // namespace platform
