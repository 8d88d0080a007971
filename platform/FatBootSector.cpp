#include "platform/FatBootSector.h"

#include <algorithm>
#include <bit>

namespace platform {
namespace {

// Cluster numbers run from 2; FAT32 entries are 28 bits and the top ones are marks.
constexpr std::uint64_t kMaxFat32Clusters = 0x0FFFFFF5;

unsigned EntryBits(VolumeKind kind) { return kind == VolumeKind::Fat12 ? 12 : kind == VolumeKind::Fat16 ? 16 : 32; }

}  // namespace

FatFields ReadFatFields(const util::ByteReader& r) {
  FatFields f;
  f.bytesPerSector = r.U16(11);
  f.sectorsPerCluster = r.U8(13);
  f.reservedSectors = r.U16(14);
  f.fatCount = r.U8(16);
  f.rootEntries = r.U16(17);
  const std::uint16_t total16 = r.U16(19);
  const std::uint16_t fat16 = r.U16(22);
  f.totalSectors = total16 != 0 ? total16 : r.U32(32);
  f.fatSectors = fat16 != 0 ? fat16 : r.U32(36);
  f.fat32Layout = fat16 == 0;
  if (f.fat32Layout) {
    f.rootCluster = r.U32(44);
    const std::uint16_t fsInfo = r.U16(48);
    // 0 and 0xFFFF both say there is none; the boot sector itself cannot be one.
    f.fsInfoSector = fsInfo == 0xFFFF ? 0 : fsInfo;
  }
  const std::uint64_t signature = f.fat32Layout ? 66 : 38;
  if (r.U8(signature) == 0x29 || r.U8(signature) == 0x28) f.serialNumber = r.U32(signature + 1);
  return f;
}

FatLayout LayoutOf(const FatFields& f) {
  FatLayout l;
  // Every field is at most 32 bits wide: none of these sums or products leaves 64 bits.
  if (f.bytesPerSector != 0) {
    l.rootDirSectors = (std::uint64_t{f.rootEntries} * 32 + f.bytesPerSector - 1) / f.bytesPerSector;
  }
  l.rootDirSector = f.reservedSectors + std::uint64_t{f.fatCount} * f.fatSectors;
  l.firstDataSector = l.rootDirSector + l.rootDirSectors;
  if (f.sectorsPerCluster != 0 && f.totalSectors > l.firstDataSector) {
    l.dataClusters = (f.totalSectors - l.firstDataSector) / f.sectorsPerCluster;
  }
  l.kind = l.dataClusters < 4085 ? VolumeKind::Fat12 : l.dataClusters < 65525 ? VolumeKind::Fat16 : VolumeKind::Fat32;
  return l;
}

std::optional<std::uint64_t> FatFreeClusterHint(const util::ByteReader& fsInfo, std::uint64_t dataClusters) {
  if (fsInfo.U32(0) != 0x41615252 || fsInfo.U32(484) != 0x61417272 || fsInfo.U32(508) != 0xAA550000) {
    return std::nullopt;
  }
  const std::uint32_t free = fsInfo.U32(488);
  if (free == 0xFFFFFFFF || free > dataClusters) return std::nullopt;  // unknown, or impossible
  return free;
}

std::optional<BootGeometry> DecodeFatBootSector(const util::ByteReader& r, const DeviceLimits& device) {
  if (r.Size() < 512) return std::nullopt;
  const FatFields f = ReadFatFields(r);
  if (!ValidSectorSize(f.bytesPerSector, device)) return std::nullopt;
  if (f.sectorsPerCluster == 0 || f.sectorsPerCluster > 128 || !std::has_single_bit(f.sectorsPerCluster)) {
    return std::nullopt;
  }
  if (f.reservedSectors == 0 || f.fatCount == 0 || f.fatCount > 4 || f.fatSectors == 0) return std::nullopt;
  const FatLayout l = LayoutOf(f);
  // Reserved sectors, tables and root directory inside the volume, with a cluster behind them.
  if (f.totalSectors <= l.firstDataSector || l.dataClusters == 0) return std::nullopt;
  // More clusters than FAT32 can number are no volume's; the tables address only these.
  const std::uint64_t clusters = std::min(l.dataClusters, kMaxFat32Clusters);
  // Each table must hold an entry, of the width the cluster count gives, for every cluster.
  if (f.fatSectors * f.bytesPerSector * 8 < (clusters + 2) * EntryBits(l.kind)) return std::nullopt;
  BootGeometry g;
  g.kind = l.kind;
  g.bytesPerSector = f.bytesPerSector;
  g.sectorsPerCluster = f.sectorsPerCluster;
  g.totalSectors = f.totalSectors;
  g.dataClusters = clusters;
  g.serialNumber = f.serialNumber.value_or(0);
  g.fatStartSector = f.reservedSectors;
  g.fatSectors = f.fatSectors;
  g.fatCount = f.fatCount;
  g.rootDirSector = l.rootDirSector;
  g.rootDirSectors = l.rootDirSectors;
  g.firstDataSector = l.firstDataSector;
  if (f.fsInfoSector < f.reservedSectors) g.fsInfoSector = f.fsInfoSector;
  return g;
}

}  // namespace platform
