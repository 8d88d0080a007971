#pragma once
// TCarvedTwins: tells a carved file that is no lost file of its own. The Low
// Level Scan reads the whole drive, so it carves again the files the Undelete
// scan listed and the files still on the drive. A carved file that begins
// where a file of the Undelete scan begins is that file; one that begins at
// the first cluster of a live file is that live file. The front end fills the
// starts once the Undelete scan is over and asks per carved file. Any thread,
// one owner.

#include <cstdint>
#include <unordered_set>

namespace lowscan {

enum class TCarvedTwin { kNone, kFoundByUndelete, kStillOnDrive };

// Where a volume keeps its clusters: data clusters from 2 at `firstDataSector`
// (FAT), or cluster 0 at the volume's start (`firstDataSector` 0: NTFS).
struct TClusterLayout {
  std::int64_t firstDataSector = 0;
  std::int64_t sectorsPerCluster = 0;
  std::int64_t sectorSize = 0;
};

// The byte offset of a cluster on the volume; -1 for a cluster the layout has no place for.
std::int64_t ClusterByteOffset(const TClusterLayout& layout, std::int64_t cluster);

class TCarvedTwins {
 public:
  void Clear();
  // Byte offsets on the scanned drive where a file of the Undelete scan, or a live file, begins.
  void AddUndeleteStart(std::int64_t offset);
  void AddLiveStart(std::int64_t offset);
  // A file of the Undelete scan wins over a live one: it is the one the user is shown.
  TCarvedTwin Match(std::int64_t carvedStart) const;

 private:
  std::unordered_set<std::int64_t> m_undelete;
  std::unordered_set<std::int64_t> m_live;
};

}  // namespace lowscan
