#include "platform/ExFatBootSector.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace platform {
namespace {

// Cluster numbers run from 2; the FAT's top values are marks (bad cluster, end of chain).
constexpr std::uint64_t kMaxClusters = 0xFFFFFFF5;
// Transfers count sectors in 16 bits: one cluster must fit one.
constexpr std::uint32_t kMaxSectorsPerCluster = 32768;

bool FatCompatibleFieldsZero(const util::ByteReader& r) {
  for (std::uint64_t i = 11; i < 64; ++i) {
    if (r.U8(i) != 0) return false;
  }
  return true;
}

}  // namespace

ExFatFields ReadExFatFields(const util::ByteReader& r) {
  ExFatFields f;
  f.volumeLength = r.U64(72);
  f.fatOffset = r.U32(80);
  f.fatLength = r.U32(84);
  f.clusterHeapOffset = r.U32(88);
  f.clusterCount = r.U32(92);
  f.rootCluster = r.U32(96);
  f.serialNumber = r.U32(100);
  f.volumeFlags = r.U16(106);
  f.sectorShift = r.U8(108);
  f.clusterShift = r.U8(109);
  f.fatCount = r.U8(110);
  return f;
}

std::optional<BootGeometry> DecodeExFatBootSector(const util::ByteReader& r, const DeviceLimits& device) {
  if (r.Size() < 512 || r.Text(3, 8) != "EXFAT   " || r.U16(510) != 0xAA55) return std::nullopt;
  if (!FatCompatibleFieldsZero(r)) return std::nullopt;
  const ExFatFields f = ReadExFatFields(r);
  if (f.sectorShift < 9 || f.sectorShift > 12 || f.clusterShift > 25 - f.sectorShift) return std::nullopt;
  BootGeometry g;
  g.kind = VolumeKind::ExFat;
  g.bytesPerSector = 1u << f.sectorShift;
  if (!ValidSectorSize(g.bytesPerSector, device)) return std::nullopt;
  g.sectorsPerCluster = 1u << f.clusterShift;
  if (g.sectorsPerCluster > kMaxSectorsPerCluster) return std::nullopt;
  // Every byte offset of the volume must fit a signed 64-bit number.
  const auto maxSectors = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / g.bytesPerSector;
  if (f.volumeLength == 0 || f.volumeLength > maxSectors) return std::nullopt;
  if (f.fatCount != 1 && f.fatCount != 2) return std::nullopt;
  if (f.clusterCount == 0 || f.clusterCount > kMaxClusters) return std::nullopt;
  // The boot regions come first; the FATs lie between them and the cluster heap.
  if (f.fatOffset < 2 * kExFatBootRegionSectors || f.fatLength == 0) return std::nullopt;
  if (std::uint64_t{f.fatOffset} + std::uint64_t{f.fatLength} * f.fatCount > f.clusterHeapOffset) return std::nullopt;
  // A FAT holds a 32-bit entry for each cluster and the two reserved ones.
  if (std::uint64_t{f.fatLength} * g.bytesPerSector < (std::uint64_t{f.clusterCount} + 2) * 4) return std::nullopt;
  if (f.clusterHeapOffset + std::uint64_t{f.clusterCount} * g.sectorsPerCluster > f.volumeLength) return std::nullopt;
  if (f.rootCluster < 2 || f.rootCluster > std::uint64_t{f.clusterCount} + 1) return std::nullopt;
  g.totalSectors = f.volumeLength;
  g.dataClusters = f.clusterCount;
  g.serialNumber = f.serialNumber;
  // With two FATs (transaction-safe exFAT) the volume flags name the one in force.
  const bool secondActive = f.fatCount == 2 && (f.volumeFlags & 1) != 0;
  g.fatStartSector = f.fatOffset + (secondActive ? std::uint64_t{f.fatLength} : 0);
  g.fatSectors = f.fatLength;
  g.fatCount = f.fatCount;
  g.firstDataSector = f.clusterHeapOffset;
  g.rootCluster = f.rootCluster;
  return g;
}

std::uint32_t ExFatBootChecksum(std::span<const std::byte> bytes, std::uint32_t bytesPerSector) {
  const std::size_t length = std::min<std::size_t>(bytes.size(), std::size_t{11} * bytesPerSector);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (i == 106 || i == 107 || i == 112) continue;
    sum = ((sum & 1) != 0 ? 0x80000000u : 0u) + (sum >> 1) + std::to_integer<std::uint8_t>(bytes[i]);
  }
  return sum;
}

namespace {

// Whether the region at the start of `region` is sealed by its checksum sector: the sum
// repeated across the twelfth sector.
bool RegionChecksumMatches(const util::ByteReader& region, std::uint32_t bytesPerSector) {
  const std::uint64_t sectorBytes = bytesPerSector;
  if (!region.Has(0, kExFatBootRegionSectors * sectorBytes)) return false;
  const std::uint32_t sum = ExFatBootChecksum(region.Bytes(), bytesPerSector);
  for (std::uint64_t at = 11 * sectorBytes; at < 12 * sectorBytes; at += 4) {
    if (region.U32(at) != sum) return false;
  }
  return true;
}

}  // namespace

std::optional<ExFatBootRegion> DecodeExFatBootRegion(std::span<const std::byte> firstBytes,
                                                     const DeviceLimits& device) {
  const util::ByteReader all(firstBytes);
  const auto main = DecodeExFatBootSector(all, device);
  if (main && RegionChecksumMatches(all, main->bytesPerSector)) {
    return ExFatBootRegion{*main, ReadExFatFields(all), true, false};
  }
  // The backup lies twelve sectors on, at whatever sector size it says it has; a main
  // sector that decoded already says which.
  for (std::uint32_t size = 512; size <= 4096; size *= 2) {
    if (main && size != main->bytesPerSector) continue;
    const auto region = all.Sub(kExFatBootRegionSectors * size, kExFatBootRegionSectors * size);
    if (!region) continue;
    const auto backup = DecodeExFatBootSector(*region, device);
    if (backup && backup->bytesPerSector == size && RegionChecksumMatches(*region, size)) {
      return ExFatBootRegion{*backup, ReadExFatFields(*region), false, true};
    }
  }
  if (main) return ExFatBootRegion{*main, ReadExFatFields(all), false, false};
  return std::nullopt;
}

std::optional<ExFatBitmapPlace> FindExFatBitmap(std::span<const std::byte> rootDirectory, unsigned which) {
  const util::ByteReader r(rootDirectory);
  for (std::uint64_t at = 0; r.Has(at, 32); at += 32) {
    const std::uint8_t type = r.U8(at);
    if (type == 0x00) break;
    if (type == 0x81 && (r.U8(at + 1) & 1) == which) return ExFatBitmapPlace{r.U32(at + 20), r.U64(at + 24)};
  }
  return std::nullopt;
}

std::uint64_t CountFreeExFatClusters(std::span<const std::byte> bitmap, std::uint64_t clusterCount) {
  std::uint64_t used = 0;
  const std::uint64_t whole = std::min<std::uint64_t>(clusterCount / 8, bitmap.size());
  for (std::uint64_t i = 0; i < whole; ++i) used += static_cast<unsigned>(std::popcount(std::to_integer<unsigned>(bitmap[i])));
  for (std::uint64_t c = whole * 8; c < clusterCount && c / 8 < bitmap.size(); ++c) {
    used += (std::to_integer<unsigned>(bitmap[c / 8]) >> (c % 8)) & 1;
  }
  // Clusters the bitmap does not reach are not known to be free.
  const std::uint64_t covered = std::min<std::uint64_t>(clusterCount, std::uint64_t{bitmap.size()} * 8);
  return covered - used;
}

}  // namespace platform
