// The FAT view of the volume: sector reads, the boot record, layout numbers,
// FAT entries and the cluster runs of each file.

#include <algorithm>
#include <cstring>

#include "fsscan/MekFATScan.h"
#include "platform/LastError.h"
#include "online/ActionCodes.h"
#include "platform/DriveTable.h"
#include "platform/FatBootSector.h"
#include "platform/Volume.h"
#include "util/ByteReader.h"
#include "util/Text.h"

namespace fsscan {
namespace {

// A FAT is never read in one request larger than this many sectors, so the 16-bit
// count of a transfer is never exceeded.
constexpr std::int64_t kFatReadChunkSectors = 8192;
// A chunk that does not read whole is read again in pieces this large, so one bad
// sector costs only its piece, and only where no copy of the table holds it.
constexpr std::int64_t kFatPieceSectors = 64;
// Each failed piece costs every copy three attempts; past this many the table is taken
// as ending there (a dying device, or one shorter than its boot sector says).
constexpr int kMaxFailedFatPieces = 16;

}  // namespace

std::int64_t TMekFATScan::ReadSectors(std::byte* buffer, std::int64_t bufferSize, std::int64_t sectorCount,
                                      std::int64_t startSector) {
  disk::TRawDiskAccessComponent& raw = *m_raw;
  raw.SetClusterCount(0);
  raw.SetClusterNumber(0);
  raw.SetSectorNumber(startSector);
  raw.SetSectorCount(sectorCount);
  // The data area alone undercounts a FAT volume by its reserved, FAT and root
  // sectors; the boot sector's own total, once known, covers the whole volume.
  const std::int64_t total = std::max<std::int64_t>(
      static_cast<std::int64_t>(raw.GetSectorsPerCluster()) * raw.GetTotalClusterCount(), m_volumeSectors);
  std::int64_t copied = 0;
  if (startSector > total) {
    Log("Start Sector exceeds Total Sectors. Total / Start : " + std::to_string(total) + " / " +
            std::to_string(startSector),
        online::action::kError);
  } else {
    if (startSector + sectorCount > total) {
      raw.SetSectorCount(total - startSector);
      Log("Adjusted Sector Count. Total / Start / Before / After: " + std::to_string(total) + " / " +
              std::to_string(startSector) + " / " + std::to_string(sectorCount) + " / " +
              std::to_string(total - startSector),
          online::action::kError);
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
      raw.ReadDrive();
      // Only the success code counts: a short read past the end can leave code 0.
      if (raw.GetStatusCode() == disk::status::kSuccess) {
        util::TMemoryStream& stream = raw.GetDiskBufferStream();
        stream.SetPosition(0);
        const std::int64_t limit = static_cast<std::uint32_t>(static_cast<std::uint64_t>(bufferSize));
        copied = stream.Read(buffer, std::min(limit, stream.Size()));
        break;
      }
      // A read not answered in time is not asked again: the wait would come back each time.
      if (raw.GetStatusCode() == static_cast<std::int32_t>(platform::kErrorSemTimeout)) break;
      raw.SetDriveLetter(std::string(1, m_drive));
    }
  }
  util::TReadInfo& info = util::GlobalReadInfo();
  info.Drive = raw.GetDriveLetter();
  info.StartSector = startSector;
  info.NumSectors = sectorCount;
  info.Status = raw.GetStatusCode();
  info.Count = static_cast<std::int32_t>(copied);
  return copied;
}

void TMekFATScan::ReportSecurityProblem() {
  Log("Security Screen Shown", online::action::kBootRecordRead);
  Prompt().SecurityWarning();
  m_terminated = true;
}

bool TMekFATScan::ReadBootRecord(std::string_view fileSystem, BootRecord& out) {
  std::int64_t got = 0;
  std::vector<std::byte> sectors;
  if (m_raw->GetFileSystem().find(fileSystem) != std::string::npos) {
    sectors.resize(static_cast<std::size_t>(std::max(m_raw->GetDriveSectorSize(), 0)) * 10);
    got = ReadSectors(sectors.data(), static_cast<std::int64_t>(sectors.size()), 10, 0);
    // The ten sectors reach into the first FAT of a small volume; a bad sector there is
    // no reason to give up while the boot sector itself reads.
    if (got <= 0) got = ReadSectors(sectors.data(), static_cast<std::int64_t>(sectors.size()), 1, 0);
  }
  if (got <= 0) {
    ReportSecurityProblem();
    return false;
  }
  std::memcpy(out.data(), sectors.data(), std::min<std::size_t>(out.size(), static_cast<std::size_t>(got)));
  LogVolumeOrigin();
  return true;
}

void TMekFATScan::LogVolumeOrigin() {
  const auto drive = platform::DriveTable::Instance().Find(m_drive);
  if (drive && !drive->evidence.empty()) {
    Log(drive->name + " at byte " + std::to_string(drive->offset) + " of " + drive->diskPath + "<br>Found by its " +
            drive->evidence,
        online::action::kBootRecordRead);
  }
  const auto volume = platform::Volume::Held(m_drive);
  if (volume && !volume->BootFrom().empty()) {
    Log("Boot record read from the " + volume->BootFrom(), online::action::kBootRecordRead);
  }
}

void TMekFATScan::GetFATBootRecord(BootRecord& out) {
  Log("FATScan Checkpoint: GetFATBootRecord", online::action::kFatScan);
  m_raw->SetDriveLetter(std::string(1, m_drive));
  if (ReadBootRecord("FAT", out)) Log("FAT Boot Record Read", online::action::kBootRecordRead);
}

platform::FatFields TMekFATScan::BootFields(const BootRecord& boot) {
  return platform::ReadFatFields(util::ByteReader(boot.data(), boot.size()));
}

std::uint64_t TMekFATScan::GetTotalSectors(const BootRecord& boot) { return BootFields(boot).totalSectors; }

std::uint64_t TMekFATScan::GetRootDirSectors(const BootRecord& boot) {
  return platform::LayoutOf(BootFields(boot)).rootDirSectors;
}

std::uint64_t TMekFATScan::GetFirstRootDirSector(const BootRecord& boot) {
  return platform::LayoutOf(BootFields(boot)).rootDirSector;
}

std::uint64_t TMekFATScan::GetFirstDataSector(const BootRecord& boot) {
  return platform::LayoutOf(BootFields(boot)).firstDataSector;
}

std::int64_t TMekFATScan::GetFirstDataSector(char driveLetter) {
  if (m_raw == nullptr) return 0;
  m_raw->SetDriveLetter(std::string(1, driveLetter));
  if (m_raw->GetFileSystem() == "exFAT") {
    const char scanned = m_drive;
    m_drive = driveLetter;
    const auto region = ReadExFatBootRegion();
    m_drive = scanned;
    return region ? static_cast<std::int64_t>(region->geometry.firstDataSector) : 0;
  }
  if (util::UpperCase(m_raw->GetFileSystem()).find("FAT") == std::string::npos) return 0;
  BootRecord boot{};
  GetFATBootRecord(boot);
  if (!GeometryUsable(boot)) return 0;
  return static_cast<std::int64_t>(GetFirstDataSector(boot));
}

FatType TMekFATScan::GetFATType(const BootRecord& boot) {
  switch (platform::LayoutOf(BootFields(boot)).kind) {
    case platform::VolumeKind::Fat16: return kFat16;
    case platform::VolumeKind::Fat32: return kFat32;
    default: return kFat12;
  }
}

bool TMekFATScan::GeometryUsable(const BootRecord& boot) const {
  if (m_raw == nullptr || m_raw->GetDriveSectorSize() == 0 || m_raw->GetSectorsPerCluster() == 0) return false;
  return platform::DecodeFatBootSector(util::ByteReader(boot.data(), boot.size()), {}).has_value();
}

std::uint16_t TMekFATScan::GetFAT12EntryForCluster(const BootRecord&, const FatBuffer& fat, std::int64_t cluster) {
  if (cluster < 0) return 0;
  const auto offset = static_cast<std::uint64_t>(cluster) + static_cast<std::uint64_t>(cluster) / 2;
  const std::uint16_t word = util::ByteReader(fat.data(), fat.size()).U16(offset);
  return (cluster & 1) != 0 ? static_cast<std::uint16_t>(word >> 4) : static_cast<std::uint16_t>(word & 0x0FFF);
}

std::uint16_t TMekFATScan::GetFAT16EntryForCluster(const BootRecord&, const FatBuffer& fat, std::int64_t cluster) {
  if (cluster < 0) return 0;
  return util::ByteReader(fat.data(), fat.size()).U16(static_cast<std::uint64_t>(cluster) * 2);
}

std::uint32_t TMekFATScan::GetFAT32EntryForCluster(const BootRecord&, const FatBuffer& fat, std::int64_t cluster) {
  if (cluster < 0) return 0;
  return util::ByteReader(fat.data(), fat.size()).U32(static_cast<std::uint64_t>(cluster) * 4) & 0x0FFFFFFF;
}

bool TMekFATScan::IsEOF(std::uint8_t fatType, std::int64_t value) {
  switch (fatType) {
    case kFat12: return value >= 0xFF8;
    case kFat16: return value >= 0xFFF8;
    case kFat32: return value >= 0x0FFFFFF8;
    default: return false;
  }
}

FatBuffer TMekFATScan::GetFATBuffer(const BootRecord& boot, std::int64_t& bufferSize, std::int64_t& bytesRead) {
  const platform::FatFields fields = BootFields(boot);
  const std::uint64_t fatSectors = fields.fatSectors;
  const std::uint32_t bps = fields.bytesPerSector;
  bufferSize = 0;
  bytesRead = 0;
  // A FAT larger than the volume is a damaged boot sector, not something to allocate.
  if (fatSectors == 0 || fatSectors > fields.totalSectors) return {};
  // The buffer grows as the table reads, so a boot sector claiming a table larger than
  // its device allocates no more than the device holds.
  FatBuffer fat;
  // Sectors [first, first + count) of the table from the first copy that reads them whole.
  const auto readStretch = [&](std::int64_t first, std::int64_t count) {
    for (std::uint32_t copy = 0; copy < std::max<std::uint32_t>(1, fields.fatCount); ++copy) {
      const std::int64_t sector = fields.reservedSectors + static_cast<std::int64_t>(copy * fatSectors) + first;
      if (ReadSectors(fat.data() + first * bps, count * bps, count, sector) == count * bps) return true;
    }
    return false;
  };
  const auto total = static_cast<std::int64_t>(fatSectors);
  int failedPieces = 0;
  for (std::int64_t done = 0; done < total && !m_terminated;) {
    const std::int64_t n = std::min(kFatReadChunkSectors, total - done);
    fat.resize(static_cast<std::size_t>((done + n) * bps));
    if (readStretch(done, n)) {
      bytesRead += n * bps;
      done += n;
      continue;
    }
    const std::int64_t end = done + n;
    for (; done < end && failedPieces < kMaxFailedFatPieces; done += kFatPieceSectors) {
      const std::int64_t m = std::min(kFatPieceSectors, end - done);
      // What no copy holds stays zero: those clusters read as free.
      if (readStretch(done, m)) {
        bytesRead += m * bps;
      } else {
        ++failedPieces;
        LogUnreadable("the FAT (no copy readable; its clusters count as free)", fields.reservedSectors + done, m);
      }
    }
    if (failedPieces >= kMaxFailedFatPieces && done < total) {
      LogUnreadable("the rest of the FAT (too many bad sectors)", fields.reservedSectors + done, total - done);
      break;
    }
  }
  bufferSize = static_cast<std::int64_t>(fat.size());
  return fat;
}

void TMekFATScan::LogUnreadable(const std::string& what, std::int64_t firstSector, std::int64_t sectorCount) {
  Log("Cannot read " + what + "<br>Sectors: " + std::to_string(firstSector) + " - " +
          std::to_string(firstSector + std::max<std::int64_t>(sectorCount, 1) - 1),
      online::action::kError);
}

ChainCut TMekFATScan::BuildFileClusterList(const FatBuffer& fat, const BootRecord& boot, std::vector<ClusterNode>& runs,
                                           std::int64_t size, std::int64_t firstCluster) {
  const FatType type = GetFATType(boot);
  const std::int64_t clusterSize = m_raw->GetDriveClusterSize();
  const std::int64_t totalClusters = m_raw->GetTotalClusterCount();
  const std::int64_t needed = clusterSize > 0 ? (size + clusterSize - 1) / clusterSize : 0;
  const std::int64_t lastCluster = totalClusters + 1;  // FAT clusters are numbered from 2
  // A valid chain has exactly the clusters a file's size needs and never more than the
  // volume holds; a directory's chain is bounded by the volume alone.
  const std::int64_t maxSteps = size > 0 ? std::min(needed, totalClusters) : totalClusters;
  // One bit per cluster, set while this chain holds it and cleared after: a damaged chain
  // that comes back to a cluster it passed ends there instead of going round again.
  if (m_chainSeen.size() < static_cast<std::size_t>(std::max<std::int64_t>(lastCluster + 1, 0))) {
    m_chainSeen.assign(static_cast<std::size_t>(lastCluster + 1), false);
  }
  ChainCut cut;
  std::int64_t held = 0;
  std::int64_t cluster = firstCluster;
  std::int64_t previous = -1;
  while (!IsEOF(type, cluster) && cluster != 0 && held < maxSteps) {
    if (cluster < 2 || cluster > lastCluster) {
      if (held > 0) cut = {ChainCut::kOutOfRange, cluster};
      break;
    }
    if (m_chainSeen[static_cast<std::size_t>(cluster)]) {
      cut = {ChainCut::kLoops, cluster};
      break;
    }
    m_chainSeen[static_cast<std::size_t>(cluster)] = true;
    if (!runs.empty() && cluster == previous + 1) {
      ++runs.back().NumClusters;
    } else {
      runs.push_back(ClusterNode{cluster, 1, false, {}});
    }
    ++held;
    previous = cluster;
    switch (type) {
      case kFat12: cluster = GetFAT12EntryForCluster(boot, fat, cluster); break;
      case kFat16: cluster = GetFAT16EntryForCluster(boot, fat, cluster); break;
      case kFat32: cluster = GetFAT32EntryForCluster(boot, fat, cluster); break;
    }
  }
  for (const ClusterNode& run : runs) {
    for (std::int64_t c = run.StartCluster; c < run.StartCluster + run.NumClusters; ++c) {
      m_chainSeen[static_cast<std::size_t>(c)] = false;
    }
  }
  if (!runs.empty() && held < needed) {
    ClusterNode& last = runs.back();
    // The volume's last cluster is numbered TotalClusters + 1.
    last.NumClusters = std::min(last.NumClusters + needed - held, lastCluster + 1 - last.StartCluster);
  }
  return cut;
}

void TMekFATScan::LogChainCut(const ChainCut& cut, const std::string& what) {
  if (cut.reason == ChainCut::kNone) return;
  const std::string how = cut.reason == ChainCut::kLoops ? "comes back to cluster " : "points outside the volume, at ";
  Log("Damaged cluster chain: the chain of " + what + " " + how + std::to_string(cut.cluster) +
          "; cut there, the rest taken as following on",
      online::action::kError);
}

void TMekFATScan::BuildFATClusterList(const BootRecord& boot) {
  Log("FATScan Checkpoint: BuildClusterList", online::action::kFatScan);
  FatBuffer ownCopy;
  if (!m_scanFatValid) {
    std::int64_t size = 0, read = 0;
    ownCopy = GetFATBuffer(boot, size, read);
    if (read <= 0) return;
  }
  const FatBuffer& fat = m_scanFatValid ? m_scanFat : ownCopy;
  for (auto& record : m_fileList) {
    record->Clusters.emplace();
    LogChainCut(BuildFileClusterList(fat, boot, *record->Clusters, record->Size, record->FirstCluster),
                record->Dir + record->LongName);
  }
  RebuildFragmentedFiles(boot);
}

}  // namespace fsscan
