#pragma once
// What a volume's first sector says about it: enough to answer the size and
// identity queries the way Windows does (data clusters, sectors per cluster,
// sector size, serial number) for FAT, NTFS and exFAT volumes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform {

enum class VolumeKind { Fat12, Fat16, Fat32, Ntfs, ExFat };

struct BootGeometry {
  VolumeKind kind = VolumeKind::Fat12;
  std::uint32_t bytesPerSector = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t totalSectors = 0;
  std::uint64_t dataClusters = 0;    // clusters Windows reports as the volume's total
  std::uint32_t serialNumber = 0;
  // FAT only: where the first allocation table lies and how large it is.
  std::uint64_t fatStartSector = 0;
  std::uint64_t fatSectors = 0;
};

// Decodes the boot sector; std::nullopt when it is not a FAT, NTFS or exFAT volume or a
// field is outside what a valid volume can hold.
std::optional<BootGeometry> ParseBootSector(std::span<const std::byte> sector);
// Free clusters counted from a FAT's bytes (entries 2 .. dataClusters + 1).
std::uint64_t CountFreeFatClusters(std::span<const std::byte> fat, VolumeKind kind, std::uint64_t dataClusters);

}  // namespace platform
