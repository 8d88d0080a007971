#include "platform/BootSector.h"

#include <bit>

#include "util/ByteReader.h"

namespace platform {
namespace {

bool ValidSectorSize(std::uint32_t v) { return v >= 512 && v <= 4096 && std::has_single_bit(v); }
bool ValidClusterFactor(std::uint32_t v) { return v >= 1 && v <= 128 && std::has_single_bit(v); }

std::optional<BootGeometry> ParseNtfs(const util::ByteReader& r) {
  BootGeometry g;
  g.kind = VolumeKind::Ntfs;
  g.bytesPerSector = r.U16(11);
  const std::uint8_t spc = r.U8(13);
  // Large clusters are stored as a negative power of two.
  g.sectorsPerCluster = spc <= 128 ? spc : (256 - spc < 32 ? (1u << (256 - spc)) : 0);
  g.totalSectors = r.U64(40);
  if (!ValidSectorSize(g.bytesPerSector) || g.sectorsPerCluster == 0 || g.totalSectors == 0) return std::nullopt;
  g.dataClusters = g.totalSectors / g.sectorsPerCluster;
  g.serialNumber = r.U32(72);
  return g;
}

std::optional<BootGeometry> ParseExFat(const util::ByteReader& r) {
  BootGeometry g;
  g.kind = VolumeKind::ExFat;
  const std::uint8_t sectorShift = r.U8(108);
  const std::uint8_t clusterShift = r.U8(109);
  if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift) return std::nullopt;
  g.bytesPerSector = 1u << sectorShift;
  g.sectorsPerCluster = 1u << clusterShift;
  g.totalSectors = r.U64(72);
  g.dataClusters = r.U32(92);
  g.serialNumber = r.U32(100);
  return g;
}

std::optional<BootGeometry> ParseFat(const util::ByteReader& r) {
  BootGeometry g;
  g.bytesPerSector = r.U16(11);
  g.sectorsPerCluster = r.U8(13);
  const std::uint32_t reserved = r.U16(14);
  const std::uint32_t fats = r.U8(16);
  const std::uint32_t rootEntries = r.U16(17);
  const std::uint32_t total16 = r.U16(19);
  const std::uint32_t fat16Size = r.U16(22);
  const std::uint32_t total32 = r.U32(32);
  const std::uint32_t fat32Size = r.U32(36);
  if (!ValidSectorSize(g.bytesPerSector) || !ValidClusterFactor(g.sectorsPerCluster) || reserved == 0 ||
      fats == 0 || fats > 4) {
    return std::nullopt;
  }
  g.totalSectors = total16 != 0 ? total16 : total32;
  g.fatSectors = fat16Size != 0 ? fat16Size : fat32Size;
  const std::uint64_t rootSectors = (std::uint64_t{rootEntries} * 32 + g.bytesPerSector - 1) / g.bytesPerSector;
  const std::uint64_t metaSectors = reserved + std::uint64_t{fats} * g.fatSectors + rootSectors;
  if (g.fatSectors == 0 || g.totalSectors <= metaSectors) return std::nullopt;
  g.dataClusters = (g.totalSectors - metaSectors) / g.sectorsPerCluster;
  g.fatStartSector = reserved;
  // The type follows from the cluster count alone, as every FAT driver decides it.
  if (g.dataClusters < 4085) {
    g.kind = VolumeKind::Fat12;
  } else if (g.dataClusters < 65525) {
    g.kind = VolumeKind::Fat16;
  } else {
    g.kind = VolumeKind::Fat32;
  }
  const bool fat32Layout = fat16Size == 0;
  const std::uint64_t sigOffset = fat32Layout ? 66 : 38;
  if (r.U8(sigOffset) == 0x29 || r.U8(sigOffset) == 0x28) g.serialNumber = r.U32(sigOffset + 1);
  return g;
}

}  // namespace

std::optional<BootGeometry> ParseBootSector(std::span<const std::byte> sector) {
  const util::ByteReader r(sector);
  if (r.Size() < 512) return std::nullopt;
  const std::string oem = r.Text(3, 8);
  if (oem == "NTFS    ") return ParseNtfs(r);
  if (oem == "EXFAT   ") return ParseExFat(r);
  const std::uint8_t jump = r.U8(0);
  if (jump != 0xEB && jump != 0xE9) return std::nullopt;
  return ParseFat(r);
}

std::uint64_t CountFreeFatClusters(std::span<const std::byte> fat, VolumeKind kind, std::uint64_t dataClusters) {
  const util::ByteReader r(fat);
  std::uint64_t free = 0;
  for (std::uint64_t cluster = 2; cluster < dataClusters + 2; ++cluster) {
    std::optional<std::uint32_t> entry;
    if (kind == VolumeKind::Fat12) {
      const auto pair = r.ReadU16LE(cluster * 3 / 2);
      if (pair) entry = (cluster & 1) ? (*pair >> 4) : (*pair & 0x0FFF);
    } else if (kind == VolumeKind::Fat16) {
      entry = r.ReadU16LE(cluster * 2);
    } else {
      const auto value = r.ReadU32LE(cluster * 4);
      if (value) entry = *value & 0x0FFFFFFF;
    }
    if (!entry) break;
    if (*entry == 0) ++free;
  }
  return free;
}

}  // namespace platform
