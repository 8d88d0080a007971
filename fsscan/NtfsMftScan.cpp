// The NTFS Undelete scan: the $MFT located through the boot sector and its own
// record, then read run by run in large blocks and decoded record by record.

#include <algorithm>
#include <cstring>

#include "fsscan/MekFATScan.h"
#include "fsscan/NtfsLayout.h"
#include "online/ActionCodes.h"
#include "util/Text.h"

namespace fsscan {
namespace {

constexpr std::int64_t kFindBlockBytes = 1048576;
constexpr std::int64_t kScanBlockBytes = 2097152;
// The first records of the table belong to the file system; $BadClus is number 8.
constexpr std::int64_t kReservedRecords = 24;
constexpr std::int64_t kBadClusterRecord = 8;

// Records worth a FileNode: every record when live files are wanted, else deleted ones;
// directories always, for the paths. Extension records continue another file's record
// and are never a file of their own.
bool Qualifies(const ntfs::RecordHeader& header, bool deletedOnly) {
  if (header.baseRecord != 0) return false;
  return !deletedOnly || header.flags == 0 || (header.flags & ntfs::kRecordDirectory) != 0;
}

}  // namespace

std::optional<platform::BootGeometry> TMekFATScan::NtfsGeometry(const BootRecord& boot) {
  return platform::DecodeNtfsBootSector(util::ByteReader(boot.data(), boot.size()), {});
}

void TMekFATScan::GetNTFSBootRecord(BootRecord& out) {
  Log("FATScan Checkpoint: GetNTFSBootRecord", online::action::kFatScan);
  if (ReadBootRecord("NTFS", out)) Log("NTFS Boot Record Read", online::action::kBootRecordRead);
}

std::int64_t TMekFATScan::GetMFTRunList(const BootRecord& boot, std::vector<ClusterNode>& runs) {
  Log("FATScan Checkpoint: GetMFTRunList", online::action::kFatScan);
  const auto geometry = NtfsGeometry(boot);
  if (!geometry) return 0;
  const std::int64_t spc = geometry->sectorsPerCluster;
  const std::int64_t clusters = std::max<std::int64_t>(1, kFindBlockBytes / static_cast<std::int64_t>(geometry->ClusterBytes()));
  const auto mftCluster = static_cast<std::int64_t>(geometry->mftCluster);
  if (mftCluster > m_raw->GetTotalClusterCount()) return 0;
  std::vector<std::byte> block(static_cast<std::size_t>(clusters * static_cast<std::int64_t>(geometry->ClusterBytes())));
  std::int64_t got = ReadSectors(block.data(), static_cast<std::int64_t>(block.size()), clusters * spc, mftCluster * spc);
  // One bad record in the block must not hide the $MFT record in front of it.
  if (got < static_cast<std::int64_t>(geometry->mftRecordSize)) {
    got = ReadRecordsSingly(block, mftCluster * spc, clusters * spc,
                            std::max<std::int64_t>(1, static_cast<std::int64_t>(geometry->mftRecordSize / geometry->bytesPerSector)),
                            geometry->bytesPerSector);
  }
  std::int64_t sectors = 0;
  // Records are stepped by the boot sector's record size: a damaged record's own allocated
  // size (0, say) must not stall the search.
  const auto size = static_cast<std::int64_t>(geometry->mftRecordSize);
  for (std::int64_t at = 0; at + size <= got; at += size) {
    const std::span<std::byte> bytes(block.data() + at, static_cast<std::size_t>(size));
    if (!ntfs::HasFileSignature(util::ByteReader(bytes))) continue;
    const std::unique_ptr<FileNode> record = DecodeMFTRecord(bytes, geometry->bytesPerSector, false);
    if (!record || record->ShortName != "$MFT") continue;
    for (ClusterNode& run : record->Clusters ? *record->Clusters : std::vector<ClusterNode>{}) {
      Log("FATScan Checkpoint: MFT DataRuns<br>Start / Count: " + std::to_string(run.StartCluster) + " /" +
              std::to_string(run.NumClusters),
          online::action::kFatScan);
      sectors += run.NumClusters * spc;
      runs.push_back(std::move(run));
    }
    break;
  }
  return sectors;
}

void TMekFATScan::ScanMFT(const BootRecord& boot) {
  ProcessMessages();
  std::vector<ClusterNode> runs;
  const std::int64_t total = GetMFTRunList(boot, runs);
  if (m_progress) {
    m_progress->SetMinimum(0);
    m_progress->SetMaximum(100);
    m_progress->SetPosition(0);
  }
  Log("FATScan Checkpoint: ScanMFT", online::action::kFatScan);
  const auto geometry = NtfsGeometry(boot);
  if (!geometry) return;
  const std::int64_t clusters = std::max<std::int64_t>(1, kScanBlockBytes / static_cast<std::int64_t>(geometry->ClusterBytes()));
  std::vector<std::byte> block(static_cast<std::size_t>(clusters * static_cast<std::int64_t>(geometry->ClusterBytes())));
  std::int64_t processed = 0;
  for (const ClusterNode& run : runs) {
    if (m_terminated) break;
    ScanMFTRun(run, *geometry, block, total, processed);
  }
  ScanOldMFTRecords(*geometry, runs, total);
}

void TMekFATScan::KeepMFTRecord(std::unique_ptr<FileNode> record, ntfs::RecordStreams& streams) {
  const std::string filter = util::UpperCase(m_filter);
  const bool noFilter = util::Trim(m_filter).empty();
  const auto wanted = [&](const FileNode& r) {
    return noFilter || (!r.Extension.empty() && filter.find(r.Extension) != std::string::npos);
  };
  // The reserved records past the system files carry no name: nothing a user made or lost.
  if (record->LongName.empty() && record->MFT < kReservedRecords) return;
  // An empty file is still a file the user lost; a record without unnamed data is not one.
  if (wanted(*record) && (record->Size > 0 || streams.hasData)) m_fileList.push_back(std::move(record));
  for (auto& stream : streams.named) {
    // The bad-cluster list is a sparse stream as large as the volume: never a file to save.
    if (stream->MFT == kBadClusterRecord && stream->StreamName == "$Bad") continue;
    if (wanted(*stream)) m_fileList.push_back(std::move(stream));
  }
}

void TMekFATScan::ScanMFTRun(const ClusterNode& run, const platform::BootGeometry& geometry, std::vector<std::byte>& block,
                             std::int64_t totalSectors, std::int64_t& processed) {
  const std::int64_t spc = geometry.sectorsPerCluster;
  const std::int64_t bps = geometry.bytesPerSector;
  const std::int64_t volumeClusters = m_raw->GetTotalClusterCount();
  // A run outside the volume (or a hole in the $MFT) has no records to read.
  if (run.Sparse || run.StartCluster < 0 || run.NumClusters <= 0 || run.StartCluster > volumeClusters ||
      run.NumClusters > volumeClusters - run.StartCluster) {
    return;
  }
  const std::int64_t blockSectors = static_cast<std::int64_t>(block.size()) / bps;
  const std::int64_t runSectors = run.NumClusters * spc;
  const auto recordSize = static_cast<std::int64_t>(geometry.mftRecordSize);
  std::int64_t sector = run.StartCluster * spc;
  std::int64_t done = 0;
  const std::int64_t recordSectors = std::max<std::int64_t>(1, recordSize / bps);
  while (!m_terminated && done < runSectors) {
    const std::int64_t want = std::min(runSectors - done, blockSectors);
    std::int64_t got = ReadSectors(block.data(), static_cast<std::int64_t>(block.size()), want, sector);
    // A read shorter than one sector would not move the walk on: the block is read again
    // record by record, so one bad sector costs only its record.
    if (got < bps) got = ReadRecordsSingly(block, sector, want, recordSectors, bps);
    for (std::int64_t at = 0; at + recordSize <= got && !m_terminated; at += recordSize) {
      ProcessMessages();
      const std::span<std::byte> bytes(block.data() + at, static_cast<std::size_t>(recordSize));
      const util::ByteReader reader(bytes);
      const ntfs::RecordHeader header = ntfs::ParseRecordHeader(reader);
      if (!ntfs::HasFileSignature(reader) || !Qualifies(header, m_deletedOnly)) continue;
      ntfs::RecordStreams streams;
      std::unique_ptr<FileNode> record = DecodeMFTRecord(bytes, geometry.bytesPerSector, true, &streams);
      if (!record) continue;
      if ((header.flags & ntfs::kRecordDirectory) != 0) {
        AddToBTree(record->LongName, record->ParentDir, record->MFT);
        continue;  // a folder is no file to save, nor are its streams (a live folder may hold them)
      }
      KeepMFTRecord(std::move(record), streams);
    }
    const std::int64_t step = std::max<std::int64_t>(got / bps, 1);
    sector += step;
    done += step;
    processed += blockSectors;
    if (m_progress && totalSectors > 0) m_progress->SetPosition(std::min<std::int64_t>(100, processed * 100 / totalSectors));
  }
}

std::int64_t TMekFATScan::ReadRecordsSingly(std::vector<std::byte>& block, std::int64_t sector, std::int64_t count,
                                            std::int64_t recordSectors, std::int64_t bytesPerSector) {
  std::int64_t badFrom = -1;
  const auto closeBadStretch = [&](std::int64_t upTo) {
    if (badFrom >= 0) LogUnreadable("MFT records (skipped)", badFrom, upTo - badFrom);
    badFrom = -1;
  };
  for (std::int64_t s = 0; s < count && !m_terminated; s += recordSectors) {
    const std::int64_t n = std::min(recordSectors, count - s);
    std::byte* into = block.data() + s * bytesPerSector;
    if (ReadSectors(into, n * bytesPerSector, n, sector + s) == n * bytesPerSector) {
      closeBadStretch(sector + s);
    } else {
      // Zeros carry no FILE signature, so the record is passed over.
      std::fill(into, into + n * bytesPerSector, std::byte{0});
      if (badFrom < 0) badFrom = sector + s;
    }
  }
  closeBadStretch(sector + count);
  return count * bytesPerSector;
}

}  // namespace fsscan
