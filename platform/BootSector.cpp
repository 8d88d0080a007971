#include "platform/BootSector.h"

#include <bit>

#include "platform/ExFatBootSector.h"
#include "platform/FatBootSector.h"
#include "platform/NtfsBootSector.h"
#include "util/ByteReader.h"

namespace platform {

bool ValidSectorSize(std::uint32_t bytesPerSector, const DeviceLimits& device) {
  if (bytesPerSector < 512 || bytesPerSector > 4096 || !std::has_single_bit(bytesPerSector)) return false;
  // A volume's sectors cannot be smaller than the device's: its reads would split them.
  return device.logicalSectorSize == 0 || bytesPerSector >= device.logicalSectorSize;
}

std::optional<BootGeometry> ParseBootSector(std::span<const std::byte> sector, const DeviceLimits& device) {
  const util::ByteReader r(sector);
  if (r.Size() < 512) return std::nullopt;
  const std::string oem = r.Text(3, 8);
  if (oem == "NTFS    ") return DecodeNtfsBootSector(r, device);
  if (oem == "EXFAT   ") return DecodeExFatBootSector(r, device);
  const std::uint8_t jump = r.U8(0);
  if (jump != 0xEB && jump != 0xE9) return std::nullopt;
  return DecodeFatBootSector(r, device);
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
