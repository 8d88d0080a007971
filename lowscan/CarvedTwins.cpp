#include "lowscan/CarvedTwins.h"

#include <limits>

namespace lowscan {

std::int64_t ClusterByteOffset(const TClusterLayout& layout, std::int64_t cluster) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const std::int64_t spc = layout.sectorsPerCluster, bps = layout.sectorSize;
  if (spc <= 0 || bps <= 0 || layout.firstDataSector < 0 || spc > kMax / bps) return -1;
  const std::int64_t clusterBytes = spc * bps;
  // FAT numbers its data clusters from 2; clusters 0 and 1 name no place.
  const std::int64_t index = layout.firstDataSector > 0 ? cluster - 2 : cluster;
  if (index < 0 || index > kMax / clusterBytes) return -1;
  const std::int64_t base = layout.firstDataSector;
  if (base > kMax / bps) return -1;
  const std::int64_t offset = index * clusterBytes;
  return offset > kMax - base * bps ? -1 : base * bps + offset;
}

void TCarvedTwins::Clear() {
  m_undelete.clear();
  m_live.clear();
}

void TCarvedTwins::AddUndeleteStart(std::int64_t offset) {
  if (offset >= 0) m_undelete.insert(offset);
}

void TCarvedTwins::AddLiveStart(std::int64_t offset) {
  if (offset >= 0) m_live.insert(offset);
}

TCarvedTwin TCarvedTwins::Match(std::int64_t carvedStart) const {
  if (m_undelete.count(carvedStart) != 0) return TCarvedTwin::kFoundByUndelete;
  if (m_live.count(carvedStart) != 0) return TCarvedTwin::kStillOnDrive;
  return TCarvedTwin::kNone;
}

}  // namespace lowscan
