// Deleted FAT directories whose chain was cleared: their first cluster is known from the
// directory entry, and the rest is assumed to follow contiguously, as long as the clusters
// are free and still hold directory entries.

#include <algorithm>

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
  if (cluster > lastCluster) return false;
  return (attr & kAttrDirectory) == 0 || entry.U32(28) == 0;
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
  const util::ByteReader bootReader(boot.data(), boot.size());
  const std::int64_t spc = bootReader.U8(13);
  std::vector<std::byte> buffer(static_cast<std::size_t>(spc * bootReader.U16(11)));
  const std::int64_t got = ReadSectors(buffer.data(), static_cast<std::int64_t>(buffer.size()), spc,
                                       (cluster - 2) * spc + GetFirstDataSector(boot));
  return got > 0 && StartsWithDotEntries(util::ByteReader(buffer.data(), static_cast<std::size_t>(got)), cluster);
}

void TMekFATScan::ScanDeletedDirectory(std::int64_t firstCluster, const BootRecord& boot, std::uint8_t fatType,
                                       const std::string& path) {
  const util::ByteReader bootReader(boot.data(), boot.size());
  const std::int64_t spc = bootReader.U8(13);
  const std::int64_t bps = bootReader.U16(11);
  const std::int64_t firstData = GetFirstDataSector(boot);
  const std::int64_t totalClusters = m_raw->GetTotalClusterCount();
  const std::int64_t lastCluster = totalClusters + 1;
  const std::int64_t maxReads = totalClusters + 2;
  std::vector<std::byte> buffer(static_cast<std::size_t>(spc * bps));
  LongNameAssembler names;
  ++m_depth;
  for (std::int64_t cluster = firstCluster; cluster <= lastCluster && m_dirCount < maxReads; ++cluster) {
    // A cluster in use belongs to a file written after the deletion.
    if (cluster != firstCluster && !IsFreeCluster(fatType, cluster)) break;
    if (m_visitedDirClusters.contains(cluster)) break;
    ++m_dirCount;
    const std::int64_t got =
        ReadSectors(buffer.data(), static_cast<std::int64_t>(buffer.size()), spc, (cluster - 2) * spc + firstData);
    if (got < static_cast<std::int64_t>(buffer.size())) break;
    const util::ByteReader bytes(buffer.data(), buffer.size());
    // Without its "." and ".." the first cluster was reused: what it holds is not this directory.
    if (cluster == firstCluster && !StartsWithDotEntries(bytes, firstCluster)) break;
    // The next directory's first cluster (a sibling made right after this one) ends the run.
    if (cluster != firstCluster && StartsWithDotEntries(bytes, cluster)) break;
    const DirectoryCluster kind = ClassifyDirectoryCluster(bytes, lastCluster);
    if (kind == DirectoryCluster::kNotDirectory) break;
    m_visitedDirClusters.insert(cluster);
    ExtractDirEntries(buffer.data(), boot, fatType, path, got, &names);
    if (kind == DirectoryCluster::kEnds) break;
  }
  --m_depth;
}

}  // namespace fsscan
