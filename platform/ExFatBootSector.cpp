#include "platform/ExFatBootSector.h"

#include <limits>

namespace platform {

std::optional<BootGeometry> DecodeExFatBootSector(const util::ByteReader& r, const DeviceLimits& device) {
  if (r.Size() < 512) return std::nullopt;
  BootGeometry g;
  g.kind = VolumeKind::ExFat;
  const std::uint8_t sectorShift = r.U8(108);
  const std::uint8_t clusterShift = r.U8(109);
  if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift) return std::nullopt;
  g.bytesPerSector = 1u << sectorShift;
  if (!ValidSectorSize(g.bytesPerSector, device)) return std::nullopt;
  g.sectorsPerCluster = 1u << clusterShift;
  g.totalSectors = r.U64(72);
  // Every byte offset of the volume must fit a signed 64-bit number.
  if (g.totalSectors > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / g.bytesPerSector) {
    return std::nullopt;
  }
  g.dataClusters = r.U32(92);
  g.serialNumber = r.U32(100);
  return g;
}

}  // namespace platform
