#pragma once
// The FAT12/16/32 boot sector. Two levels: the fields and the layout they imply, as
// they stand (for callers that look at a sector whatever it holds), and the checked
// decode that says whether they make a volume at all.

#include <cstdint>
#include <optional>

#include "platform/BootSector.h"
#include "util/ByteReader.h"

namespace platform {

struct FatFields {
  std::uint32_t bytesPerSector = 0;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t reservedSectors = 0;
  std::uint32_t fatCount = 0;
  std::uint32_t rootEntries = 0;
  std::uint64_t totalSectors = 0;  // the 16-bit field, or the 32-bit one when that is 0
  std::uint64_t fatSectors = 0;    // likewise
  bool fat32Layout = false;        // no 16-bit FAT size: the extended FAT32 fields follow
  std::uint32_t rootCluster = 0;   // FAT32 layout: the root directory's first cluster
  std::uint32_t fsInfoSector = 0;  // FAT32 layout: the sector of the free-cluster hint, 0 for none
  std::optional<std::uint32_t> serialNumber;
};

// The layout the fields imply, in 64-bit arithmetic (no field can overflow it); zeros
// where a field leaves a value undefined (no sector size, no clusters).
struct FatLayout {
  std::uint64_t rootDirSector = 0;
  std::uint64_t rootDirSectors = 0;
  std::uint64_t firstDataSector = 0;
  std::uint64_t dataClusters = 0;
  VolumeKind kind = VolumeKind::Fat12;  // from the cluster count alone, as every FAT driver decides it
};

FatFields ReadFatFields(const util::ByteReader& sector);
FatLayout LayoutOf(const FatFields& fields);

// The free-cluster count a FAT32 FS information sector keeps, when its signatures are
// there and the count can be the volume's; std::nullopt otherwise (the table must be counted).
std::optional<std::uint64_t> FatFreeClusterHint(const util::ByteReader& fsInfo, std::uint64_t dataClusters);

// The checked decode: sector size (and its fit to the device), a power-of-two cluster
// factor, reserved sectors, tables and root directory inside the volume, and tables
// large enough for the clusters of the type the count gives.
std::optional<BootGeometry> DecodeFatBootSector(const util::ByteReader& sector, const DeviceLimits& device);

}  // namespace platform
