#include "fsscan/ExFatWalk.h"

#include <algorithm>

#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "util/Text.h"

namespace fsscan {
namespace {

// FAT sectors read at a time, and kept, when a chain is followed.
constexpr std::uint64_t kFatChunkSectors = 64;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFF;
// No directory is larger than this; a stream entry claiming more is damaged.
constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{256} << 20;
// Sectors of one read: transfers count sectors in 16 bits.
constexpr std::uint64_t kMaxReadSectors = 32768;
// Names are at most 255 characters, so a path cannot be deeper than this.
constexpr int kMaxDepth = 255;
constexpr int kMaxRejectedLogged = 50;

void AppendCluster(std::vector<ClusterNode>& runs, std::uint64_t cluster) {
  if (!runs.empty() && static_cast<std::uint64_t>(runs.back().StartCluster + runs.back().NumClusters) == cluster) {
    ++runs.back().NumClusters;
  } else {
    runs.push_back(ClusterNode{static_cast<std::int64_t>(cluster), 1, false, {}});
  }
}

std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string{} : util::UpperCase(name.substr(dot + 1));
}

}  // namespace

ExFatWalk::ExFatWalk(TMekFATScan& scanner, const platform::ExFatBootRegion& boot)
    : m_scanner(scanner),
      m_boot(boot),
      m_clusterBytes(boot.geometry.ClusterBytes()),
      m_lastCluster(boot.geometry.dataClusters + 1) {}

bool ExFatWalk::Step() {
  if (m_stepsLeft > 0) {
    --m_stepsLeft;
    return true;
  }
  if (!m_stepsLogged) {
    m_scanner.Log("exFAT: too many clusters looked at; the remaining files take their clusters as one run",
                  online::action::kError);
    m_stepsLogged = true;
  }
  return false;
}

bool ExFatWalk::InUse(std::uint64_t cluster) const {
  const std::uint64_t bit = cluster - 2;
  if (cluster < 2 || bit / 8 >= m_bitmap.size()) return false;
  return (std::to_integer<unsigned>(m_bitmap[bit / 8]) >> (bit % 8) & 1) != 0;
}

std::uint32_t ExFatWalk::FatEntry(std::uint64_t cluster) {
  const std::uint64_t bps = m_boot.geometry.bytesPerSector;
  const std::uint64_t entriesPerChunk = kFatChunkSectors * bps / 4;
  const std::uint64_t chunk = cluster / entriesPerChunk;
  auto it = m_fatChunks.find(chunk);
  if (it == m_fatChunks.end()) {
    const std::uint64_t first = chunk * kFatChunkSectors;
    const std::uint64_t count = std::min(kFatChunkSectors, m_boot.geometry.fatSectors - std::min(first, m_boot.geometry.fatSectors));
    std::vector<std::byte> bytes(static_cast<std::size_t>(count * bps));
    const std::int64_t got = count == 0 ? 0
                                        : m_scanner.ReadSectors(bytes.data(), static_cast<std::int64_t>(bytes.size()),
                                                                static_cast<std::int64_t>(count),
                                                                static_cast<std::int64_t>(m_boot.geometry.fatStartSector + first));
    // What cannot be read reads as free: no chain is followed through it.
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    if (got <= 0 && count != 0) {
      m_scanner.LogUnreadable("the FAT (its entries count as free)",
                              static_cast<std::int64_t>(m_boot.geometry.fatStartSector + first),
                              static_cast<std::int64_t>(count));
    }
    it = m_fatChunks.emplace(chunk, std::move(bytes)).first;
  }
  return util::ByteReader(it->second).U32((cluster % entriesPerChunk) * 4);
}

std::vector<ClusterNode> ExFatWalk::FollowChain(std::uint32_t first, std::uint64_t limit, bool requireFree,
                                                bool& complete) {
  std::vector<ClusterNode> runs;
  std::unordered_set<std::uint64_t> seen;
  complete = false;
  std::uint64_t cluster = first;
  // Bounded by the limit and by the volume's cluster count, and no cluster twice: a chain
  // that loops ends.
  for (std::uint64_t held = 0; held < m_lastCluster - 1 && Step();) {
    if (!ValidCluster(cluster) || (requireFree && InUse(cluster)) || !seen.insert(cluster).second) return runs;
    AppendCluster(runs, cluster);
    if (++held == limit) {
      complete = true;
      return runs;
    }
    cluster = FatEntry(cluster);
    if (cluster == kEndOfChain) {
      complete = limit == UINT64_MAX;
      return runs;
    }
  }
  return runs;
}

std::vector<ClusterNode> ExFatWalk::RunsOf(std::uint32_t first, std::uint64_t length, bool noFatChain, bool deleted,
                                           const std::string& what) {
  std::vector<ClusterNode> runs;
  const std::uint64_t needed = length / m_clusterBytes + (length % m_clusterBytes != 0 ? 1 : 0);
  // More clusters than the volume has: nothing of it can be read whole.
  if (needed == 0 || needed > m_lastCluster - 1 || !ValidCluster(first)) return runs;
  if (noFatChain || m_stepsLeft == 0) {
    // Written in one stretch and never given a chain: the stretch, as far as the volume goes.
    const std::uint64_t count = std::min<std::uint64_t>(needed, m_lastCluster + 1 - first);
    runs.push_back(ClusterNode{first, static_cast<std::int64_t>(count), false, {}});
    return runs;
  }
  bool complete = false;
  runs = FollowChain(first, needed, deleted, complete);
  if (complete) return runs;
  runs.clear();
  if (!deleted) {
    // A live file's chain is damaged: its clusters as one stretch, as far as the volume goes.
    m_scanner.Log("Damaged cluster chain: the chain of " + what +
                      " loops, ends early or leaves the volume; its clusters taken as one stretch from " +
                      std::to_string(first),
                  online::action::kError);
    runs.push_back(ClusterNode{first, static_cast<std::int64_t>(std::min<std::uint64_t>(needed, m_lastCluster + 1 - first)), false, {}});
    return runs;
  }
  // A deleted file whose chain was cleared (or reused): its clusters were taken in order
  // from the free ones, so the free clusters from its first on are the best guess; those in
  // use now belong to a file written since.
  std::uint64_t taken = 0;
  for (std::uint64_t cluster = first; cluster <= m_lastCluster && taken < needed && Step(); ++cluster) {
    if (cluster != first && InUse(cluster)) continue;
    AppendCluster(runs, cluster);
    ++taken;
  }
  return runs;
}

std::int64_t ExFatWalk::ReadClusters(std::uint64_t first, std::uint64_t count, std::byte* out) {
  const std::uint64_t spc = m_boot.geometry.sectorsPerCluster;
  const std::uint64_t perRead = std::max<std::uint64_t>(1, kMaxReadSectors / spc);
  std::int64_t total = 0;
  for (std::uint64_t done = 0; done < count;) {
    const std::uint64_t n = std::min(perRead, count - done);
    const std::uint64_t sector = m_boot.geometry.firstDataSector + (first + done - 2) * spc;
    const std::int64_t want = static_cast<std::int64_t>(n * m_clusterBytes);
    const std::int64_t got = m_scanner.ReadSectors(out + done * m_clusterBytes, want, static_cast<std::int64_t>(n * spc),
                                                   static_cast<std::int64_t>(sector));
    if (got < want) {
      std::fill(out + done * m_clusterBytes + std::max<std::int64_t>(got, 0), out + done * m_clusterBytes + want,
                std::byte{0});
      m_scanner.LogUnreadable("a directory cluster", static_cast<std::int64_t>(sector), static_cast<std::int64_t>(n * spc));
    }
    total += std::max<std::int64_t>(got, 0);
    done += n;
  }
  return total;
}

std::vector<std::byte> ExFatWalk::ReadDirectory(const std::vector<ClusterNode>& runs, bool deleted) {
  // Which clusters to read, in directory order: each once per scan; a deleted folder's
  // clusters only while free, as one in use now holds something written since.
  std::vector<ClusterNode> take;
  std::uint64_t clusters = 0;
  const std::uint64_t maxClusters = std::max<std::uint64_t>(1, kMaxDirectoryBytes / m_clusterBytes);
  for (const ClusterNode& run : runs) {
    for (std::int64_t i = 0; i < run.NumClusters && clusters < maxClusters && Step(); ++i) {
      const auto cluster = static_cast<std::uint64_t>(run.StartCluster + i);
      if ((deleted && InUse(cluster)) || !m_visited.insert(cluster).second) continue;
      AppendCluster(take, cluster);
      ++clusters;
    }
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(clusters * m_clusterBytes));
  std::uint64_t at = 0;
  for (const ClusterNode& run : take) {
    ReadClusters(static_cast<std::uint64_t>(run.StartCluster), static_cast<std::uint64_t>(run.NumClusters),
                 bytes.data() + at);
    at += static_cast<std::uint64_t>(run.NumClusters) * m_clusterBytes;
  }
  return bytes;
}

void ExFatWalk::ReadBitmap(const std::vector<exfat::BitmapEntry>& entries) {
  // With two bitmaps (transaction-safe exFAT) the one paired with the FAT in force counts.
  const unsigned active = m_boot.fields.fatCount == 2 ? (m_boot.fields.volumeFlags & 1) : 0;
  const auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&](const exfat::BitmapEntry& e) { return (e.flags & 1) == active; });
  if (entry == entries.end()) {
    m_scanner.Log("exFAT: no allocation bitmap in the root directory; every cluster counts as free",
                  online::action::kError);
    return;
  }
  const std::uint64_t bytes = (m_boot.geometry.dataClusters + 7) / 8;
  if (entry->dataLength < bytes) {
    m_scanner.Log("exFAT: the allocation bitmap is shorter than the cluster count; the rest counts as free",
                  online::action::kError);
  }
  bool complete = false;
  const std::vector<ClusterNode> runs =
      FollowChain(entry->firstCluster, (std::min(bytes, entry->dataLength) + m_clusterBytes - 1) / m_clusterBytes, false,
                  complete);
  for (const ClusterNode& run : runs) {
    const std::size_t at = m_bitmap.size();
    m_bitmap.resize(at + static_cast<std::size_t>(static_cast<std::uint64_t>(run.NumClusters) * m_clusterBytes));
    ReadClusters(static_cast<std::uint64_t>(run.StartCluster), static_cast<std::uint64_t>(run.NumClusters),
                 m_bitmap.data() + at);
  }
  m_bitmap.resize(std::min<std::size_t>(m_bitmap.size(), static_cast<std::size_t>(bytes)));
}

void ExFatWalk::Run() {
  bool complete = false;
  const std::vector<ClusterNode> rootRuns = FollowChain(m_boot.fields.rootCluster, UINT64_MAX, false, complete);
  const std::vector<std::byte> rootBytes = ReadDirectory(rootRuns, false);
  const exfat::Directory root = exfat::ParseDirectory(util::ByteReader(rootBytes));
  m_label = root.label;
  ReadBitmap(root.bitmaps);
  // The bitmap's and up-case table's clusters are no directory's.
  WalkSets(root, "", false, 0);
}

void ExFatWalk::LogRejected(const exfat::Directory& dir, const std::string& path) {
  for (const exfat::RejectedSet& r : dir.rejected) {
    if (m_rejectedLogged == kMaxRejectedLogged) {
      m_scanner.Log("exFAT: more entry sets skipped; no further ones are logged", online::action::kError);
    }
    if (++m_rejectedLogged > kMaxRejectedLogged) return;
    m_scanner.Log("exFAT entry set skipped: " + r.reason + "<br>Directory: " + (path.empty() ? "\\" : path) +
                      "<br>Offset: " + std::to_string(r.offset),
                  online::action::kError);
  }
}

void ExFatWalk::WalkSets(const exfat::Directory& dir, const std::string& path, bool deletedTree, int depth) {
  LogRejected(dir, path);
  for (const exfat::EntrySet& set : dir.sets) {
    if (m_scanner.IsTerminated()) return;
    if (set.nameCut) {
      m_scanner.Log("exFAT: the name length of " + path + "\\" + set.name + " goes beyond its name entries",
                    online::action::kError);
    }
    if (set.IsDirectory()) {
      WalkDirectory(set, path, deletedTree, depth);
    } else {
      AddFile(set, path, deletedTree || set.deleted);
    }
  }
}

void ExFatWalk::WalkDirectory(const exfat::EntrySet& set, const std::string& path, bool deletedTree, int depth) {
  if (depth >= kMaxDepth) {
    if (!m_depthLogged) {
      m_scanner.Log("Directory depth limit of " + std::to_string(kMaxDepth) + " reached; not read: " + path,
                    online::action::kError);
      m_depthLogged = true;
    }
    return;
  }
  const bool deleted = deletedTree || set.deleted;
  const std::uint64_t length = std::min(set.dataLength, kMaxDirectoryBytes);
  const std::vector<std::byte> bytes = ReadDirectory(RunsOf(set.firstCluster, length, set.NoFatChain(), deleted, "the folder " + path + "\\" + set.name), deleted);
  if (bytes.empty()) return;
  WalkSets(exfat::ParseDirectory(util::ByteReader(bytes)), path + "\\" + set.name, deleted, depth + 1);
}

void ExFatWalk::AddFile(const exfat::EntrySet& set, const std::string& path, bool deleted) {
  if (set.dataLength == 0) return;
  if (m_scanner.GetDeletedOnly() && !deleted) return;
  const std::string extension = ExtensionOf(set.name);
  const std::string filter = util::UpperCase(m_scanner.GetFilter());
  if (!util::Trim(filter).empty() && (extension.empty() || filter.find(extension) == std::string::npos)) return;
  auto record = std::make_unique<FileNode>();
  record->Dir = path + "\\";
  record->ShortName = set.name;
  record->LongName = set.name;
  record->Extension = extension;
  record->DateTime = set.modified;
  record->FirstCluster = set.firstCluster;
  // Sizes beyond what a signed 64-bit number holds are damage; they keep no data.
  record->Size = static_cast<std::int64_t>(std::min<std::uint64_t>(set.dataLength, INT64_MAX));
  if (set.validDataLength < set.dataLength) record->ValidSize = static_cast<std::int64_t>(set.validDataLength);
  if (!ValidCluster(set.firstCluster)) {
    m_scanner.Log("exFAT: first cluster out of range<br>Filename: " + record->Dir + record->LongName +
                      "<br>Cluster: " + std::to_string(set.firstCluster) + "<br>Maximum: " + std::to_string(m_lastCluster),
                  online::action::kError);
  }
  record->Clusters = RunsOf(set.firstCluster, set.dataLength, set.NoFatChain(), deleted, record->Dir + record->LongName);
  m_scanner.MutableFileList().push_back(std::move(record));
}

}  // namespace fsscan
