#pragma once
// What a volume's first sector says about it, decoded once, in one place, for every
// reader of it: the drive queries (sizes and identity the way Windows reports them),
// the Undelete scan and the Low Level Scan. One decoder per kind (FatBootSector,
// NtfsBootSector, ExFatBootSector) with its own checks; this file picks the kind.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace platform {

enum class VolumeKind { Fat12, Fat16, Fat32, Ntfs, ExFat };

// What the device behind a boot sector says of itself; 0 where it is not known
// (an image file has no sector size of its own).
struct DeviceLimits {
  std::uint32_t logicalSectorSize = 0;
};

struct BootGeometry {
  VolumeKind kind = VolumeKind::Fat12;
  std::uint32_t bytesPerSector = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t totalSectors = 0;
  std::uint64_t dataClusters = 0;  // clusters Windows reports as the volume's total
  std::uint32_t serialNumber = 0;
  // FAT: where the first allocation table lies, how large each copy is, and where
  // the fixed root directory (FAT12/16) and the data area begin.
  std::uint64_t fatStartSector = 0;
  std::uint64_t fatSectors = 0;
  std::uint32_t fatCount = 0;
  std::uint64_t rootDirSector = 0;
  std::uint64_t rootDirSectors = 0;
  std::uint64_t firstDataSector = 0;
  // exFAT: the root directory's first cluster (cluster 2 lies at firstDataSector).
  std::uint32_t rootCluster = 0;
  std::uint32_t fsInfoSector = 0;  // FAT32: the sector keeping a free-cluster hint, 0 for none
  // NTFS: the cluster of the master file table and the bytes of one of its records.
  std::uint64_t mftCluster = 0;
  std::uint64_t mftRecordSize = 0;

  std::uint64_t ClusterBytes() const { return std::uint64_t{bytesPerSector} * sectorsPerCluster; }
  bool IsFat() const { return kind == VolumeKind::Fat12 || kind == VolumeKind::Fat16 || kind == VolumeKind::Fat32; }
};

// Decodes the boot sector; std::nullopt when it is not a FAT, NTFS or exFAT volume or a
// field is outside what a valid volume (on this device) can hold.
std::optional<BootGeometry> ParseBootSector(std::span<const std::byte> sector, const DeviceLimits& device = {});
// Free clusters counted from a FAT's bytes (entries 2 .. dataClusters + 1).
std::uint64_t CountFreeFatClusters(std::span<const std::byte> fat, VolumeKind kind, std::uint64_t dataClusters);

// The checks every kind shares.
bool ValidSectorSize(std::uint32_t bytesPerSector, const DeviceLimits& device);

}  // namespace platform
