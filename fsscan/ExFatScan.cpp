// The Undelete scan of an exFAT volume: its boot region, then the walk of its directories,
// and the same pruning and reporting as on FAT.

#include <algorithm>

#include "fsscan/ExFatWalk.h"
#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "platform/SystemInfo.h"
#include "util/SizeText.h"

namespace fsscan {

std::optional<platform::ExFatBootRegion> TMekFATScan::ReadExFatBootRegion() {
  Log("FATScan Checkpoint: GetFATBootRecord", online::action::kFatScan);
  m_raw->SetDriveLetter(std::string(1, m_drive));
  const std::int64_t sectorSize = std::max(m_raw->GetDriveSectorSize(), 512);
  std::vector<std::byte> bytes(platform::kExFatBootRegionsBytes);
  const std::int64_t sectors = static_cast<std::int64_t>(bytes.size()) / sectorSize;
  std::int64_t got = ReadSectors(bytes.data(), static_cast<std::int64_t>(bytes.size()), sectors, 0);
  // A small volume may end before both regions at the largest sector size; both regions
  // at its own size are all that is needed.
  if (got <= 0) got = ReadSectors(bytes.data(), static_cast<std::int64_t>(bytes.size()), 24, 0);
  if (got <= 0) {
    ReportSecurityProblem();
    return std::nullopt;
  }
  bytes.resize(static_cast<std::size_t>(got));
  m_exFat = platform::DecodeExFatBootRegion(bytes, {});
  if (!m_exFat) {
    Log("Disk Type: exFAT <br> Neither boot region holds a usable exFAT boot sector; the Undelete scan cannot read "
        "this volume.",
        online::action::kError);
    return std::nullopt;
  }
  Log("FAT Boot Record Read", online::action::kBootRecordRead);
  if (!m_exFat->mainChecksumMatches) {
    Log(m_exFat->fromBackup ? "exFAT boot checksum mismatch in the main boot region; the backup region is used"
                            : "exFAT boot checksum mismatch in both boot regions; the main boot sector is used",
        online::action::kError);
  }
  m_volumeSectors = static_cast<std::int64_t>(m_exFat->geometry.totalSectors);
  return m_exFat;
}

void TMekFATScan::ScanExFatVolume() {
  if (!ReadExFatBootRegion() || m_terminated) return;
  const platform::BootGeometry& g = m_exFat->geometry;
  // Cluster sizes and counts come from the region in force, not the component's view.
  if (static_cast<std::int64_t>(g.sectorsPerCluster) != m_raw->GetSectorsPerCluster() ||
      static_cast<std::int64_t>(g.bytesPerSector) != m_raw->GetDriveSectorSize()) {
    Log("Sec/Clust difference. BootRec:" + std::to_string(g.sectorsPerCluster) +
            " Raw: " + std::to_string(m_raw->GetSectorsPerCluster()),
        online::action::kSectorsPerClusterMismatch);
    Log("Disk Type: exFAT <br> The boot region in force does not match the drive's geometry; the Undelete scan "
        "cannot read this volume.",
        online::action::kError);
    return;
  }
  m_depth = 0;
  m_dirCount = 0;
  Log("Disk Type: exFAT <br> Free Memory: " +
          util::GetFormatedMemory(static_cast<std::int64_t>(platform::ReadMemoryStatus().availableBytes)),
      online::action::kFatScan);
  NotifyUpdateMessage("Initial Scan...", true);
  Log("FATScan Checkpoint: ScanDirectoryEntries", online::action::kFatScan);
  ExFatWalk(*this, *m_exFat).Run();
  ConsolidateFiles();
  NotifyUpdateMessage("Undelete Scan...", true);
  CheckFileSizes();
  const BootRecord unused{};
  GetFileImages(m_imageFilter, unused);
  RemoveNonDisplayed();
  NotifyUpdateMessage("", false);
  Log("Free Memory remaining: " +
          util::GetFormatedMemory(static_cast<std::int64_t>(platform::ReadMemoryStatus().availableBytes)),
      online::action::kFatScan);
}

}  // namespace fsscan
