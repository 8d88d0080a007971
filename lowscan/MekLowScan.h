#pragma once
// TMekLowScan: the Low Level Scan component. It carves files out of a drive by
// the header and footer markers of the selected file types, without looking at
// the file system, keeps them in FileList and saves the ticked ones. It owns its
// own drive access component. Events are raised on the calling thread, from
// ScanDrive and SaveFileList, in the order one thread carving and checking in
// turn gives; a handler must not start another scan or save on the same scanner
// or destroy it. With workers set, OnImageCheck alone runs on the workers (it
// must touch nothing but its stream), the files it checks are handed back in
// order, and one thread reads the drive a step ahead of the carving.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "lowscan/FileNode.h"
#include "lowscan/MarkerData.h"
#include "lowscan/MarkerSearch.h"
#include "util/InOrder.h"
#include "util/LargeBuffer.h"
#include "util/MemoryStream.h"
#include "util/Prompt.h"
#include "util/Types.h"

namespace platform {
class TOutputFile;
}

namespace lowscan {

class TMekLowScan;

using TFileNotify = std::function<void(TMekLowScan* Sender, util::TScanType xSource, const std::string& sID,
                                       util::TMemoryStream* xImage, const std::string& sFullName,
                                       const std::string& sExtension, util::TFileType xType, std::int64_t iSize)>;
using TLogNotify = std::function<void(TMekLowScan* Sender, const std::string& sMessage, const std::string& sAction)>;
using TImageCheck =
    std::function<void(TMekLowScan* Sender, util::TMemoryStream& xImage, const std::string& sType, bool& bOk)>;
using TGetFileData = std::function<void(TMekLowScan* Sender, std::vector<std::string>& xData)>;
using TGetFirstDataSector = std::function<void(TMekLowScan* Sender, const std::string& sDrive, std::int64_t& iSector)>;
using TFilesSavedNotify = std::function<void(TMekLowScan* Sender, std::int64_t iSaved)>;
using TUpdateMessageNotify = std::function<void(TMekLowScan* Sender, const std::string& sMessage, bool bVisible)>;
using TBatchNotify =
    std::function<void(TMekLowScan* Sender, std::size_t batch, const std::vector<std::string>& types)>;

// The progress bar the scan drives.
class IProgressBar {
 public:
  virtual ~IProgressBar() = default;
  virtual void SetRange(int minimum, int maximum) = 0;
  virtual void SetPosition(int position) = 0;
  virtual void SetHint(const std::string& hint, bool showHint) = 0;
  // Bytes scanned of the drive's total, once per read step; for displays that
  // show speed and time left.
  virtual void SetBytes(std::int64_t position, std::int64_t total) {
    (void)position;
    (void)total;
  }
};

class TCarver;
struct TScanBatch;
struct TDeferredEvent;
struct TClosedFile;
struct TStepRead;

class TMekLowScan {
 public:
  static constexpr std::int64_t kStepBytes = 4194304;

  TMekLowScan();
  ~TMekLowScan();
  TMekLowScan(const TMekLowScan&) = delete;
  TMekLowScan& operator=(const TMekLowScan&) = delete;

  // Published properties.
  char GetDrive() const { return m_drive; }
  void SetDrive(char drive) { m_drive = drive; }
  const std::vector<std::string>& GetLowFileTypes() const { return m_lowFileTypes; }
  void SetLowFileTypes(const std::vector<std::string>& lines) { m_lowFileTypes = lines; }
  bool GetUseClusterBoundary() const { return m_useClusterBoundary; }
  void SetUseClusterBoundary(bool value) { m_useClusterBoundary = value; }
  bool GetOverwriteFiles() const { return m_overwriteFiles; }
  void SetOverwriteFiles(bool value) { m_overwriteFiles = value; }
  void SetProgress(IProgressBar* progress) { m_progress = progress; }
  void SetPrompt(util::IPrompt* prompt) { m_prompt = prompt; }
  void SetProcessMessages(util::ProcessMessagesFn fn) { m_processMessages = std::move(fn); }
  // Picture checks run on these workers (none: on the scan's own thread).
  void SetWorkers(util::TWorkerPool* workers) { m_workers = workers; }
  // Physical memory available, for log lines; the system's figure when unset.
  void SetFreeMemorySource(std::function<std::int64_t()> source) { m_freeMemory = std::move(source); }

  TFileNotify OnFileNotify;
  TLogNotify OnLogNotify;
  TImageCheck OnImageCheck;
  TGetFileData OnGetFileData;
  TGetFirstDataSector OnGetFirstDataSector;
  TFilesSavedNotify OnFilesSavedNotify;
  TUpdateMessageNotify OnUpdateMessageNotify;
  // Raised where a batch of ScanDriveBatches begins, in the order of its reports.
  TBatchNotify OnBatchStart;

  // Scans Drive and appends the carved files to FileList. False when the scan could
  // not start (a marker that is not hexadecimal); ScanError() then says why.
  bool ScanDrive();
  // The passes of a thorough scan from one read of the drive: each batch of types
  // (LowFileTypes lines) keeps its accept rules and gives the files, numbers,
  // events and log lines that ScanDrive once per batch would give, in that order.
  // A batch after a stop is not reported, as it would not have run.
  // With ReportAsCarved every batch is announced before the read, and files are
  // reported, numbered in that order, as soon as no file still open in another
  // batch may turn out to hold them; a stop keeps every file found so far.
  bool ScanDriveBatches(const std::vector<std::vector<std::string>>& batches);
  void SetReportAsCarved(bool value) { m_reportAsCarved = value; }
  const std::string& ScanError() const { return m_scanError; }
  void Terminate(bool value) { m_terminated = value; }
  bool Terminated() const { return m_terminated; }
  void DeletePrevious();
  void DeleteFileList();

  // The marker list of the last scan (rebuilt by every ScanDrive).
  const std::vector<TMarkerData>& Markers() const { return m_markers; }
  const std::vector<std::unique_ptr<FileNode>>& FileList() const { return m_fileList; }
  std::int64_t FileCounter() const { return m_fileCounter; }

  bool CheckImage(FileNode& file);
  void AddFile(FileNode& file, util::TFileType type, std::int64_t index);
  std::int64_t GetFirstDataSector();
  std::int64_t ReadSectors(std::span<std::byte> buffer, std::int64_t startSector, std::int64_t sectorCount);
  void NotifyUpdateMessage(const std::string& text, bool visible);
  void Log(const std::string& message, std::string_view action);

  // Saving and selection (carved files).
  std::int64_t SaveFileList(const std::string& folder);
  void SetSaveFlag(bool value, std::int64_t index);
  void SetAllSaveFlags(bool value);
  std::int64_t GetSaveSize(std::uint8_t mode) const;
  std::int64_t GetNumber(bool saved) const;
  std::int64_t GetSavedNumber() const { return GetNumber(true); }
  std::int64_t GetSelectedNumber() const { return GetNumber(false); }
  std::int64_t GetFoundNumber() const { return static_cast<std::int64_t>(m_fileList.size()); }
  std::string GetTypes(bool selected) const;
  std::string GetTypesFound() const { return GetTypes(false); }
  std::string GetTypesSaved() const { return GetTypes(true); }
  void NotifyFileSave(std::int64_t count);
  void LogFileDetails(const FileNode& file);
  void LogReadInfo();

  disk::TRawDiskAccessComponent& Raw() { return *m_raw; }

 private:
  void InitialiseMarkerData();
  void RunSteps(std::vector<std::unique_ptr<TScanBatch>>& batches);
  void ProcessStep(std::vector<std::unique_ptr<TScanBatch>>& batches, std::int64_t driveOffset, std::int64_t got);
  std::unique_ptr<TCarver> MakeCarver(TScanBatch& batch, std::size_t stepBytes);
  void BatchLog(TScanBatch& batch, const std::string& message, std::string_view action);
  void BatchFileClosed(TScanBatch& batch, FileNode&& file, int markerIndex, bool atEnd, bool byStructure,
                       std::string_view shownType);
  // A closed file back from its check, in the order files were closed.
  void HandBack(TScanBatch& batch, TClosedFile& closed, bool checked);
  // An event of the scan, in turn behind the files still being checked.
  void InTurn(std::function<void()> action);
  // Lets the window work, and reports the checked files that are due.
  void Pump();
  void LogNow(std::vector<TDeferredEvent>* deferred, const std::string& message, const std::string& action);
  void ListFile(TScanBatch& batch, FileNode&& file, int markerIndex, bool atEnd, std::int64_t number);
  void Replay(TScanBatch& batch);
  // Reports the held files of all batches that no open file may still hold (all of
  // them with `all`); `readEnd` is where the bytes read so far end.
  void ReleaseCarved(std::vector<std::unique_ptr<TScanBatch>>& batches, std::int64_t readEnd, bool all);
  // Where the earliest file still open in any batch starts.
  static std::int64_t OpenFrom(const std::vector<std::unique_ptr<TScanBatch>>& batches);
  void ReleaseCarvedFrom(std::vector<std::unique_ptr<TScanBatch>>& batches, std::int64_t readEnd,
                         std::int64_t openFrom, bool all);
  static void DropFilesInsideOthers(std::vector<std::unique_ptr<TScanBatch>>& batches);
  static void DropSiblingCopies(std::vector<std::unique_ptr<TScanBatch>>& batches);
  TAlignment Alignment();
  void ShowProgress(std::int64_t sector, std::int64_t lastSector, std::int64_t total, std::int64_t sectorSize);
  // Reads one step (the whole of it, or after a short read what can be read of it).
  TStepRead ReadStep(std::int64_t sector, std::int64_t perStep, std::span<std::byte> into);
  // After a short read: the sectors of the step that can still be read, from its
  // start; bytes read.
  std::int64_t ReadLeadingSectors(std::span<std::byte> buffer, std::int64_t sector, std::int64_t count);
  // What the last read did, for the read report.
  void RecordRead(std::int64_t startSector, std::int64_t sectorCount, std::int64_t copied);
  std::int64_t FreeMemory() const;
  void SaveOne(FileNode& file, const std::string& folder, std::int64_t& saved);
  bool CopyRange(FileNode& file, platform::TOutputFile& out, const std::string& path, std::int64_t& written);

  std::unique_ptr<disk::TRawDiskAccessComponent> m_raw;
  char m_drive = 0;
  std::vector<std::string> m_lowFileTypes;
  bool m_useClusterBoundary = true;
  bool m_overwriteFiles = false;
  IProgressBar* m_progress = nullptr;
  util::IPrompt* m_prompt = nullptr;
  util::ProcessMessagesFn m_processMessages;
  std::function<std::int64_t()> m_freeMemory;

  std::vector<std::unique_ptr<FileNode>> m_fileList;
  std::vector<TMarkerData> m_markers;
  std::vector<TPattern> m_patterns;
  std::int64_t m_fileCounter = 0;
  bool m_reportAsCarved = false;
  bool m_carvedOrder = false;  // this run reports its batches' files as they are carved
  std::int64_t m_clusterBase = 0;
  std::int64_t m_readableEnd = -1;  // first sector found unreadable after a short read
  util::TLargeBuffer m_copyBuffer;  // the save run's read buffer
  bool m_terminated = false;
  bool m_markerError = false;
  std::vector<TDeferredEvent>* m_deferred = nullptr;
  util::TWorkerPool* m_workers = nullptr;
  std::unique_ptr<util::TInOrder> m_inOrder;  // while a scan runs  // log lines of a batch that reports later
  std::string m_scanError;
};

}  // namespace lowscan
