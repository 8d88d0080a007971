// The scan run: recording the drive, the Undelete scan, the Low Level passes,
// the reported files, the memory watch, Stop and the summary.

#include "wizard/Main.h"

#include "drives/ZubDrvListBox.h"
#include "lowscan/ScanPasses.h"
#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "online/SysInfo.h"
#include "online/Transaction.h"
#include "platform/SystemInfo.h"
#include "util/SizeText.h"
#include "util/Text.h"
#include "widgets/MekFlashingLabel.h"
#include "wizard/FileTypesTable.h"
#include "wizard/ImagePreview.h"
#include "wizard/PictureDecode.h"
#include "wizard/ResultTrees.h"
#include "wizard/ScanProgress.h"

#include <QApplication>
#include <QDateTime>
#include <QProgressBar>
#include <QTimer>

#include <cstdio>

namespace wizard {
namespace {

constexpr std::int64_t kLowMemoryBytes = 0x600000;

const std::string kCancelledManyText =
    "Your scan has been cancelled.\r\n\r\nIf you cancelled because too many files were found then try going \r\nback "
    "to the \"Setup\" screen and clicking on \"Options...\" where you \r\n\r\ncan then be more specific about the file "
    "types that you would like\r\nTrellmond to look for.";
const std::string kNothingFoundText = "No files were found during the scan.\r\n\r\nPlease press Setup to review your scan settings.";
const std::string kLowMemoryText =
    "Your computer is running low on free memory.\r\nThe scan will now terminate to prevent problems.\r\n\r\nTo conserve "
    "memory try running the scan without showing images\r\nor by selecting specific file types in the \"Options...\" "
    "screen";

std::int64_t NowSeconds() { return QDateTime::currentSecsSinceEpoch(); }

std::string MinutesAndSeconds(std::int64_t elapsed) {
  return std::to_string(elapsed / 60) + " minute(s) " + std::to_string(elapsed % 60) + " seconds";
}

}  // namespace

bool Tfrm_Main::Scanning() const { return !pb_Stop->isHidden(); }

bool Tfrm_Main::ConflictExists(const std::vector<std::string>& list, const std::string& marker) {
  return lowscan::ConflictExists(list, marker);
}

void Tfrm_Main::BindScanners() {
  Session.SetProcessMessages([] { QCoreApplication::processEvents(); });
  Session.SetPictureTypes(std::string("jpeg;") + kWizardImageFilter);
  // Pictures are checked and reduced on every processor but the one that keeps the window going.
  Session.SetWorkerThreads(platform::ScanWorkerThreads(true));
  // The engine's check decides what is kept; the pictures it leaves undecoded are shown all the
  // same. Runs beside the window's thread: QImage and the decoders are used on their own here.
  Session.OnPictureKept = [](util::TMemoryStream& image, const std::string& type) {
    if (IsExtraPictureType(type)) DecodePicture(image, type);
  };
  FATScan.SetProgress(m_progress.get());
  LowScan.SetProgress(m_progress.get());
  FreeRAM = [] { return static_cast<std::int64_t>(online::GetFreeRAM()); };
  Session.OnFileFound = [this](util::TScanType source, const std::string& id, util::TMemoryStream* image,
                               const std::string& name, const std::string& ext, util::TFileType type,
                               std::int64_t size) { ScanFileNotify(source, id, image, name, ext, type, size); };
  Session.OnLog = [this](const std::string& m, const std::string& a) { LowScanLogNotify(m, a); };
  Session.OnFilesSaved = [this](std::int64_t saved) { FilesSavedNotify(saved); };
  Session.OnMessage = [this](const std::string& m, bool v) { LowScanUpdateMessageNotify(m, v); };
  Session.OnGetCatalogue = [this](std::vector<std::string>& data) {
    online::PopulateStringList(online::CatalogueRequest(online::ProgramEdition()),
                               online::CatalogueSuffix(m_state.language), data, m_http);
  };
  Session.OnStatistics = [this](const online::StatisticsRecord& record) {
    online::SendStatistics(m_http, m_state.TransactionID, record);
  };

  ResultTreeEvents& events = m_trees->Events();
  events.SetSaveFlag = [this](util::TScanType scanner, std::int64_t index, bool save) {
    if (scanner == util::stLowScan) {
      LowScan.SetSaveFlag(save, index);
    } else {
      FATScan.SetSaveFlag(save, index);
    }
  };
  events.SetAllSaveFlags = [this](util::TScanType scanner, bool save) {
    if (scanner == util::stLowScan) {
      LowScan.SetAllSaveFlags(save);
    } else {
      FATScan.SetAllSaveFlags(save);
    }
  };
  events.UpdateFileTypesTable = [this](const std::string& data, int mode) {
    tbl_FileTypes->UpdateFileTypesTable(data, static_cast<std::uint8_t>(mode));
  };
  events.UpdateClickStatus = [this](bool warn) { UpdateClickStatus(warn); };
  events.Scanning = [this] { return Scanning(); };
}

void Tfrm_Main::RecordScannedDrive() {
  const int row = Drives->currentRow();
  const std::string item = Drives->ItemText(row).toStdString();
  const char letter = drives::LetterOfItemText(Drives->ItemText(row));
  const std::string size = util::GetField(item, 2, ';');
  lbl_Drive->setText(QString(QChar(letter)) + QStringLiteral(":"));
  lbl_DriveSize->setText(QString::fromStdString(size));
  Raw.SetDriveLetter(std::string(1, letter));
  char serial[32];
  std::snprintf(serial, sizeof serial, "%8.8llX", static_cast<unsigned long long>(Raw.GetSerialNumber()));
  online::AddLog(m_state.TransactionID,
                 "Drive Selected: <br> " + std::string(1, letter) + ":<br>  Size:" + size + "<br>  Type: " +
                     Raw.GetFileSystem() + "<br>  Serial: " + serial + "<br>  Volume: " + Raw.GetVolumeName() +
                     "<br>  Sec/Clust: " + std::to_string(Raw.GetSectorsPerCluster()) + "<br>  Bytes/Sec: " +
                     std::to_string(Raw.GetDriveSectorSize()) + "<br>  Total Clusters: " +
                     std::to_string(Raw.GetTotalClusterCount()),
                 online::action::kDriveSelected, m_http);
  ScannedMedia = {letter, Raw.GetSerialNumber(), Raw.GetVolumeName(), Raw.GetFileSystem(), Raw.GetTotalClusterCount()};
}

void Tfrm_Main::ClearResults() {
  pnl_Preview->tmr_PreviewTimer();
  m_trees->ClearResults();
}

void Tfrm_Main::DoScan() {
  const char letter = ScannedMedia.Drive;
  ResizeAnalysisSide();
  setEnabled(false);
  ClearResults();
  m_trees->AddRootFolders();
  FileCount = 0;
  m_state.FilesSaved = 0;
  m_trees->SetImageHintCount(0);
  m_trees->SetMaxImageHints(m_state.MaxImageHints);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  pb_ToRecovery->setEnabled(false);
  pb_SetupBack->setEnabled(false);
  m_state.Cancelling = false;
  for (QLabel* label : {static_cast<QLabel*>(lbl_FilesFound), static_cast<QLabel*>(lbl_Summary),
                        static_cast<QLabel*>(lbl_ResultSelected), static_cast<QLabel*>(lbl_ResultRequired),
                        static_cast<QLabel*>(lbl_ResultAvailable)}) {
    label->clear();
  }
  lbl_Summary->StopFlashing();
  lbl_Summary->setVisible(false);  // empty until the run ends; the bar has its row
  lbl_Progress->setText(QStringLiteral("Progress:"));
  Progress->setValue(0);
  Progress->setVisible(true);
  tbl_FileTypes->UpdateFileTypesTable("", 0);
  cx_SelectFiles->setVisible(false);
  setEnabled(true);

  Drives_Available->ScanDrive = letter;
  Drives_Available->UpdateDrives();
  Drives_Available->SelectRow(-1);
  Session.Begin(letter);
  m_state.Cancelled = false;
  pb_Stop->setVisible(true);
  const std::int64_t started = NowSeconds();
  Timer_Memory->start();
  QApplication::restoreOverrideCursor();  // the window stays usable while it scans
  RunUndeleteScan();
  NoteUndeleteStarts();
  RunLowLevelScan();
  FinishScanRun(started);
}

void Tfrm_Main::RunUndeleteScan() {
  const auto& selection = m_state.FATSelection;
  if (!cx_FAT->isEnabled() || !cx_FAT->isChecked() || selection.empty()) return;
  const std::vector<std::string> types(selection.size() > 3 ? selection.begin() + 3 : selection.end(), selection.end());
  Session.RunUndelete(selection.size() > 1 && selection[1] == "1", types, selection[0] == "1");
}

void Tfrm_Main::RunLowLevelScan() {
  const auto& selection = m_state.LowSelection;
  if (!cx_Low->isChecked() || selection.size() <= 1 || m_state.Cancelled) return;
  Raw.SetDriveLetter(std::string(1, ScannedMedia.Drive));
  Session.RunLowLevel({selection.size() > 3 ? selection.begin() + 3 : selection.end(), selection.end()});
}

void Tfrm_Main::SendStatisticsRecord(const char* scanType, std::int64_t started, std::int64_t size,
                                     std::int64_t number, const std::string& types, bool cancelled) {
  online::SendStatistics(m_http, m_state.TransactionID,
                         Session.Statistics(scanType, size, number, NowSeconds() - started, types, cancelled));
}

void Tfrm_Main::FinishScanRun(std::int64_t started) {
  const std::int64_t elapsed = NowSeconds() - started;
  Timer_Memory->stop();
  Progress->setVisible(false);
  pb_Stop->setVisible(false);
  lbl_Progress->setText(QStringLiteral("Status:"));
  lbl_Summary->setText(QString::fromStdString(std::to_string(FileCount) + " files found in " +
                                              MinutesAndSeconds(elapsed)));
  lbl_Summary->setVisible(true);
  lbl_Summary->StartFlashing();
  ResizeAnalysisSide();
  pb_ToRecovery->setEnabled(FileCount > 0);
  if (!cx_SelectFiles->isChecked()) {
    cx_SelectFiles->setChecked(true);
    cx_SelectFilesClick();
  }
  cx_SelectFiles->setVisible(FileCount > 0);
  pb_SetupBack->setEnabled(true);
  m_trees->SortTypeTree();
  m_trees->CollapseTree(TreeKind::Size);
  m_trees->ExpandTree(TreeKind::Size);
  UpdateClickStatus(false);
  const std::string count = std::to_string(FileCount);
  if (m_state.Cancelled) {
    online::AddLog(m_state.TransactionID,
                   "Scans Cancelled after " + MinutesAndSeconds(elapsed) + ". " + count + " files found",
                   online::action::kScansCancelled, m_http);
    if (FileCount > 100) {
      m_prompt->Ask("Trellmond", kCancelledManyText, util::PromptButtons::Ok, util::PromptIcon::Information);
    }
  } else if (FileCount > 0) {
    online::AddLog(m_state.TransactionID, "All Scans Complete. " + count + " files found in " + MinutesAndSeconds(elapsed),
                   online::action::kScansComplete, m_http);
  } else {
    online::AddLog(m_state.TransactionID, "All Scans Complete. 0 files found in " + MinutesAndSeconds(elapsed),
                   online::action::kScansCompleteNothingFound, m_http);
    m_prompt->Ask("Trellmond", kNothingFoundText, util::PromptButtons::Ok, util::PromptIcon::Information);
  }
  m_state.Cancelling = false;
  lbl_Reading->StopFlashing();
  lbl_Reading->setVisible(false);
  m_trees->ExpandAll();
  OfferImageAfterReadErrors();
}

void Tfrm_Main::ScanFileNotify(util::TScanType xSource, const std::string& sID, util::TMemoryStream* xImage,
                               const std::string& sFullName, const std::string& sExtension, util::TFileType xType,
                               std::int64_t iSize) {
  tbl_FileTypes->UpdateFileTypesTable(sExtension + ":1", 1);
  ++FileCount;
  lbl_FilesFound->setText(QString::number(FileCount));
  const bool low = xSource == util::stLowScan;
  m_trees->AddTreeEntry(xSource, (low ? "L" : "F") + sID, sFullName, sExtension, low ? "LowScan\\" : "Undelete\\",
                        iSize, xImage, xType);
  if (low) MarkCarvedTwin(sID);
  m_trees->ExpandAllSoon();
}

void Tfrm_Main::LowScanUpdateMessageNotify(const std::string& sMessage, bool bVisible) {
  lbl_Reading->setText(QString::fromStdString(sMessage));
  lbl_Reading->setVisible(bVisible);
  lbl_Reading->StopFlashing();
  if (bVisible) lbl_Reading->StartFlashing();
}

void Tfrm_Main::LowScanLogNotify(const std::string& sMessage, const std::string& sAction) {
  online::AddLog(m_state.TransactionID, sMessage, sAction, m_http);
}

void Tfrm_Main::Timer_MemoryTimer() {
  Timer_Memory->stop();
  if (FreeRAM() >= kLowMemoryBytes) {
    Timer_Memory->start();
    return;
  }
  online::AddLog(m_state.TransactionID, "Memory Low - Error Message Shown.", online::action::kPrivilegesOrMemory,
                 m_http);
  m_prompt->Ask("Trellmond", kLowMemoryText, util::PromptButtons::Ok, util::PromptIcon::Error);
  pb_Stop->click();
}

void Tfrm_Main::pb_CancelClick() {
  m_state.Cancelling = true;
  Session.Stop();
  m_state.Cancelled = true;
}

void Tfrm_Main::cx_SelectFilesClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  m_trees->SelectAll(cx_SelectFiles->isChecked());
  QApplication::restoreOverrideCursor();
}

void Tfrm_Main::cx_ShowImagesClick() { Session.SetShowImages(cx_ShowImages->isChecked()); }

void Tfrm_Main::pb_FindClick() { m_trees->FindFirst(m_trees->Tabs()->currentIndex(), df_Search->text().toStdString()); }

void Tfrm_Main::pb_FindNextClick() {
  m_trees->FindNext(m_trees->Tabs()->currentIndex(), df_Search->text().toStdString());
}

}  // namespace wizard
