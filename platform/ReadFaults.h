#pragma once
// Read faults laid over a device or image, for tests of how scans and saves go on
// when a medium fails. Every volume read (VolumeHandle::ReadAt) passes through here:
// with no fault registered, the one check is an atomic flag. Process-wide; the
// registrations name a file by its identity (device and inode), not its path.

#include <cstdint>
#include <string>

namespace platform {

class ReadFaults {
 public:
  // Reads of bytes [begin, end) of `path` fail with `error` (EIO by default), as a
  // disk's unreadable sectors do; bytes before them in the same read still arrive.
  static bool Fail(const std::string& path, std::uint64_t begin, std::uint64_t end, int error = 5);
  // The device ends at `size` bytes for reads: what lies behind comes back short.
  static bool EndAt(const std::string& path, std::uint64_t size);
  static void Clear();

  // pread(2) with the registered faults applied.
  static long PRead(int fd, void* buffer, std::uint64_t count, std::uint64_t offset);
};

}  // namespace platform
