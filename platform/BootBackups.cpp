#include "platform/BootBackups.h"

#include <array>
#include <vector>

namespace platform {
namespace {

constexpr std::uint32_t kSectorSizes[] = {512, 4096};

std::optional<BootGeometry> DecodeAt(const ReadBytes& read, std::uint64_t at, const DeviceLimits& device) {
  std::array<std::byte, 512> sector{};
  if (read(at, sector) != static_cast<std::int64_t>(sector.size())) return std::nullopt;
  return ParseBootSector(sector, device);
}

}  // namespace

std::uint64_t FoundBoot::VolumeBytes() const {
  const std::uint64_t sectors = geometry.totalSectors + (geometry.kind == VolumeKind::Ntfs ? 1 : 0);
  return sectors * geometry.bytesPerSector;
}

std::optional<FoundBoot> LocateBootSector(const ReadBytes& read, std::uint64_t volumeBytes,
                                          const DeviceLimits& device) {
  if (auto primary = DecodeAt(read, 0, device)) return FoundBoot{*primary, 0, 0, "boot sector"};
  for (const std::uint32_t size : kSectorSizes) {
    if (device.logicalSectorSize > size) continue;
    // FAT32: the backup of sector 0 at sector 6, as its own field says.
    if (auto g = DecodeAt(read, 6ull * size, device); g && g->kind == VolumeKind::Fat32 && g->bytesPerSector == size) {
      return FoundBoot{*g, 6ull * size, size, "FAT32 backup boot sector"};
    }
    // exFAT: sectors 12-23 repeat the main boot region 0-11, checksum included.
    if (auto g = DecodeAt(read, 12ull * size, device); g && g->kind == VolumeKind::ExFat && g->bytesPerSector == size) {
      return FoundBoot{*g, 12ull * size, 12ull * size, "exFAT backup boot region"};
    }
  }
  if (volumeBytes == 0) return std::nullopt;
  for (const std::uint32_t size : kSectorSizes) {
    if (device.logicalSectorSize > size || volumeBytes < 2ull * size) continue;
    const std::uint64_t last = (volumeBytes / size - 1) * size;
    if (auto found = NtfsBackupAt(read, last, 0); found && found->at == last) {
      return found;
    }
  }
  return std::nullopt;
}

std::optional<FoundBoot> NtfsBackupAt(const ReadBytes& read, std::uint64_t at, std::uint64_t earliest) {
  const auto g = DecodeAt(read, at, {});
  if (!g || g->kind != VolumeKind::Ntfs) return std::nullopt;
  // The total leaves out the backup's own sector, which is the volume's last.
  const std::uint64_t before = g->totalSectors * g->bytesPerSector;
  if (before > at || at - before < earliest) return std::nullopt;
  return FoundBoot{*g, before, g->bytesPerSector, "NTFS backup boot sector"};
}

}  // namespace platform
