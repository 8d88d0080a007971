#pragma once
// TMekFATScan: the Undelete scanner. It reads a FAT12/16/32 volume's directories
// (or an NTFS volume's master file table) through its drive access component,
// keeps one FileNode per file found, reports them to its owner through OnFileNotify,
// and saves the ticked ones into an output folder. Owned by the front end; events
// are raised on the calling thread, except OnImageCheck, which runs on the workers
// when they are set (the checked pictures are reported in list order all the same);
// talks to the user only through its prompt and to the owner through events.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/FatDirectoryCheck.h"
#include "fsscan/FileRecords.h"
#include "fsscan/OutputNames.h"
#include "platform/BootSector.h"
#include "platform/ExFatBootSector.h"
#include "platform/FatBootSector.h"
#include "util/ByteReader.h"
#include "util/MemoryStream.h"
#include "util/Progress.h"
#include "util/Prompt.h"
#include "util/Types.h"
#include "util/WorkerPool.h"

namespace platform {
class TOutputFile;
}

namespace fsscan {

class LongNameAssembler;

namespace ntfs {
struct Attribute;
struct RecordStreams;
}  // namespace ntfs

using BootRecord = std::array<std::byte, 512>;

// A free cluster that starts as a sub-directory's first cluster does, and the cluster its
// ".." entry names (0 for the root); or a `piece`: a later cluster of a directory, whose
// first cluster is not known.
struct LostFolderCluster {
  std::int64_t cluster = 0;
  std::int64_t parent = 0;
  bool piece = false;
};
using FatBuffer = std::vector<std::byte>;

enum FatType : std::uint8_t { kFat12 = 0, kFat16 = 1, kFat32 = 2 };

// A file the scan found but left out of its list.
struct DroppedFile {
  std::string path;  // "\\DCIM\\notes.jpg"
  std::int64_t size = 0;
};

// Where a damaged FAT chain was cut, if it was.
struct ChainCut {
  enum Reason : std::uint8_t { kNone, kLoops, kOutOfRange };
  Reason reason = kNone;
  std::int64_t cluster = 0;  // the entry's value where the chain was cut
};

class TMekFATScan {
 public:
  using TFileNotify = std::function<void(TMekFATScan* Sender, util::TScanType xSource, const std::string& sID,
                                         util::TMemoryStream* xImage, const std::string& sFullName,
                                         const std::string& sExtension, util::TFileType xType, std::int64_t iSize)>;
  using TLogNotify = std::function<void(TMekFATScan* Sender, const std::string& sMessage, const std::string& sAction)>;
  using TRightsNotify = std::function<void(TMekFATScan* Sender)>;
  using TImageCheck = std::function<void(TMekFATScan* Sender, util::TMemoryStream& xImage, const std::string& sType,
                                         bool& bOk)>;
  using TFilesSavedNotify = std::function<void(TMekFATScan* Sender, std::int64_t iSaved)>;
  using TUpdateMessageNotify = std::function<void(TMekFATScan* Sender, const std::string& sMessage, bool bVisible)>;

  TMekFATScan();
  ~TMekFATScan();
  TMekFATScan(const TMekFATScan&) = delete;
  TMekFATScan& operator=(const TMekFATScan&) = delete;

  // Published properties.
  disk::TRawDiskAccessComponent* GetRAW() const { return m_raw; }
  void SetRAW(disk::TRawDiskAccessComponent* raw) { m_raw = raw; }
  std::vector<std::string>* GetDebugMemo() const { return m_debugMemo; }
  void SetDebugMemo(std::vector<std::string>* memo) { m_debugMemo = memo; }
  char GetDrive() const { return m_drive; }
  void SetDrive(char drive) { m_drive = drive; }
  bool GetDeletedOnly() const { return m_deletedOnly; }
  void SetDeletedOnly(bool value) { m_deletedOnly = value; }
  const std::string& GetFilter() const { return m_filter; }
  void SetFilter(std::string value) { m_filter = std::move(value); }
  const std::string& GetImageFilter() const { return m_imageFilter; }
  void SetImageFilter(std::string value) { m_imageFilter = std::move(value); }
  util::IProgress* GetProgress() const { return m_progress; }
  void SetProgress(util::IProgress* progress) { m_progress = progress; }
  bool GetOverwriteFiles() const { return m_overwriteFiles; }
  void SetOverwriteFiles(bool value) { m_overwriteFiles = value; }
  void SetPrompt(util::IPrompt* prompt) { m_prompt = prompt; }
  void SetProcessMessages(util::ProcessMessagesFn fn) { m_processMessages = std::move(fn); }
  // Picture checks run on these workers (none: on the scan's own thread).
  void SetWorkers(util::TWorkerPool* workers) { m_workers = workers; }

  TFileNotify OnFileNotify;
  TLogNotify OnLogNotify;
  TRightsNotify OnRightsNotify;
  TImageCheck OnImageCheck;
  TFilesSavedNotify OnFilesSavedNotify;
  TUpdateMessageNotify OnUpdateMessageNotify;

  // Component shell.
  void Terminate(bool value) { m_terminated = value; }
  bool IsTerminated() const { return m_terminated; }
  void DeletePrevious();
  void Log(const std::string& message, std::string_view action);
  void NotifyUpdateMessage(const std::string& message, bool visible);

  // Records and the directory tree.
  const std::vector<std::unique_ptr<FileNode>>& FileList() const { return m_fileList; }
  std::vector<std::unique_ptr<FileNode>>& MutableFileList() { return m_fileList; }
  // The first clusters of the live (not deleted) files a FAT scan passed by, whatever
  // the filters; a front end tells carved copies of files still on the drive by them.
  const std::vector<std::int64_t>& LiveFirstClusters() const { return m_liveFirstClusters; }
  // Files of a picture type whose bytes decode as no picture: left out of the list, each
  // named in the log ("dropped: no decodable picture").
  const std::vector<DroppedFile>& DroppedPictures() const { return m_droppedPictures; }
  DirectoryTree& DirTree() { return m_dirTree; }
  std::int64_t GetFoundNumber() const;
  std::int64_t GetNumber(bool saved) const;
  std::int64_t GetSelectedNumber() const { return GetNumber(false); }
  std::int64_t GetSavedNumber() const { return GetNumber(true); }
  std::int64_t GetSaveSize(std::uint8_t mode) const;
  void SetSaveFlag(bool value, std::int64_t index);
  void SetAllSaveFlags(bool value);
  std::string GetTypes(bool selected) const;
  std::string GetTypesFound() const { return GetTypes(false); }
  std::string GetTypesSaved() const { return GetTypes(true); }
  void DeleteFileList();
  void AddToBTree(const std::string& name, std::int64_t parent, std::int64_t key) { m_dirTree.Add(name, parent, key); }
  const BTreeNode* FindNode(std::int64_t key) const { return m_dirTree.Find(key); }
  std::string GetDirPath(std::int64_t parent) const { return m_dirTree.PathOf(parent); }
  void DeleteBTree() { m_dirTree.Clear(); }
  void DebugFilelist();
  void LogFileDetails(const FileNode& record);
  void LogReadInfo();
  // The "-30" line for sectors that could not be read: what they held and their range.
  void LogUnreadable(const std::string& what, std::int64_t firstSector, std::int64_t sectorCount);

  // FAT geometry and cluster chains.
  std::int64_t ReadSectors(std::byte* buffer, std::int64_t bufferSize, std::int64_t sectorCount,
                           std::int64_t startSector);
  void GetFATBootRecord(BootRecord& out);
  static FatType GetFATType(const BootRecord& boot);
  static std::uint64_t GetFirstRootDirSector(const BootRecord& boot);
  static std::uint64_t GetRootDirSectors(const BootRecord& boot);
  static std::uint64_t GetFirstDataSector(const BootRecord& boot);
  static std::uint64_t GetTotalSectors(const BootRecord& boot);
  // The boot record's FAT fields as they stand (checked or not).
  static platform::FatFields BootFields(const BootRecord& boot);
  std::int64_t GetFirstDataSector(char driveLetter);
  static std::uint16_t GetFAT12EntryForCluster(const BootRecord& boot, const FatBuffer& fat, std::int64_t cluster);
  static std::uint16_t GetFAT16EntryForCluster(const BootRecord& boot, const FatBuffer& fat, std::int64_t cluster);
  static std::uint32_t GetFAT32EntryForCluster(const BootRecord& boot, const FatBuffer& fat, std::int64_t cluster);
  static bool IsEOF(std::uint8_t fatType, std::int64_t value);
  FatBuffer GetFATBuffer(const BootRecord& boot, std::int64_t& bufferSize, std::int64_t& bytesRead);
  // The runs of one chain, cut where it comes back to a cluster it holds or leaves the volume
  // (said in the result), then taken as following on for the clusters its size needs.
  ChainCut BuildFileClusterList(const FatBuffer& fat, const BootRecord& boot, std::vector<ClusterNode>& runs,
                                std::int64_t size, std::int64_t firstCluster);
  // The log line of a chain that had to be cut; `what` names its file or folder.
  void LogChainCut(const ChainCut& cut, const std::string& what);
  void BuildFATClusterList(const BootRecord& boot);
  // Deleted files whose chain is gone and whose clusters others' clusters interrupt: read
  // over the clusters nobody else claims (marked Rebuilt), a picture by the reading it
  // decodes from. Needs the scan's FAT and the directory clusters the walk read.
  void RebuildFragmentedFiles(const BootRecord& boot);

  // FAT directory walk.
  void ScanFAT12_FAT16DirectoryEntries(const BootRecord& boot);
  void ScanFAT32DirectoryEntries(const BootRecord& boot);
  void ScanDirectoryClusters(std::uint32_t firstCluster, const BootRecord& boot, std::uint8_t fatType,
                             const std::string& path);
  // `names` carries a long name being assembled from one read of a directory to the next;
  // without it each read starts afresh.
  void ScanDirectoryEntries(const BootRecord& boot, const std::string& path, std::uint8_t fatType,
                            std::int64_t sectorCount, std::int64_t startSector, LongNameAssembler* names = nullptr);
  void ExtractDirEntries(const std::byte* buffer, const BootRecord& boot, std::uint8_t fatType,
                         const std::string& path, std::int64_t byteCount, LongNameAssembler* names = nullptr);
  // A deleted directory whose first cluster is free: that cluster and the free ones after
  // it, as long as they hold directory entries. A `piece` starts at a later cluster of a
  // directory (no "." and ".." entries).
  void ScanDeletedDirectory(std::int64_t firstCluster, const BootRecord& boot, std::uint8_t fatType,
                            const std::string& path, bool piece = false);
  // Reads one cluster of a deleted directory and lists its entries, unless it is in use,
  // read before or holds no directory entries (then kNotDirectory). `buffer` holds one cluster.
  DirectoryCluster TakeDeletedDirectoryCluster(std::int64_t cluster, bool first, const BootRecord& boot,
                                               std::uint8_t fatType, const std::string& path,
                                               LongNameAssembler& names, std::vector<std::byte>& buffer);
  // Folders no directory of the tree names any more (the root was written anew by a quick
  // format): each heads a tree below "Lost folders", read as a deleted folder is.
  void ScanLostFolders(const BootRecord& boot, std::uint8_t fatType);
  // The free clusters, not read as a directory in this scan, that start with "." and "..".
  std::vector<LostFolderCluster> FindLostFolderClusters(const BootRecord& boot, std::uint8_t fatType);
  // The free cluster where a deleted directory's long name `pending` goes on, if one does.
  std::optional<std::int64_t> FindDeletedDirectoryContinuation(std::int64_t after, const LongNameAssembler& pending,
                                                               const BootRecord& boot, std::uint8_t fatType);

  // NTFS master file table scan.
  void GetNTFSBootRecord(BootRecord& out);
  std::int64_t GetMFTRunList(const BootRecord& boot, std::vector<ClusterNode>& runs);
  void ScanMFT(const BootRecord& boot);
  // Records of an earlier MFT past the current one's end (a quick format leaves them):
  // files with their names, folders and runs, below "Lost folders" where a parent is gone.
  void ScanOldMFTRecords(const platform::BootGeometry& geometry, const std::vector<ClusterNode>& mftRuns,
                         std::int64_t mftSectors);
  // The volume's cluster bitmap ($Bitmap), empty when it cannot be read.
  std::vector<std::uint8_t> ReadNtfsBitmap(const platform::BootGeometry& geometry,
                                           const std::vector<ClusterNode>& mftRuns);
  void NTFSHandleAttribute10(const ntfs::Attribute& attribute, FileNode& record);
  void NTFSHandleAttribute30(const ntfs::Attribute& attribute, FileNode& record);
  void NTFSHandleAttribute80(const ntfs::Attribute& attribute, std::uint32_t bytesPerSector, FileNode& record);
  // Decodes one FILE record (its fix-ups applied in place) into a new record; with
  // `streams`, also a record for each named data stream, named "file:stream". Null, and a
  // log line, for a record whose fix-ups do not match.
  std::unique_ptr<FileNode> DecodeMFTRecord(std::span<std::byte> bytes, std::uint32_t bytesPerSector,
                                            bool withTimes, ntfs::RecordStreams* streams = nullptr);
  // Hands the decompressed data of an LZNT1-compressed record to `sink`, unit by unit, up
  // to its Size. False, with the reason in `failure`, when a unit cannot be read or decoded.
  bool ReadCompressedData(const FileNode& record, const BootRecord& boot,
                          const std::function<bool(const std::byte*, std::int64_t)>& sink, std::string& failure);

  // exFAT: the boot region (main, else backup) read from the drive; without it the
  // security notice and the end of the scan. Kept for the scan's and a save's cluster numbers.
  std::optional<platform::ExFatBootRegion> ReadExFatBootRegion();
  void ScanExFatVolume();

  // The scan driver.
  void ScanDrive();
  void ConsolidateFiles();
  std::int64_t GetFileSize(const FileNode& record) const;
  void CheckFileSizes();
  bool CheckImage(util::TMemoryStream& stream, const std::string& extension);
  void GetFileImages(const std::string& imageFilter, const BootRecord& boot);
  void RemoveNonDisplayed();

  // Saving.
  std::int64_t SaveFilesToDisk(const std::string& outputFolder);
  bool SaveToDisk(FileNode& record, const std::string& outputFolder, const BootRecord& boot);
  void SaveToStream(const FileNode& record, util::TMemoryStream& stream, const BootRecord& boot);
  void NotifyFileSave(std::int64_t count);
  // A fresh drive-letter path for the output file: folders and name made safe, numbered
  // when taken, shortened where too long. Taken by the record from then on.
  OutputNames::Placed TargetName(const FileNode& record, const std::string& outputFolder);
  // The sector where a cluster's data starts, on this volume.
  std::int64_t SectorOfCluster(std::int64_t cluster, const BootRecord& boot) const;

 private:
  void ProcessMessages();
  util::IPrompt& Prompt() const { return m_prompt ? *m_prompt : util::FallbackPrompt(); }
  bool GeometryUsable(const BootRecord& boot) const;
  // Writes a file's cluster runs; false when a block could not be read or written.
  // Reads a block that failed as a whole again cluster by cluster; what stays unreadable
  // becomes zeros and is noted on the record and in the log.
  void ReadAroundUnreadable(FileNode& record, std::span<std::byte> block, std::int64_t firstSector);
  bool WriteRuns(FileNode& record, platform::TOutputFile& out, const BootRecord& boot,
                 std::int64_t clustersPerBlock, std::int64_t& written);
  // Closes a saved file; false (logged) when its data may not have reached the disk.
  bool CloseSaved(platform::TOutputFile& out, const std::string& name);
  void RemoveRecordsIf(const std::function<bool(const FileNode&)>& drop);
  void ReportSecurityProblem();
  // Reads the sub-directory of a directory entry, within the depth bound.
  void EnterDirectory(const util::ByteReader& entry, std::int64_t firstCluster, const BootRecord& boot,
                      std::uint8_t fatType, const std::string& path);
  // The scan's copy of the FAT, read for one cluster.
  std::int64_t FatEntryOf(std::uint8_t fatType, std::int64_t cluster) const;
  bool IsFreeCluster(std::uint8_t fatType, std::int64_t cluster) const;
  // Per cluster number: in use in the FAT, or a directory's cluster the walk read.
  std::vector<bool> ClaimedClusters(std::uint8_t fatType) const;
  bool ReadingPassesCheck(FileNode& record, const std::vector<ClusterNode>& reading, const BootRecord& boot);
  // Whether a cluster starts as a sub-directory's first cluster does.
  bool HoldsDotEntries(std::int64_t cluster, const BootRecord& boot);
  // The first ten sectors, when the drive's file system name holds `fileSystem`; without
  // them the security notice and the end of the scan.
  bool ReadBootRecord(std::string_view fileSystem, BootRecord& out);
  // A volume of a whole disk found by its boot sectors, or read through a backup of its
  // first sector, says where and how in the log.
  void LogVolumeOrigin();
  void ScanNTFSVolume();
  // The NTFS geometry of a boot record, when every field of it checks.
  static std::optional<platform::BootGeometry> NtfsGeometry(const BootRecord& boot);
  void HandleDataAttribute(const ntfs::Attribute& attribute, std::uint32_t bytesPerSector, FileNode& record,
                           ntfs::RecordStreams* streams);
  static void NameStream(const FileNode& file, FileNode& stream);
  // Appends a decoded file and its streams, as far as the filter lets them.
  // The folders of the old MFT records kept from index `firstKept` on.
  void PlaceOldRecords(std::size_t firstKept, std::int64_t currentRecords);
  void KeepMFTRecord(std::unique_ptr<FileNode> record, ntfs::RecordStreams& streams);
  void ScanMFTRun(const ClusterNode& run, const platform::BootGeometry& geometry, std::vector<std::byte>& block,
                  std::int64_t totalSectors, std::int64_t& processed);
  // Reads `count` sectors from `sector` into `block` one record at a time, zeros (and a
  // log line) where a record cannot be read; returns the bytes covered.
  std::int64_t ReadRecordsSingly(std::vector<std::byte>& block, std::int64_t sector, std::int64_t count,
                                 std::int64_t recordSectors, std::int64_t bytesPerSector);

  disk::TRawDiskAccessComponent* m_raw = nullptr;
  std::vector<std::string>* m_debugMemo = nullptr;
  char m_drive = 0;
  bool m_deletedOnly = true;
  std::string m_filter;
  std::string m_imageFilter = "jpg;bmp;emf;wmf";
  util::IProgress* m_progress = nullptr;
  bool m_overwriteFiles = false;
  util::IPrompt* m_prompt = nullptr;
  util::ProcessMessagesFn m_processMessages;
  util::TWorkerPool* m_workers = nullptr;

  std::vector<std::unique_ptr<FileNode>> m_fileList;
  std::vector<std::int64_t> m_liveFirstClusters;
  std::vector<DroppedFile> m_droppedPictures;
  DirectoryTree m_dirTree;
  bool m_terminated = false;
  std::int64_t m_depth = 0;
  // True while the walk is below a deleted directory: every file there is deleted.
  bool m_inDeletedFolder = false;
  // Where the records the walk makes now come from.
  FileOrigin m_walkOrigin = FileOrigin::kDirectory;
  std::int64_t m_dirCount = 0;
  bool m_depthLimitLogged = false;
  // Directory clusters read in this scan: none is read twice, so loops through
  // damaged or reused clusters end.
  std::unordered_set<std::int64_t> m_visitedDirClusters;
  // Per cluster, whether the chain being walked holds it; all clear between walks.
  std::vector<bool> m_chainSeen;
  // What the search for deleted directories' scattered clusters may still do in this scan:
  // sectors to read and clusters to look up in the FAT (a hostile volume may hold many
  // deleted directories that each seem to go on).
  std::int64_t m_continuationReadsLeft = 0;
  std::int64_t m_continuationLooksLeft = 0;
  // The FAT read once per scan for every directory chain; empty outside a scan.
  FatBuffer m_scanFat;
  bool m_scanFatValid = false;
  // Sectors of the whole volume from the boot sector (0 until it is read).
  std::int64_t m_volumeSectors = 0;
  // The exFAT boot region of the volume being scanned or saved from.
  std::optional<platform::ExFatBootRegion> m_exFat;
  // The names the current save gave, per output folder.
  OutputNames m_outputNames;
};

}  // namespace fsscan
