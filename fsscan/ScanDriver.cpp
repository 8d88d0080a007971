// ScanDrive: one whole Undelete scan, from the boot sector to the files reported.

#include <algorithm>
#include <exception>
#include <limits>
#include <unordered_map>

#include "fsscan/MekFATScan.h"
#include "online/ActionCodes.h"
#include "platform/SystemInfo.h"
#include "util/ByteReader.h"
#include "util/InOrder.h"
#include "util/SizeText.h"
#include "util/Text.h"

namespace fsscan {
namespace {

std::string FreeMemoryText() {
  return util::GetFormatedMemory(static_cast<std::int64_t>(platform::ReadMemoryStatus().availableBytes));
}

struct PairHash {
  std::size_t operator()(const std::pair<std::string, std::int64_t>& key) const {
    return std::hash<std::string>()(key.first) ^ (std::hash<std::int64_t>()(key.second) * 0x9E3779B97F4A7C15ULL);
  }
};

}  // namespace

void TMekFATScan::ScanDrive() {
  DeleteFileList();
  Log("FATScan Checkpoint: DeleteBTree", online::action::kFatScan);
  DeleteBTree();
  m_raw->SetDriveLetter(std::string(1, m_drive));
  m_overwriteFiles = false;
  m_terminated = false;
  m_visitedDirClusters.clear();
  m_liveFirstClusters.clear();
  m_volumeSectors = 0;
  m_exFat.reset();
  NotifyUpdateMessage("", false);
  const std::string fileSystem = util::UpperCase(m_raw->GetFileSystem());
  if (fileSystem.find("NTFS") != std::string::npos) ScanNTFSVolume();
  if (fileSystem == "EXFAT") {
    ScanExFatVolume();
    return;
  }
  if (fileSystem.find("FAT") == std::string::npos) return;

  BootRecord boot{};
  GetFATBootRecord(boot);
  const std::uint8_t bootSpc = static_cast<std::uint8_t>(boot[13]);
  const std::int32_t rawSpc = m_raw->GetSectorsPerCluster();
  if (!m_terminated && bootSpc != rawSpc) {
    Log("Sec/Clust difference. BootRec:" + std::to_string(bootSpc) + " Raw: " + std::to_string(rawSpc), online::action::kSectorsPerClusterMismatch);
    boot[13] = static_cast<std::byte>(rawSpc);
  }
  if (m_terminated) return;
  if (!GeometryUsable(boot)) {
    // exFAT, or a boot sector or drive without usable FAT parameters: nothing to walk.
    Log("Disk Type: " + m_raw->GetFileSystem() + " <br> No FAT parameters in the boot sector; the Undelete scan "
        "cannot read this volume.", online::action::kError);
    return;
  }
  m_volumeSectors = static_cast<std::int64_t>(GetTotalSectors(boot));
  m_depth = 0;
  m_inDeletedFolder = false;
  m_walkOrigin = FileOrigin::kDirectory;
  m_dirCount = 0;
  m_depthLimitLogged = false;
  m_continuationReadsLeft = std::int64_t{1} << 16;
  m_continuationLooksLeft = std::int64_t{1} << 26;
  const FatType type = GetFATType(boot);
  static constexpr const char* kTypeNames[] = {"FAT12", "FAT16", "FAT32"};
  Log(std::string("Disk Type: ") + kTypeNames[type] + " <br> Free Memory: " + FreeMemoryText(), online::action::kFatScan);
  NotifyUpdateMessage("Initial Scan...", true);
  std::int64_t fatSize = 0, fatRead = 0;
  m_scanFat = GetFATBuffer(boot, fatSize, fatRead);
  m_scanFatValid = fatRead > 0;
  if (type == kFat32) {
    ScanFAT32DirectoryEntries(boot);
  } else {
    ScanFAT12_FAT16DirectoryEntries(boot);
  }
  ScanLostFolders(boot, type);
  ConsolidateFiles();
  NotifyUpdateMessage("Undelete Scan...", true);
  BuildFATClusterList(boot);
  m_scanFat = {};
  m_scanFatValid = false;
  CheckFileSizes();
  GetFileImages(m_imageFilter, boot);
  RemoveNonDisplayed();
  NotifyUpdateMessage("", false);
  Log("Free Memory remaining: " + FreeMemoryText(), online::action::kFatScan);
}

void TMekFATScan::ScanNTFSVolume() {
  Log("Disk Type: NTFS <br> Free Memory: " + FreeMemoryText(), online::action::kFatScan);
  BootRecord boot{};
  GetNTFSBootRecord(boot);
  if (m_terminated) return;
  // Reads are bounded by the whole volume, not only its clusters.
  const auto geometry = NtfsGeometry(boot);
  m_volumeSectors = geometry ? static_cast<std::int64_t>(geometry->totalSectors) : 0;
  NotifyUpdateMessage("Initial Scan...", true);
  ScanMFT(boot);
  NotifyUpdateMessage("Undelete Scan...", true);
  // The NTFS path of SaveToStream never consults a FAT boot record.
  const BootRecord fatBoot{};
  GetFileImages(m_imageFilter, fatBoot);
  RemoveNonDisplayed();
  Log("Free Memory remaining: " + FreeMemoryText(), online::action::kFatScan);
  NotifyUpdateMessage("", false);
}

void TMekFATScan::ConsolidateFiles() {
  Log("FATScan Checkpoint: ConsolidateFiles", online::action::kFatScan);
  // Of records with equal long name and first cluster, the one with the highest index stays.
  std::unordered_map<std::pair<std::string, std::int64_t>, std::size_t, PairHash> survivor;
  for (std::size_t i = 0; i < m_fileList.size(); ++i) {
    survivor[{m_fileList[i]->LongName, m_fileList[i]->FirstCluster}] = i;
  }
  for (std::size_t i = 0; i < m_fileList.size(); ++i) {
    const FileNode& r = *m_fileList[i];
    if (survivor.at({r.LongName, r.FirstCluster}) != i) m_fileList[i]->Duplicate = true;
  }
  RemoveRecordsIf([](const FileNode& r) { return r.Duplicate; });
}

std::int64_t TMekFATScan::GetFileSize(const FileNode& record) const {
  if (!record.Clusters) return 0;
  std::int64_t total = 0;
  for (const ClusterNode& run : *record.Clusters) {
    total += run.NumClusters * m_raw->GetSectorsPerCluster() * m_raw->GetDriveSectorSize();
  }
  return total;
}

void TMekFATScan::CheckFileSizes() {
  Log("FATScan Checkpoint: CheckFileSizes", online::action::kFatScan);
  RemoveRecordsIf([this](const FileNode& r) { return GetFileSize(r) < r.Size; });
}

bool TMekFATScan::CheckImage(util::TMemoryStream& stream, const std::string& extension) {
  bool ok = true;
  if (OnImageCheck) OnImageCheck(this, stream, extension, ok);
  return ok;
}

void TMekFATScan::GetFileImages(const std::string& imageFilter, const BootRecord& boot) {
  Log("FATScan Checkpoint: GetFileImages. Initially: " + std::to_string(m_fileList.size()) + " files", online::action::kFatScan);
  if (m_progress) {
    m_progress->SetMinimum(0);
    m_progress->SetMaximum(static_cast<std::int64_t>(m_fileList.size()));
    m_progress->SetPosition(0);
    m_progress->SetShowHint(false);
  }
  const std::string filter = util::UpperCase(imageFilter);
  const bool ntfs = m_raw->GetFileSystem() == "NTFS";
  // Rejected records are dropped by compacting in place, so the identifiers reported are
  // the final indexes and no removal shifts the whole list.
  std::size_t kept = 0;
  std::size_t next = 0;
  struct Picture {
    util::TMemoryStream stream;
    std::string extension;
    bool ok = true;
  };
  // A record's turn, in list order: reported and moved up behind the reported ones, or dropped.
  const auto report = [&](std::size_t index, Picture* picture, bool checked) {
    FileNode& record = *m_fileList[index];
    if (checked && (!picture || picture->ok)) {
      if (OnFileNotify) {
        if (ntfs && record.Origin != FileOrigin::kOldMftRecord) record.Dir = GetDirPath(record.ParentDir);
        OnFileNotify(this, util::stFATScan, std::to_string(kept), picture ? &picture->stream : nullptr,
                     std::string(1, m_drive) + ":" + record.Dir + record.LongName, record.Extension, util::ftBusiness,
                     record.Size);
        record.Displayed = true;
      }
      if (kept != index) std::swap(m_fileList[kept], m_fileList[index]);
      ++kept;
    } else {
      // Turned down by the check, or left unchecked by a stop: not shown. A turned-down file
      // is said, never dropped silently: the user may be looking for it.
      if (checked) {
        if (ntfs && record.Origin != FileOrigin::kOldMftRecord) record.Dir = GetDirPath(record.ParentDir);
        m_droppedPictures.push_back({record.Dir + record.LongName, record.Size});
        Log("dropped: no decodable picture: " + record.Dir + record.LongName, online::action::kFatScan);
      }
      m_fileList[index].reset();
    }
    if (m_progress && checked) m_progress->StepBy(1);
  };
  // Pictures are read here, one after another, and checked on the workers meanwhile.
  const std::size_t workers = m_workers ? m_workers->Threads() : 1;
  util::TInOrder inOrder(m_workers, 2 * workers, std::int64_t{32} * 1024 * 1024 * static_cast<std::int64_t>(workers));
  inOrder.SetWaitHook([this] { ProcessMessages(); });
  inOrder.SetStopped([this] { return m_terminated; });
  try {
    for (; next < m_fileList.size() && !m_terminated; ++next) {
      FileNode& record = *m_fileList[next];
      const std::string extension = util::UpperCase(record.Extension);
      // An empty file has nothing to check or preview; it is listed as it is.
      if (!extension.empty() && record.Size > 0 && filter.find(extension) != std::string::npos) {
        auto picture = std::make_shared<Picture>();
        picture->extension = record.Extension;
        SaveToStream(record, picture->stream, boot);
        const std::int64_t bytes = picture->stream.Size();
        inOrder.Add([this, picture] { picture->ok = CheckImage(picture->stream, picture->extension); },
                    [&report, next, picture](bool checked) { report(next, picture.get(), checked); }, bytes);
      } else {
        inOrder.Then([&report, next] { report(next, nullptr, true); });
      }
      ProcessMessages();
      inOrder.Collect();
    }
    inOrder.Drain();
  } catch (const std::exception& e) {
    Log(e.what(), online::action::kConsolidateError);
    if (next < m_fileList.size()) ++next;
  }
  // Records not reached stay behind the reported ones, in order, for RemoveNonDisplayed.
  std::move(m_fileList.begin() + static_cast<std::ptrdiff_t>(next), m_fileList.end(),
            m_fileList.begin() + static_cast<std::ptrdiff_t>(kept));
  m_fileList.resize(kept + (m_fileList.size() - next));
}

void TMekFATScan::RemoveNonDisplayed() {
  Log("FATScan Checkpoint: RemoveNonDisplayed", online::action::kFatScan);
  RemoveRecordsIf([](const FileNode& r) { return !r.Displayed; });
}

}  // namespace fsscan
