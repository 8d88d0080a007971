#pragma once
// The Undelete scan's walk of an exFAT volume: the allocation bitmap, then every directory
// from the root down, deleted folders too, turning each file's entry set into a record with
// its cluster runs. Made by TMekFATScan::ScanExFatVolume for one scan and dropped after it;
// reads through the scanner and appends to its record list.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fsscan/ExFatEntries.h"
#include "fsscan/FileRecords.h"
#include "platform/ExFatBootSector.h"

namespace fsscan {

class TMekFATScan;

class ExFatWalk {
 public:
  ExFatWalk(TMekFATScan& scanner, const platform::ExFatBootRegion& boot);
  void Run();
  const std::optional<std::string>& Label() const { return m_label; }

  // The runs of a file or folder's clusters: one run without a FAT chain; else the chain,
  // where a deleted one stays within free clusters; else, for a deleted one, the free
  // clusters from its first on (clusters now in use hold another file's data). A live chain
  // that loops or leaves the volume is logged under `what`, the file or folder's path.
  std::vector<ClusterNode> RunsOf(std::uint32_t first, std::uint64_t length, bool noFatChain, bool deleted,
                                  const std::string& what);

 private:
  bool ValidCluster(std::uint64_t cluster) const { return cluster >= 2 && cluster <= m_lastCluster; }
  bool InUse(std::uint64_t cluster) const;
  std::uint32_t FatEntry(std::uint64_t cluster);
  // Follows the chain from `first` for at most `limit` clusters; `complete` when it gave them
  // all (or, with no limit known, reached its end mark) without leaving the volume, looping,
  // or, with `requireFree`, touching a cluster in use.
  std::vector<ClusterNode> FollowChain(std::uint32_t first, std::uint64_t limit, bool requireFree, bool& complete);
  // The bytes of a directory's clusters, each read once per scan; clusters read before, and
  // in a deleted folder those in use again, are left out.
  std::vector<std::byte> ReadDirectory(const std::vector<ClusterNode>& runs, bool deleted);
  void ReadBitmap(const std::vector<exfat::BitmapEntry>& entries);
  void WalkSets(const exfat::Directory& dir, const std::string& path, bool deletedTree, int depth);
  void WalkDirectory(const exfat::EntrySet& set, const std::string& path, bool deletedTree, int depth);
  void AddFile(const exfat::EntrySet& set, const std::string& path, bool deleted);
  void LogRejected(const exfat::Directory& dir, const std::string& path);
  std::int64_t ReadClusters(std::uint64_t first, std::uint64_t count, std::byte* out);

  TMekFATScan& m_scanner;
  platform::ExFatBootRegion m_boot;
  std::uint64_t m_clusterBytes = 0;
  std::uint64_t m_lastCluster = 0;  // the highest cluster number
  std::vector<std::byte> m_bitmap;  // bit n: cluster n + 2 in use
  std::unordered_map<std::uint64_t, std::vector<std::byte>> m_fatChunks;
  std::unordered_set<std::uint64_t> m_visited;  // directory clusters read in this scan
  std::optional<std::string> m_label;
  int m_rejectedLogged = 0;
  bool m_depthLogged = false;
  // Clusters the scan may still look at while following chains, gathering free clusters and
  // listing directories' clusters: a hostile volume of many sets claiming the whole volume
  // would otherwise cost sets times clusters. Past it, files take their clusters as one run.
  std::uint64_t m_stepsLeft = std::uint64_t{1} << 26;
  bool m_stepsLogged = false;
  bool Step();
};

}  // namespace fsscan
