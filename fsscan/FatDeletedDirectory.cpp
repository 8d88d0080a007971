// Deleted FAT directories whose chain was cleared: their first cluster is known from the
// directory entry, and the rest is assumed to follow contiguously, as long as the clusters
// are free and still hold directory entries.

#include <algorithm>
#include <optional>

#include "fsscan/FatDirectoryCheck.h"
#include "fsscan/FatNames.h"
#include "fsscan/MekFATScan.h"

namespace fsscan {
namespace {

constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint8_t kAttrDirectory = 0x10;
constexpr std::uint8_t kDeletedMark = 0xE5;
constexpr std::uint8_t kStoredE5 = 0x05;

bool PlausibleLongNameEntry(const util::ByteReader& entry) {
  const std::uint8_t sequence = entry.U8(0);
  if (entry.U8(12) != 0 || entry.U16(26) != 0) return false;
  if (sequence == kDeletedMark) return true;
  const std::uint8_t order = sequence & 0x1F;
  // 20 pieces of 13 characters hold the longest name (255 characters).
  return (sequence & 0xA0) == 0 && order >= 1 && order <= 20;
}

bool PlausibleShortEntry(const util::ByteReader& entry, std::int64_t lastCluster) {
  const std::uint8_t attr = entry.U8(11);
  if ((attr & 0xC0) != 0) return false;
  const bool dotEntry = entry.U8(0) == '.';
  for (std::uint64_t i = 0; i < 11; ++i) {
    const std::uint8_t c = entry.U8(i);
    if (c < 0x20 && !(i == 0 && c == kStoredE5)) return false;
    if (c == '.' && !dotEntry) return false;
    static constexpr std::string_view kNeverInShortNames = "\"*+,/:;<=>?[\\]|";
    if (c < 0x80 && kNeverInShortNames.find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  const std::int64_t cluster = (std::int64_t{entry.U16(20)} << 16) | entry.U16(26);
  // A directory entry's size says nothing here: Windows leaves one in a deleted directory's.
  return cluster <= lastCluster;
}

}  // namespace

DirectoryCluster ClassifyDirectoryCluster(const util::ByteReader& cluster, std::int64_t lastCluster) {
  for (std::uint64_t offset = 0; cluster.Has(offset, 32); offset += 32) {
    const util::ByteReader entry = *cluster.Sub(offset, 32);
    if (entry.U8(0) == 0x00) return DirectoryCluster::kEnds;
    const bool plausible = entry.U8(11) == kAttrLongName ? PlausibleLongNameEntry(entry)
                                                         : PlausibleShortEntry(entry, lastCluster);
    if (!plausible) return DirectoryCluster::kNotDirectory;
  }
  return DirectoryCluster::kContinues;
}

bool StartsWithDotEntries(const util::ByteReader& cluster, std::int64_t self) {
  const auto dot = cluster.Sub(0, 32);
  const auto dotDot = cluster.Sub(32, 32);
  if (!dot || !dotDot) return false;
  const auto isNamed = [](const util::ByteReader& entry, std::string_view name) {
    return entry.Text(0, 11) == std::string(name) + std::string(11 - name.size(), ' ') &&
           (entry.U8(11) & kAttrDirectory) != 0;
  };
  const std::int64_t named = (std::int64_t{dot->U16(20)} << 16) | dot->U16(26);
  return isNamed(*dot, ".") && isNamed(*dotDot, "..") && named == self;
}

std::int64_t TMekFATScan::FatEntryOf(std::uint8_t fatType, std::int64_t cluster) const {
  BootRecord unused{};
  switch (fatType) {
    case kFat12: return GetFAT12EntryForCluster(unused, m_scanFat, cluster);
    case kFat16: return GetFAT16EntryForCluster(unused, m_scanFat, cluster);
    case kFat32: return GetFAT32EntryForCluster(unused, m_scanFat, cluster);
    default: return 0;
  }
}

bool TMekFATScan::IsFreeCluster(std::uint8_t fatType, std::int64_t cluster) const {
  return m_scanFatValid && cluster >= 2 && FatEntryOf(fatType, cluster) == 0;
}

bool TMekFATScan::HoldsDotEntries(std::int64_t cluster, const BootRecord& boot) {
  if (cluster < 2 || cluster > m_raw->GetTotalClusterCount() + 1) return false;
  const platform::FatFields fields = BootFields(boot);
  const std::int64_t spc = fields.sectorsPerCluster;
  std::vector<std::byte> buffer(static_cast<std::size_t>(spc * fields.bytesPerSector));
  const std::int64_t got = ReadSectors(buffer.data(), static_cast<std::int64_t>(buffer.size()), spc,
                                       (cluster - 2) * spc + GetFirstDataSector(boot));
  return got > 0 && StartsWithDotEntries(util::ByteReader(buffer.data(), static_cast<std::size_t>(got)), cluster);
}

bool ContinuesDeletedName(const LongNameAssembler& pending, const util::ByteReader& cluster,
                          std::int64_t lastCluster) {
  if (!pending.AwaitsDeletedShortEntry()) return false;
  LongNameAssembler names = pending;
  for (std::uint64_t offset = 0; cluster.Has(offset, 32); offset += 32) {
    const util::ByteReader entry = *cluster.Sub(offset, 32);
    // The directory was deleted as a whole: every entry of it carries the deleted mark.
    if (entry.U8(0) != kDeletedMark) return false;
    if (entry.U8(11) == kAttrLongName) {
      if (!PlausibleLongNameEntry(entry) || entry.U8(13) != pending.Checksum()) return false;
      names.Add(entry);
      continue;
    }
    return PlausibleShortEntry(entry, lastCluster) && names.ChecksumMatchesDeleted(entry);
  }
  return false;
}

std::optional<std::int64_t> TMekFATScan::FindDeletedDirectoryContinuation(std::int64_t after,
                                                                          const LongNameAssembler& pending,
                                                                          const BootRecord& boot,
                                                                          std::uint8_t fatType) {
  // The FAT allocates the next free cluster after the last one it gave out, so the
  // continuation lies ahead, or behind once the allocator wrapped round. Only the first
  // sector of a free cluster is read; the search is bounded per directory and per scan.
  constexpr std::int64_t kClustersLookedAt = std::int64_t{1} << 20;
  constexpr std::int64_t kClustersReadPerSearch = 4096;
  const platform::FatFields fields = BootFields(boot);
  const std::int64_t spc = fields.sectorsPerCluster;
  const std::int64_t bps = fields.bytesPerSector;
  const auto firstData = static_cast<std::int64_t>(GetFirstDataSector(boot));
  const std::int64_t totalClusters = m_raw->GetTotalClusterCount();
  const std::int64_t lastCluster = totalClusters + 1;
  std::vector<std::byte> sector(static_cast<std::size_t>(std::max<std::int64_t>(bps, 32)));
  std::int64_t read = 0;
  for (std::int64_t step = 0; step < std::min(totalClusters, kClustersLookedAt) && read < kClustersReadPerSearch &&
                              m_continuationReadsLeft > 0 && m_continuationLooksLeft > 0;
       ++step) {
    --m_continuationLooksLeft;
    const std::int64_t cluster = 2 + (after - 2 + step) % totalClusters;
    if (!IsFreeCluster(fatType, cluster) || m_visitedDirClusters.contains(cluster)) continue;
    ++read;
    --m_continuationReadsLeft;
    const std::int64_t got = ReadSectors(sector.data(), bps, 1, (cluster - 2) * spc + firstData);
    if (got < 32) continue;
    if (ContinuesDeletedName(pending, util::ByteReader(sector.data(), static_cast<std::size_t>(got)), lastCluster)) {
      return cluster;
    }
  }
  return std::nullopt;
}

DirectoryCluster TMekFATScan::TakeDeletedDirectoryCluster(std::int64_t cluster, bool first, const BootRecord& boot,
                                                          std::uint8_t fatType, const std::string& path,
                                                          LongNameAssembler& names, std::vector<std::byte>& buffer) {
  const std::int64_t spc = BootFields(boot).sectorsPerCluster;
  const std::int64_t totalClusters = m_raw->GetTotalClusterCount();
  const std::int64_t lastCluster = totalClusters + 1;
  if (cluster < 2 || cluster > lastCluster || m_dirCount >= totalClusters + 2) return DirectoryCluster::kNotDirectory;
  // A cluster in use belongs to a file written after the deletion.
  if (!first && !IsFreeCluster(fatType, cluster)) return DirectoryCluster::kNotDirectory;
  if (m_visitedDirClusters.contains(cluster)) return DirectoryCluster::kNotDirectory;
  ++m_dirCount;
  const std::int64_t got = ReadSectors(buffer.data(), static_cast<std::int64_t>(buffer.size()), spc,
                                       (cluster - 2) * spc + GetFirstDataSector(boot));
  if (got < static_cast<std::int64_t>(buffer.size())) return DirectoryCluster::kNotDirectory;
  const util::ByteReader bytes(buffer.data(), buffer.size());
  // Without its "." and ".." the first cluster was reused: what it holds is not this directory.
  if (first && !StartsWithDotEntries(bytes, cluster)) return DirectoryCluster::kNotDirectory;
  // The next directory's first cluster (a sibling made right after this one) ends the run.
  if (!first && StartsWithDotEntries(bytes, cluster)) return DirectoryCluster::kNotDirectory;
  const DirectoryCluster kind = ClassifyDirectoryCluster(bytes, lastCluster);
  if (kind == DirectoryCluster::kNotDirectory) return kind;
  m_visitedDirClusters.insert(cluster);
  ExtractDirEntries(buffer.data(), boot, fatType, path, got, &names);
  return kind;
}

void TMekFATScan::ScanDeletedDirectory(std::int64_t firstCluster, const BootRecord& boot, std::uint8_t fatType,
                                       const std::string& path, bool piece) {
  const platform::FatFields fields = BootFields(boot);
  // One cluster's bytes, read again for each cluster of the run; a sub-directory
  // entered from it has a buffer of its own.
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::int64_t{fields.sectorsPerCluster} * fields.bytesPerSector));
  LongNameAssembler names;
  ++m_depth;
  std::int64_t cluster = firstCluster;
  DirectoryCluster kind = TakeDeletedDirectoryCluster(cluster, !piece, boot, fatType, path, names, buffer);
  while (kind == DirectoryCluster::kContinues) {
    kind = TakeDeletedDirectoryCluster(++cluster, false, boot, fatType, path, names, buffer);
    if (kind != DirectoryCluster::kNotDirectory || !names.AwaitsDeletedShortEntry()) continue;
    // A long name cut off at the end of the run: the directory grew into a cluster elsewhere
    // after other files took the ones that follow. Its pieces and checksum find that cluster.
    const std::optional<std::int64_t> next = FindDeletedDirectoryContinuation(cluster, names, boot, fatType);
    if (!next) break;
    cluster = *next;
    kind = TakeDeletedDirectoryCluster(cluster, false, boot, fatType, path, names, buffer);
  }
  --m_depth;
}

}  // namespace fsscan
