#pragma once
// The exFAT boot region: the main boot sector with its checks, the checksum sector that
// seals the region's first eleven sectors, and the backup region twelve sectors on,
// tried when the main one does not check.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/BootSector.h"
#include "util/ByteReader.h"

namespace platform {

// The fields of a main (or backup) boot sector as they stand.
struct ExFatFields {
  std::uint64_t volumeLength = 0;       // sectors
  std::uint32_t fatOffset = 0;          // sectors from the volume's start
  std::uint32_t fatLength = 0;          // sectors of one FAT
  std::uint32_t clusterHeapOffset = 0;  // sector of cluster 2
  std::uint32_t clusterCount = 0;
  std::uint32_t rootCluster = 0;
  std::uint32_t serialNumber = 0;
  std::uint16_t volumeFlags = 0;
  std::uint8_t sectorShift = 0;
  std::uint8_t clusterShift = 0;
  std::uint8_t fatCount = 0;
};

// Sectors of one boot region: boot sector, eight extended boot sectors, OEM parameters,
// a reserved sector and the checksum sector.
constexpr std::uint64_t kExFatBootRegionSectors = 12;
// Bytes that hold both regions at the largest sector size.
constexpr std::size_t kExFatBootRegionsBytes = 2 * kExFatBootRegionSectors * 4096;

ExFatFields ReadExFatFields(const util::ByteReader& sector);

// The checked decode of one boot sector: the FAT-compatible fields zero, the signature,
// sector and cluster shifts (a cluster's sectors fit one transfer), one or two FATs large
// enough for every cluster, FATs before the cluster heap, the heap inside the volume, the
// root directory's cluster inside the heap, and byte offsets that fit 64 bits.
std::optional<BootGeometry> DecodeExFatBootSector(const util::ByteReader& sector, const DeviceLimits& device);

// The checksum of a region's first eleven sectors (`bytes` holds at least them), over every
// byte but the volume flags and the percentage in use, which change without it.
std::uint32_t ExFatBootChecksum(std::span<const std::byte> bytes, std::uint32_t bytesPerSector);

struct ExFatBootRegion {
  BootGeometry geometry;
  ExFatFields fields;
  bool mainChecksumMatches = false;  // the main region's checksum sector agrees with it
  bool fromBackup = false;           // the backup region was taken
};

// Decodes the boot region from a volume's first bytes (both regions: kExFatBootRegionsBytes,
// fewer at the end of a small device). The main region when its checksum matches; else the
// backup region when it decodes and its checksum matches; else the main boot sector on its
// own when its fields check. std::nullopt when none does.
std::optional<ExFatBootRegion> DecodeExFatBootRegion(std::span<const std::byte> firstBytes,
                                                     const DeviceLimits& device);

// Where the allocation bitmap lies, as its entry in the root directory says; `which` picks
// the first (0) or second (1) of transaction-safe exFAT's two.
struct ExFatBitmapPlace {
  std::uint32_t firstCluster = 0;
  std::uint64_t length = 0;
};
std::optional<ExFatBitmapPlace> FindExFatBitmap(std::span<const std::byte> rootDirectory, unsigned which);
// Clusters the bitmap marks free, of the first `clusterCount` (bit n: cluster n + 2).
std::uint64_t CountFreeExFatClusters(std::span<const std::byte> bitmap, std::uint64_t clusterCount);

}  // namespace platform
