#include "platform/SourceFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// The kind of a file that holds no sectors; null for an image or block device.
const char* NoDiskKind(mode_t mode) {
  if (S_ISREG(mode) || S_ISBLK(mode)) return nullptr;
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISDIR(mode)) return "a folder";
  return "not a regular file";
}

}  // namespace

std::string SourceKindRefusal(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  if (const char* kind = NoDiskKind(st.st_mode)) {
    return path + " is " + kind + ", not a drive, image or block device: it holds no sectors to scan";
  }
  if (S_ISREG(st.st_mode) && st.st_size == 0) return path + " is an empty file: it holds no sectors to scan";
  return {};
}

int OpenSourceFile(const std::string& path) {
  // A device that is no disk is not even opened (a tape rewinds on close).
  struct stat before {};
  if (::stat(path.c_str(), &before) == 0 && NoDiskKind(before.st_mode) != nullptr) {
    errno = ENODEV;
    return -1;
  }
  // Without O_NONBLOCK, opening a FIFO waits for a writer; the kind is checked again on what
  // was opened, so a path swapped in between is caught too.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || NoDiskKind(st.st_mode) != nullptr) {
    const int error = errno != 0 && NoDiskKind(st.st_mode) == nullptr ? errno : ENODEV;
    ::close(fd);
    errno = error;
    return -1;
  }
  // Reads of a disk wait for their data.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

}  // namespace platform
