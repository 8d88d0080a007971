#pragma once
// TScanSession: one scan run over a drive, as both front ends drive it. It owns
// the Undelete and the Low Level scanner, wires their events, the picture check
// and the first data sector between them, splits the Low Level types into passes,
// and gives each run's log lines and statistics record to its owner.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "disk/UnreadableSectors.h"
#include "fsscan/MekFATScan.h"
#include "lowscan/MekLowScan.h"
#include "online/Transaction.h"
#include "util/MemoryStream.h"
#include "util/WorkerPool.h"
#include "util/Types.h"

namespace session {

// The types whose pictures are decoded before they are reported, when images are shown.
inline constexpr std::string_view kPictureTypes = "jpg;jpeg;bmp;emf;wmf";

// What one scan run found, as its statistics record counts it.
struct TScanFigures {
  bool started = true;  // false: the Low Level Scan could not start (see `error`)
  std::string error;
  std::int64_t seconds = 0;
  std::int64_t found = 0;
  std::int64_t foundBytes = 0;
  std::string typesFound;
  bool cancelled = false;
  std::int64_t unreadableSectors = 0;  // of the drive, so far in the run
};

// Entries joined as a delimited list: quoted where an entry holds the delimiter, a space or a quote.
std::string Joined(const std::vector<std::string>& entries, char delimiter);

class TScanSession {
 public:
  using TFileFound = std::function<void(util::TScanType source, const std::string& id, util::TMemoryStream* image,
                                        const std::string& fullName, const std::string& extension,
                                        util::TFileType type, std::int64_t size)>;
  using TLog = std::function<void(const std::string& message, const std::string& action)>;

  TScanSession();
  TScanSession(const TScanSession&) = delete;
  TScanSession& operator=(const TScanSession&) = delete;

  fsscan::TMekFATScan& Undelete() { return m_undelete; }
  lowscan::TMekLowScan& Low() { return m_low; }

  // The scanned drive's component, shared with the Undelete scanner; its size heads the statistics.
  void SetRaw(disk::TRawDiskAccessComponent* raw);
  void SetPrompt(util::IPrompt* prompt);
  void SetProcessMessages(const util::ProcessMessagesFn& fn);
  // Picture checks of both scans run on this many workers; 0 keeps them on the scan's
  // own thread. Set from TRELLMOND_THREADS and the processors at first; not while a scan runs.
  void SetWorkerThreads(std::size_t threads);
  std::size_t WorkerThreads() const { return m_workers ? m_workers->Threads() : 0; }
  // Pictures found by the Undelete scan are checked (and shown) only while images are shown.
  void SetShowImages(bool show);
  bool ShowImages() const { return m_showImages; }
  // The picture types the Undelete scan checks while images are shown (kPictureTypes unless set).
  void SetPictureTypes(const std::string& types);

  // Before the scans of a run: the drive, nothing from an earlier run, no stop pending.
  void Begin(char letter);
  // The Undelete scan of the types given, or of every type.
  TScanFigures RunUndelete(bool deletedOnly, const std::vector<std::string>& types, bool allTypes);
  // The Low Level Scan of selection entries "ext;category;key", in passes: one for a quick
  // scan (cluster boundaries), as many as the types' conflict keys need for a thorough one.
  TScanFigures RunLowLevel(const std::vector<std::string>& entries);
  // Stops the scan running; later scans of the run do not start.
  void Stop();
  bool Stopped() const { return m_stopped; }

  // The sectors of the drive that the run could not read so far (scans and saves), merged.
  const disk::TUnreadableSectors& Unreadable() const { return *m_unreadable; }
  // Logs the unreadable ranges gathered so far, when there are any, as met by `what`.
  void LogUnreadable(const std::string& what);

  // The statistics record of a run ("F-Scan", "L-Scan", "F-Save", "L-Save").
  online::StatisticsRecord Statistics(std::string_view kind, std::int64_t bytes, std::int64_t number,
                                      std::int64_t seconds, const std::string& types, bool cancelled) const;

  TFileFound OnFileFound;
  TLog OnLog;
  std::function<void(const std::string& text, bool visible)> OnMessage;
  std::function<void(std::int64_t saved)> OnFilesSaved;
  // A picture the check kept, before it is reported: a front end may decode it for its preview.
  // Raised on a worker thread when there are workers: it must touch nothing but `image`.
  std::function<void(util::TMemoryStream& image, const std::string& type)> OnPictureKept;
  // A Low Level pass begins: its entries.
  std::function<void(std::size_t index, const std::vector<std::string>& pass)> OnPassStart;
  // The marker catalogue's lines, for the Low Level Scan.
  std::function<void(std::vector<std::string>& lines)> OnGetCatalogue;
  // A scan run's record, for the service.
  std::function<void(const online::StatisticsRecord& record)> OnStatistics;

 private:
  // A run's figures from its scanner, and its statistics record for the service.
  template <typename Scanner>
  void Finish(TScanFigures& figures, Scanner& scanner, std::string_view kind, std::int64_t started);
  void CheckPicture(const void* sender, util::TMemoryStream& image, const std::string& type, bool& ok);
  void Log(const std::string& message, std::string_view action);

  std::unique_ptr<util::TWorkerPool> m_workers;  // outlives the scanners that use it
  fsscan::TMekFATScan m_undelete;
  lowscan::TMekLowScan m_low;
  disk::TRawDiskAccessComponent* m_raw = nullptr;
  bool m_showImages = true;
  std::string m_pictureTypes{kPictureTypes};
  bool m_stopped = false;
  std::shared_ptr<disk::TUnreadableSectors> m_unreadable = std::make_shared<disk::TUnreadableSectors>();
};

}  // namespace session
