#include "session/ScanSession.h"

#include <chrono>

#include "lowscan/ScanPasses.h"
#include "lowscan/imagecheck/ImageCheck.h"
#include "online/ActionCodes.h"
#include "platform/SystemInfo.h"
#include "util/SizeText.h"

namespace session {
namespace {

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string Joined(const std::vector<std::string>& entries, char delimiter) {
  std::string text;
  for (const std::string& e : entries) {
    if (!text.empty()) text.push_back(delimiter);
    if (e.find_first_of(std::string(" \"") + delimiter) != std::string::npos) {
      text.push_back('"');
      for (char c : e) {
        if (c == '"') text.push_back('"');
        text.push_back(c);
      }
      text.push_back('"');
    } else {
      text += e;
    }
  }
  return text;
}

TScanSession::TScanSession() {
  SetWorkerThreads(platform::ScanWorkerThreads(false));
  m_undelete.SetDeletedOnly(true);
  m_undelete.SetOverwriteFiles(false);
  m_undelete.SetImageFilter(std::string(kPictureTypes));
  m_low.SetOverwriteFiles(false);
  m_low.SetUseClusterBoundary(true);
  // A thorough scan shows its files as they are carved, and a stop keeps them.
  m_low.SetReportAsCarved(true);
  m_low.Raw().SetUnreadableSectors(m_unreadable);

  const auto found = [this](util::TScanType source, const std::string& id, util::TMemoryStream* image,
                            const std::string& name, const std::string& ext, util::TFileType type,
                            std::int64_t size) {
    if (OnFileFound) OnFileFound(source, id, image, name, ext, type, size);
  };
  m_undelete.OnFileNotify = [found](fsscan::TMekFATScan*, util::TScanType source, const std::string& id,
                                    util::TMemoryStream* image, const std::string& name, const std::string& ext,
                                    util::TFileType type, std::int64_t size) {
    found(source, id, image, name, ext, type, size);
  };
  m_low.OnFileNotify = [found](lowscan::TMekLowScan*, util::TScanType source, const std::string& id,
                               util::TMemoryStream* image, const std::string& name, const std::string& ext,
                               util::TFileType type, std::int64_t size) {
    found(source, id, image, name, ext, type, size);
  };
  m_undelete.OnLogNotify = [this](fsscan::TMekFATScan*, const std::string& m, const std::string& a) { Log(m, a); };
  m_low.OnLogNotify = [this](lowscan::TMekLowScan*, const std::string& m, const std::string& a) { Log(m, a); };
  m_undelete.OnFilesSavedNotify = [this](fsscan::TMekFATScan*, std::int64_t saved) {
    if (OnFilesSaved) OnFilesSaved(saved);
  };
  m_low.OnFilesSavedNotify = [this](lowscan::TMekLowScan*, std::int64_t saved) {
    if (OnFilesSaved) OnFilesSaved(saved);
  };
  m_undelete.OnUpdateMessageNotify = [this](fsscan::TMekFATScan*, const std::string& m, bool v) {
    if (OnMessage) OnMessage(m, v);
  };
  m_low.OnUpdateMessageNotify = [this](lowscan::TMekLowScan*, const std::string& m, bool v) {
    if (OnMessage) OnMessage(m, v);
  };
  // Pictures that do not decode are not reported, by either scan.
  m_undelete.OnImageCheck = [this](fsscan::TMekFATScan* sender, util::TMemoryStream& image, const std::string& type,
                                   bool& ok) { CheckPicture(sender, image, type, ok); };
  m_low.OnImageCheck = [this](lowscan::TMekLowScan* sender, util::TMemoryStream& image, const std::string& type,
                              bool& ok) { CheckPicture(sender, image, type, ok); };
  m_low.OnGetFileData = [this](lowscan::TMekLowScan*, std::vector<std::string>& data) {
    if (OnGetCatalogue) OnGetCatalogue(data);
  };
  // Carved files begin on clusters counted from the volume's first data sector.
  m_low.OnGetFirstDataSector = [this](lowscan::TMekLowScan*, const std::string& drive, std::int64_t& sector) {
    sector = drive.empty() ? 0 : m_undelete.GetFirstDataSector(drive[0]);
  };
  m_low.OnBatchStart = [this](lowscan::TMekLowScan*, std::size_t index, const std::vector<std::string>& pass) {
    Log("Performing LowScan with: " + Joined(pass, ' '), online::action::kLowScan);
    if (OnPassStart) OnPassStart(index, pass);
  };
}

void TScanSession::SetRaw(disk::TRawDiskAccessComponent* raw) {
  if (m_raw && m_raw != raw) m_raw->SetUnreadableSectors(nullptr);
  m_raw = raw;
  m_undelete.SetRAW(raw);
  if (raw) raw->SetUnreadableSectors(m_unreadable);
}

void TScanSession::SetPrompt(util::IPrompt* prompt) {
  m_undelete.SetPrompt(prompt);
  m_low.SetPrompt(prompt);
}

void TScanSession::SetProcessMessages(const util::ProcessMessagesFn& fn) {
  m_undelete.SetProcessMessages(fn);
  m_low.SetProcessMessages(fn);
}

void TScanSession::SetWorkerThreads(std::size_t threads) {
  m_undelete.SetWorkers(nullptr);
  m_low.SetWorkers(nullptr);
  m_workers = threads > 0 ? std::make_unique<util::TWorkerPool>(threads) : nullptr;
  m_undelete.SetWorkers(m_workers.get());
  m_low.SetWorkers(m_workers.get());
}

void TScanSession::SetShowImages(bool show) {
  m_showImages = show;
  m_undelete.SetImageFilter(show ? m_pictureTypes : std::string());
}

void TScanSession::SetPictureTypes(const std::string& types) {
  m_pictureTypes = types;
  SetShowImages(m_showImages);
}

void TScanSession::CheckPicture(const void* sender, util::TMemoryStream& image, const std::string& type, bool& ok) {
  lowscan::imagecheck::LowScanImageCheck(sender, image, type, ok);
  if (ok && OnPictureKept) OnPictureKept(image, type);
}

void TScanSession::Begin(char letter) {
  m_undelete.SetDrive(letter);
  m_low.SetDrive(letter);
  m_undelete.DeletePrevious();
  m_low.DeletePrevious();
  m_stopped = false;
  m_unreadable->Clear();
  m_undelete.Terminate(false);
  m_low.Terminate(false);
}

TScanFigures TScanSession::RunUndelete(bool deletedOnly, const std::vector<std::string>& types, bool allTypes) {
  const std::int64_t started = NowSeconds();
  m_undelete.SetDeletedOnly(deletedOnly);
  Log("Performing FATScan with: " + Joined(types, ' ') + "<BR>Show Images: " + (m_showImages ? "1" : "0"),
      online::action::kFatScan);
  m_undelete.SetFilter(allTypes ? std::string() : Joined(types, ','));
  m_undelete.ScanDrive();
  TScanFigures figures;
  Finish(figures, m_undelete, "F-Scan", started);
  LogUnreadable("the Undelete scan");
  return figures;
}

TScanFigures TScanSession::RunLowLevel(const std::vector<std::string>& entries) {
  const std::int64_t started = NowSeconds();
  TScanFigures figures;
  const auto passes = lowscan::MakeScanPasses(entries, m_low.GetUseClusterBoundary());
  // Every pass is carved from one read of the drive; each still logs where its files begin.
  if (!passes.empty() && !m_low.ScanDriveBatches(passes)) {
    figures.started = false;
    figures.error = m_low.ScanError();
    return figures;
  }
  Finish(figures, m_low, "L-Scan", started);
  LogUnreadable("the Low Level Scan");
  return figures;
}

template <typename Scanner>
void TScanSession::Finish(TScanFigures& figures, Scanner& scanner, std::string_view kind, std::int64_t started) {
  figures.seconds = NowSeconds() - started;
  figures.found = scanner.GetFoundNumber();
  figures.foundBytes = scanner.GetSaveSize(1);
  figures.typesFound = scanner.GetTypesFound();
  figures.cancelled = m_stopped;
  figures.unreadableSectors = m_unreadable->Sectors();
  if (OnStatistics) {
    OnStatistics(Statistics(kind, figures.foundBytes, figures.found, figures.seconds, figures.typesFound,
                            figures.cancelled));
  }
}

void TScanSession::LogUnreadable(const std::string& what) {
  const auto ranges = m_unreadable->Ranges();
  if (ranges.empty()) return;
  // One list for the run, merged: the reads' own lines name each failure as it came.
  const std::int64_t sectors = m_unreadable->Sectors();
  Log("Unreadable sectors after " + what + ": " + std::to_string(sectors) + " in " + std::to_string(ranges.size()) +
          (ranges.size() == 1 ? " range" : " ranges") + "<br>Sectors: " + disk::RangesText(ranges, "<br>Sectors: "),
      online::action::kError);
}

void TScanSession::Stop() {
  m_stopped = true;
  m_undelete.Terminate(true);
  m_low.Terminate(true);
}

online::StatisticsRecord TScanSession::Statistics(std::string_view kind, std::int64_t bytes, std::int64_t number,
                                                  std::int64_t seconds, const std::string& types,
                                                  bool cancelled) const {
  const std::int64_t driveBytes = m_raw ? m_raw->GetTotalSpace() : 0;
  return {util::GetSizeDescription(driveBytes), util::GetSizeDescription(bytes), std::to_string(number),
          std::to_string(seconds), types, cancelled ? "1" : "0", std::string(kind)};
}

void TScanSession::Log(const std::string& message, std::string_view action) {
  if (OnLog) OnLog(message, std::string(action));
}

}  // namespace session
