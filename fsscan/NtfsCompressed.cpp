// Reading LZNT1-compressed NTFS data: the runs are taken one compression unit at a
// time; a unit whose clusters end in a hole holds compressed chunks, a unit without a
// hole is stored as is, a unit that is all hole is zeros.

#include <algorithm>

#include "fsscan/Lznt1.h"
#include "fsscan/MekFATScan.h"

namespace fsscan {

bool TMekFATScan::ReadCompressedData(const FileNode& record, const BootRecord& boot,
                                     const std::function<bool(const std::byte*, std::int64_t)>& sink,
                                     std::string& failure) {
  const std::int64_t spc = m_raw->GetSectorsPerCluster();
  const std::int64_t clusterBytes = spc * m_raw->GetDriveSectorSize();
  const std::int64_t unit = record.CompressionUnit;
  if (unit <= 0 || clusterBytes <= 0) {
    failure = "Compression not supported: unit " + std::to_string(unit) + ", cluster bytes " + std::to_string(clusterBytes);
    return false;
  }
  const std::vector<ClusterNode> none;
  const std::vector<ClusterNode>& runs = record.Clusters ? *record.Clusters : none;
  const std::int64_t volumeClusters = m_raw->GetTotalClusterCount();
  std::vector<std::byte> packed(static_cast<std::size_t>(unit * clusterBytes));
  std::vector<std::byte> plain(packed.size());
  std::size_t runIndex = 0;
  std::int64_t usedOfRun = 0;
  std::int64_t remaining = record.Size;
  for (std::int64_t fileCluster = 0; remaining > 0; fileCluster += unit) {
    ProcessMessages();
    std::int64_t filled = 0;
    std::int64_t stored = 0;
    while (filled < unit && runIndex < runs.size()) {
      const ClusterNode& run = runs[runIndex];
      const std::int64_t take = std::min(run.NumClusters - usedOfRun, unit - filled);
      if (take <= 0) {
        ++runIndex;
        usedOfRun = 0;
        continue;
      }
      if (!run.Sparse) {
        const std::int64_t cluster = run.StartCluster + usedOfRun;
        if (run.StartCluster < 0 || cluster < 0 || cluster > volumeClusters - take) {
          failure = "Cluster outside the volume: " + std::to_string(cluster);
          return false;
        }
        // Clusters after a hole inside one unit are not part of its compressed data.
        const std::int64_t want = take * clusterBytes;
        if (stored == filled &&
            ReadSectors(packed.data() + filled * clusterBytes, want, take * spc, SectorOfCluster(cluster, boot)) != want) {
          failure = "Unreadable clusters from " + std::to_string(cluster);
          return false;
        }
        if (stored == filled) stored += take;
      }
      filled += take;
      usedOfRun += take;
    }
    if (filled == 0) break;  // the runs end before the file does
    const std::int64_t bytes = std::min(unit * clusterBytes, remaining);
    const std::byte* data = packed.data();
    if (stored == 0) {
      std::fill(plain.begin(), plain.end(), std::byte{0});
      data = plain.data();
    } else if (stored < filled) {
      if (!Lznt1DecompressUnit(std::span<const std::byte>(packed.data(), static_cast<std::size_t>(stored * clusterBytes)),
                               plain)) {
        failure = "Damaged LZNT1 data in the compression unit at file cluster " + std::to_string(fileCluster);
        return false;
      }
      data = plain.data();
    }
    if (!sink(data, bytes)) {
      failure = "Write failed";
      return false;
    }
    remaining -= bytes;
  }
  return true;
}

}  // namespace fsscan
