#include "platform/NtfsBootSector.h"

#include <bit>
#include <limits>

namespace platform {
namespace {

constexpr std::uint64_t kMaxClusterBytes = std::uint64_t{2} << 20;

}  // namespace

std::uint64_t NtfsRecordSizeFromField(std::uint32_t field, std::uint32_t sectorsPerCluster,
                                      std::uint32_t bytesPerSector) {
  // Only the low byte carries the value; the three bytes after it are unused.
  const std::uint8_t value = static_cast<std::uint8_t>(field & 0xFF);
  std::uint64_t size = 0;
  if (value >= 0x80) {
    const unsigned power = 256u - value;
    if (power < 32) size = std::uint64_t{1} << power;
  } else {
    size = std::uint64_t{value} * sectorsPerCluster * bytesPerSector;
  }
  if (size < kMinNtfsRecordSize || size > kMaxNtfsRecordSize || !std::has_single_bit(size)) return 0;
  return size;
}

std::optional<BootGeometry> DecodeNtfsBootSector(const util::ByteReader& r, const DeviceLimits& device) {
  if (r.Size() < 512) return std::nullopt;
  BootGeometry g;
  g.kind = VolumeKind::Ntfs;
  g.bytesPerSector = r.U16(11);
  if (!ValidSectorSize(g.bytesPerSector, device)) return std::nullopt;
  const std::uint8_t spc = r.U8(13);
  // Clusters above 64 KiB are stored as a negative power of two.
  g.sectorsPerCluster = spc <= 0x80 ? spc : (256u - spc < 32 ? (1u << (256u - spc)) : 0);
  if (g.sectorsPerCluster == 0 || !std::has_single_bit(g.sectorsPerCluster) || g.ClusterBytes() > kMaxClusterBytes) {
    return std::nullopt;
  }
  g.totalSectors = r.U64(40);
  // Every byte offset of the volume must fit a signed 64-bit number; checked before
  // anything multiplies the total.
  const auto maxSectors = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / g.bytesPerSector;
  if (g.totalSectors == 0 || g.totalSectors > maxSectors) return std::nullopt;
  g.dataClusters = g.totalSectors / g.sectorsPerCluster;
  g.mftCluster = r.U64(48);
  if (g.mftCluster >= g.dataClusters) return std::nullopt;
  g.mftRecordSize = NtfsRecordSizeFromField(r.U32(64), g.sectorsPerCluster, g.bytesPerSector);
  if (g.mftRecordSize == 0) return std::nullopt;
  g.serialNumber = r.U32(72);
  return g;
}

}  // namespace platform
