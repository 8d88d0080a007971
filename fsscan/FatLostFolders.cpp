// Lost FAT folders: directory clusters that nothing in the tree names any more, as after a
// quick format, which writes an empty root and FAT but leaves the data area alone. Each
// sub-directory's first cluster starts with a "." entry naming that very cluster and a ".."
// entry, so a look at the first bytes of each free cluster finds them.

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "fsscan/FatDirectoryCheck.h"
#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "util/ByteReader.h"

namespace fsscan {
namespace {

// Clusters looked at per scan: a 2 TB FAT32 volume has 64 Mi clusters of 32 KB.
constexpr std::int64_t kMaxClustersLookedAt = std::int64_t{1} << 26;
// Small clusters are read many at a time, up to this many bytes; larger ones by their first
// sector only, so the pass reads a fraction of the data area.
constexpr std::int64_t kBlockBytes = std::int64_t{1} << 20;
constexpr std::int64_t kWholeClustersUpTo = 8192;
constexpr std::int64_t kClustersBetweenMessages = 4096;

std::int64_t DotDotCluster(const util::ByteReader& cluster) {
  return (std::int64_t{cluster.U16(32 + 20)} << 16) | cluster.U16(32 + 26);
}

// A later cluster of a directory, which grew into it when its earlier ones were full: entries
// from its first byte on, the first a name (not an end mark, nor the blanks a text pads with).
bool StartsAsDirectoryPiece(const util::ByteReader& sector, std::int64_t lastCluster) {
  const std::uint8_t first = sector.U8(0);
  if (first == 0x00 || first == ' ' || first == '.') return false;
  return ClassifyDirectoryCluster(sector, lastCluster) != DirectoryCluster::kNotDirectory;
}

}  // namespace

std::vector<LostFolderCluster> TMekFATScan::FindLostFolderClusters(const BootRecord& boot, std::uint8_t fatType) {
  const platform::FatFields fields = BootFields(boot);
  const std::int64_t spc = fields.sectorsPerCluster;
  const std::int64_t bps = fields.bytesPerSector;
  const std::int64_t clusterBytes = spc * bps;
  const auto firstData = static_cast<std::int64_t>(GetFirstDataSector(boot));
  const std::int64_t lastCluster = m_raw->GetTotalClusterCount() + 1;
  const std::int64_t perRead =
      clusterBytes <= kWholeClustersUpTo ? std::max<std::int64_t>(1, kBlockBytes / clusterBytes) : 1;
  std::vector<std::byte> buffer(static_cast<std::size_t>(perRead == 1 ? bps : perRead * clusterBytes));
  std::vector<LostFolderCluster> found;
  std::int64_t looked = 0;
  std::int64_t sinceMessages = 0;
  std::int64_t cluster = 2;
  for (; cluster <= lastCluster && looked < kMaxClustersLookedAt && !m_terminated;) {
    if (!IsFreeCluster(fatType, cluster)) {
      ++cluster;
      continue;
    }
    std::int64_t n = 1;
    while (n < perRead && cluster + n <= lastCluster && IsFreeCluster(fatType, cluster + n)) ++n;
    const std::int64_t sectors = perRead == 1 ? 1 : n * spc;
    const std::int64_t got = ReadSectors(buffer.data(), sectors * bps, sectors, (cluster - 2) * spc + firstData);
    const util::ByteReader bytes(buffer.data(), static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    for (std::int64_t k = 0; k < n; ++k) {
      const auto head = bytes.Sub(static_cast<std::uint64_t>(k * clusterBytes), static_cast<std::uint64_t>(bps));
      const std::int64_t c = cluster + k;
      if (!head || m_visitedDirClusters.contains(c)) continue;
      if (StartsWithDotEntries(*head, c)) {
        found.push_back({c, DotDotCluster(*head), false});
      } else if (StartsAsDirectoryPiece(*head, lastCluster)) {
        found.push_back({c, 0, true});
      }
    }
    looked += n;
    cluster += n;
    if ((sinceMessages += n) >= kClustersBetweenMessages) {
      sinceMessages = 0;
      ProcessMessages();
    }
  }
  if (cluster <= lastCluster && looked >= kMaxClustersLookedAt) {
    Log("Lost folders: the search ended at cluster " + std::to_string(cluster) + " after " + std::to_string(looked) +
            " free clusters",
        online::action::kError);
  }
  Log("Lost folders: " + std::to_string(looked) + " free clusters looked at, " + std::to_string(found.size()) +
          " folder clusters found",
      online::action::kFatScan);
  return found;
}

void TMekFATScan::ScanLostFolders(const BootRecord& boot, std::uint8_t fatType) {
  if (!m_scanFatValid || m_terminated) return;
  Log("FATScan Checkpoint: LostFolders", online::action::kFatScan);
  const std::vector<LostFolderCluster> found = FindLostFolderClusters(boot, fatType);
  std::unordered_set<std::int64_t> folders;
  for (const LostFolderCluster& f : found) {
    if (!f.piece) folders.insert(f.cluster);
  }
  // A folder whose ".." names another lost folder is reached through that folder's entry
  // for it, name and all. The others head a lost tree; so does a folder its parent no
  // longer names, or one of a ring of folders naming each other (what is left afterwards).
  // Pieces come last: a folder read before may go on into them.
  std::vector<std::int64_t> heads;
  std::vector<std::int64_t> rest;
  std::vector<std::int64_t> pieces;
  for (const LostFolderCluster& f : found) {
    if (f.piece) {
      pieces.push_back(f.cluster);
    } else {
      (f.parent != f.cluster && folders.contains(f.parent) ? rest : heads).push_back(f.cluster);
    }
  }
  heads.insert(heads.end(), rest.begin(), rest.end());
  const std::size_t firstPiece = heads.size();
  heads.insert(heads.end(), pieces.begin(), pieces.end());
  const bool outerDeleted = std::exchange(m_inDeletedFolder, true);
  const FileOrigin outerOrigin = std::exchange(m_walkOrigin, FileOrigin::kLostFolder);
  std::int64_t number = 0;
  for (std::size_t i = 0; i < heads.size() && !m_terminated; ++i) {
    const std::int64_t cluster = heads[i];
    if (m_visitedDirClusters.contains(cluster)) continue;
    ScanDeletedDirectory(cluster, boot, fatType, LostFolderPath(number + 1), i >= firstPiece);
    if (m_visitedDirClusters.contains(cluster)) ++number;
    ProcessMessages();
  }
  m_walkOrigin = outerOrigin;
  m_inDeletedFolder = outerDeleted;
  if (number > 0) Log("Lost folders: " + std::to_string(number) + " folder trees read", online::action::kFatScan);
}

}  // namespace fsscan
