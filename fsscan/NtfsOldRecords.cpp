// NTFS records left behind a new MFT. A quick format writes a new, small $MFT where the old
// one began; the old records past its end survive, names, parents and runs, until files are
// written over them. The clusters after the current MFT that its bitmap calls free are
// searched for FILE records, as long as records keep turning up.

#include <algorithm>
#include <map>
#include <unordered_set>

#include "fsscan/MekFATScan.h"
#include "fsscan/NtfsLayout.h"
#include "online/ActionCodes.h"

namespace fsscan {
namespace {

constexpr std::int64_t kRootRecord = 5;
constexpr std::int64_t kBitmapRecord = 6;
// A bitmap this large maps a 2 TiB volume of 4 KiB clusters; a larger one is read as all free.
constexpr std::int64_t kMaxBitmapBytes = std::int64_t{64} << 20;
constexpr std::int64_t kMaxRecordsDecoded = std::int64_t{1} << 22;
constexpr std::int64_t kMaxClustersLookedAt = std::int64_t{1} << 26;
// The old table goes on right after the new one's end; this far without a FILE record there
// is no more of it.
constexpr std::int64_t kGapBytes = std::int64_t{16} << 20;
constexpr std::int64_t kBlockBytes = std::int64_t{2} << 20;

bool InUse(const std::vector<std::uint8_t>& bitmap, std::int64_t cluster) {
  const auto byte = static_cast<std::uint64_t>(cluster) / 8;
  return cluster >= 0 && byte < bitmap.size() && (bitmap[byte] >> (cluster % 8) & 1) != 0;
}

bool RunsInUse(const FileNode& record, const std::vector<std::uint8_t>& bitmap) {
  if (!record.Clusters) return false;
  const auto bits = static_cast<std::int64_t>(bitmap.size()) * 8;
  for (const ClusterNode& run : *record.Clusters) {
    if (run.Sparse || run.StartCluster < 0) continue;
    const std::int64_t end = std::min(bits, run.StartCluster + std::max<std::int64_t>(run.NumClusters, 0));
    for (std::int64_t c = run.StartCluster; c < end; ++c) {
      if (InUse(bitmap, c)) return true;
    }
  }
  return false;
}

}  // namespace

std::vector<std::uint8_t> TMekFATScan::ReadNtfsBitmap(const platform::BootGeometry& geometry,
                                                      const std::vector<ClusterNode>& mftRuns) {
  const auto recordSize = static_cast<std::int64_t>(geometry.mftRecordSize);
  const std::int64_t bps = geometry.bytesPerSector;
  const std::int64_t clusterBytes = static_cast<std::int64_t>(geometry.ClusterBytes());
  if (mftRuns.empty() || recordSize < bps || mftRuns.front().Sparse ||
      (kBitmapRecord + 1) * recordSize > mftRuns.front().NumClusters * clusterBytes) {
    return {};
  }
  std::vector<std::byte> bytes(static_cast<std::size_t>(recordSize));
  const std::int64_t sector =
      mftRuns.front().StartCluster * geometry.sectorsPerCluster + kBitmapRecord * recordSize / bps;
  if (ReadSectors(bytes.data(), recordSize, recordSize / bps, sector) != recordSize ||
      !ntfs::HasFileSignature(util::ByteReader(bytes.data(), bytes.size()))) {
    return {};
  }
  const std::unique_ptr<FileNode> record = DecodeMFTRecord(bytes, geometry.bytesPerSector, false);
  if (!record || record->Resident || !record->Clusters || record->Size <= 0 || record->Size > kMaxBitmapBytes) {
    return {};
  }
  util::TMemoryStream stream;
  SaveToStream(*record, stream, BootRecord{});
  const auto* data = reinterpret_cast<const std::uint8_t*>(stream.Memory());
  return {data, data + stream.Size()};
}

void TMekFATScan::ScanOldMFTRecords(const platform::BootGeometry& geometry, const std::vector<ClusterNode>& mftRuns,
                                    std::int64_t mftSectors) {
  if (mftRuns.empty() || m_terminated) return;
  Log("FATScan Checkpoint: OldMFTRecords", online::action::kFatScan);
  const std::vector<std::uint8_t> bitmap = ReadNtfsBitmap(geometry, mftRuns);
  const std::int64_t spc = geometry.sectorsPerCluster;
  const std::int64_t bps = geometry.bytesPerSector;
  const auto clusterBytes = static_cast<std::int64_t>(geometry.ClusterBytes());
  const auto recordSize = static_cast<std::int64_t>(geometry.mftRecordSize);
  const std::int64_t currentRecords = mftSectors * bps / recordSize;
  const std::int64_t mftByte = static_cast<std::int64_t>(geometry.mftCluster) * clusterBytes;
  const std::int64_t volumeClusters = m_raw->GetTotalClusterCount();
  const std::int64_t perRead = std::max<std::int64_t>(1, kBlockBytes / clusterBytes);
  std::vector<std::byte> block(static_cast<std::size_t>(perRead * clusterBytes));
  const std::size_t firstKept = m_fileList.size();
  std::unordered_set<std::int64_t> numbers;
  std::int64_t looked = 0, decoded = 0, folders = 0, bytesWithout = 0;
  std::int64_t cluster = mftRuns.front().StartCluster + mftRuns.front().NumClusters;
  while (cluster < volumeClusters && !m_terminated && looked < kMaxClustersLookedAt && bytesWithout < kGapBytes &&
         decoded < kMaxRecordsDecoded) {
    std::int64_t n = 1;
    const bool used = InUse(bitmap, cluster);
    while (n < perRead && cluster + n < volumeClusters && InUse(bitmap, cluster + n) == used) ++n;
    const std::int64_t from = cluster;
    cluster += n;
    looked += n;
    if (used) continue;
    const std::int64_t got =
        std::max<std::int64_t>(0, ReadSectors(block.data(), n * clusterBytes, n * spc, from * spc));
    // Records lie at whole record sizes from the start of the table.
    const std::int64_t past = (from * clusterBytes - mftByte) % recordSize;
    for (std::int64_t at = past == 0 ? 0 : recordSize - past; at + recordSize <= got && decoded < kMaxRecordsDecoded;
         at += recordSize) {
      const std::span<std::byte> bytes(block.data() + at, static_cast<std::size_t>(recordSize));
      const util::ByteReader reader(bytes);
      if (!ntfs::HasFileSignature(reader)) {
        bytesWithout += recordSize;
        continue;
      }
      bytesWithout = 0;
      const ntfs::RecordHeader header = ntfs::ParseRecordHeader(reader);
      // The current MFT holds its own record of each number below its end.
      if (header.baseRecord != 0 || header.recordNumber < currentRecords ||
          !numbers.insert(header.recordNumber).second) {
        continue;
      }
      ++decoded;
      ntfs::RecordStreams streams;
      std::unique_ptr<FileNode> record = DecodeMFTRecord(bytes, geometry.bytesPerSector, true, &streams);
      if (!record) continue;
      if ((header.flags & ntfs::kRecordDirectory) != 0) {
        AddToBTree(record->LongName, record->ParentDir, record->MFT);
        ++folders;
        continue;
      }
      const bool inUse = RunsInUse(*record, bitmap);
      record->Origin = FileOrigin::kOldMftRecord;
      record->ClustersInUse = inUse;
      for (auto& stream : streams.named) {
        stream->Origin = FileOrigin::kOldMftRecord;
        stream->ClustersInUse = RunsInUse(*stream, bitmap);
      }
      KeepMFTRecord(std::move(record), streams);
    }
    ProcessMessages();
  }
  if (decoded >= kMaxRecordsDecoded || looked >= kMaxClustersLookedAt) {
    Log("Old MFT records: the search ended at cluster " + std::to_string(cluster), online::action::kError);
  }
  PlaceOldRecords(firstKept, currentRecords);
  std::int64_t inUse = 0;
  for (std::size_t i = firstKept; i < m_fileList.size(); ++i) inUse += m_fileList[i]->ClustersInUse ? 1 : 0;
  Log("Old MFT records: " + std::to_string(looked) + " clusters looked at, " + std::to_string(decoded) +
          " records decoded, " + std::to_string(m_fileList.size() - firstKept) + " files and " +
          std::to_string(folders) + " folders found, " + std::to_string(inUse) +
          " files with clusters in use now",
      online::action::kFatScan);
}

void TMekFATScan::PlaceOldRecords(std::size_t firstKept, std::int64_t currentRecords) {
  // A parent that survives among the old records (or is the root) keeps the path; the rest
  // go below "Lost folders", in a folder numbered by the lost parent's record number.
  struct Chain {
    std::vector<const std::string*> names;  // innermost first
    std::int64_t lostParent = -1;           // the record no longer there, if the chain ends so
    bool reachesRoot = false;
  };
  const auto chainOf = [&](std::int64_t parent) {
    Chain chain;
    std::unordered_set<std::int64_t> seen;
    for (std::int64_t key = parent;;) {
      if (key == kRootRecord) {
        chain.reachesRoot = true;
        break;
      }
      const BTreeNode* node = key >= currentRecords ? FindNode(key) : nullptr;
      if (node == nullptr) {
        chain.lostParent = key;
        break;
      }
      // A ring of folders naming each other: the first one met heads the lost tree.
      if (!seen.insert(key).second) break;
      chain.names.push_back(&node->Name);
      key = node->Parent;
    }
    return chain;
  };
  std::vector<Chain> chains;
  std::map<std::int64_t, std::int64_t> lostNumbers;
  for (std::size_t i = firstKept; i < m_fileList.size(); ++i) {
    chains.push_back(chainOf(m_fileList[i]->ParentDir));
    if (chains.back().lostParent >= 0) lostNumbers.emplace(chains.back().lostParent, 0);
  }
  std::int64_t number = 0;
  for (auto& [key, n] : lostNumbers) n = ++number;
  for (std::size_t i = firstKept; i < m_fileList.size(); ++i) {
    const Chain& chain = chains[i - firstKept];
    std::string dir =
        chain.reachesRoot ? "" : LostFolderPath(chain.lostParent >= 0 ? lostNumbers[chain.lostParent] : 0);
    for (auto it = chain.names.rbegin(); it != chain.names.rend(); ++it) dir += "\\" + **it;
    m_fileList[i]->Dir = dir + "\\";
  }
}

}  // namespace fsscan
