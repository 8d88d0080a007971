#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Files.h"
#include "platform/LastError.h"

namespace platform {

TOutputFile::TOutputFile(std::string_view path, Mode mode)
    : m_fd(mode == Mode::kNew ? FileCreateNew(path) : FileCreateWide(path)) {}

TOutputFile::~TOutputFile() {
  if (m_fd >= 0) ::close(m_fd);
}

bool TOutputFile::WriteAll(std::span<const std::byte> data, std::int64_t& written) {
  written = 0;
  if (m_fd < 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  const auto count = static_cast<std::int64_t>(data.size());
  while (written < count) {
    const ssize_t n = ::write(m_fd, data.data() + written, static_cast<std::size_t>(count - written));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error is a full disk.
      SetLastErrorFromErrno(n < 0 ? errno : ENOSPC);
      break;
    }
    written += n;
  }
  m_position += written;
  m_length = std::max(m_length, m_position);
  return written == count;
}

bool TOutputFile::SkipZeros(std::int64_t count) {
  if (m_fd < 0 || count < 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (::lseek(m_fd, static_cast<off_t>(count), SEEK_CUR) < 0) {
    SetLastErrorFromErrno(errno);
    return false;
  }
  m_position += count;
  return true;
}

bool TOutputFile::SetTimes(std::int64_t unixSeconds) {
  const timespec times[2] = {{static_cast<time_t>(unixSeconds), 0}, {static_cast<time_t>(unixSeconds), 0}};
  if (m_fd < 0 || ::futimens(m_fd, times) != 0) {
    SetLastErrorFromErrno(m_fd < 0 ? EBADF : errno);
    return false;
  }
  return true;
}

bool TOutputFile::Close() {
  if (m_fd < 0) return true;
  bool ok = true;
  // A file that ends in a hole has no byte written at its end to give it its length.
  if (m_position > m_length && ::ftruncate(m_fd, static_cast<off_t>(m_position)) != 0) {
    SetLastErrorFromErrno(errno);
    ok = false;
  }
  if (::close(m_fd) != 0 && ok) {
    SetLastErrorFromErrno(errno);
    ok = false;
  }
  m_fd = -1;
  return ok;
}

}  // namespace platform
