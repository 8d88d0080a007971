#pragma once
// The drive services the sector layer calls on: drive type, free space and
// geometry as Windows reports them, and volume identity, all answered from the
// drive's open Volume; and, for the one write path, writable access to its bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// The drive type of a root such as "E:\" (first character the letter).
int GetDriveTypeOf(std::string_view root);

struct FreeSpaceEx {
  std::uint64_t freeBytesAvailable = 0;  // to this user (statvfs f_bavail)
  std::uint64_t totalBytes = 0;
  std::uint64_t totalFreeBytes = 0;
};
struct FreeSpace {
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint64_t freeClusters = 0;
  std::uint64_t totalClusters = 0;  // data clusters
};
// Both fail (false, last error set) for a letter that is not in use or cannot be read.
bool GetDiskFreeSpaceEx(std::string_view root, FreeSpaceEx& out);
bool GetDiskFreeSpace(std::string_view root, FreeSpace& out);

struct VolumeInformation {
  std::uint32_t serialNumber = 0;
  std::string label;
  std::string fileSystem;  // "FAT", "FAT32", "NTFS", "exFAT" or the upper-cased kernel name
};
bool GetVolumeInformation(std::string_view root, VolumeInformation& out);

// Just the sector size and sectors per cluster, without counting free space.
bool GetSectorGeometry(std::string_view root, std::uint32_t& bytesPerSector, std::uint32_t& sectorsPerCluster);

// A volume opened for writing: closes itself.
class VolumeHandle {
 public:
  VolumeHandle() = default;
  explicit VolumeHandle(int fd) : m_fd(fd) {}
  ~VolumeHandle();
  VolumeHandle(VolumeHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
  VolumeHandle& operator=(VolumeHandle&& other) noexcept;
  VolumeHandle(const VolumeHandle&) = delete;
  VolumeHandle& operator=(const VolumeHandle&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  // Writes the whole span at the offset; returns the bytes written, -1 on an error
  // (last error set).
  std::int64_t WriteAt(std::uint64_t offset, std::span<const std::byte> data) const;

 private:
  int m_fd = -1;
};

// Opens the volume behind a drive letter for writing; not open (last error set) on failure.
VolumeHandle OpenVolumeForWriting(char letter);

// False when the drive's device exists but this user may not read it (a raw
// device needs root); true for drives without a device (folders, shares).
bool MayReadVolume(char letter);

}  // namespace platform
