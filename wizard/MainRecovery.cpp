// The Recovery panel: choosing the output folder, the checks that refuse
// unsuitable destinations, and the save run of both scanners. Each run saves
// only the files still selected and not yet saved, so a recovery can go on
// onto another drive when the first one is full.

#include "wizard/Main.h"

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "online/Transaction.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "platform/DriveQueries.h"
#include "util/SizeText.h"
#include "wizard/FolderTree.h"
#include "wizard/ImagePreview.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>

#include <cstdio>
#include <filesystem>

namespace wizard {
namespace {

constexpr char kCdDvdText[] =
    "You have selected a CD or DVD drive.\r\n\r\nUnfortunately, recovering to CD or DVD is not currently "
    "supported.\r\n\r\nPlease select another location.";
constexpr char kSameDriveText[] =
    "You cannot save to the same drive that was scanned (%s:) as doing so could overwrite the files that you are "
    "trying to recover.\r\n\r\nPlease select another drive.";
constexpr char kNetworkText[] =
    "You cannot save directly to a network location.\r\n\r\nPlease map the location to a drive letter (Windows "
    "Explorer / Tools / Map Network Drive) \r\nand then return to Trellmond and select the drive letter that you "
    "assigned.";
constexpr char kNotDriveText[] =
    "You cannot save to the chosen location.\r\n\r\nYou must select a drive such as: A:\\, B:\\, C:\\ "
    "etc.\r\n\r\nPlease select another location.";
constexpr char kSpaceText[] =
    "Warning: The output location does not have enough space to save all of the recovered files. Required: %s  "
    "Available: %s \r\n\r\nTrellmond allows you to span your save over several output locations if "
    "necessary.\r\n\r\nDo you want to continue saving to this output location ?";
constexpr char kRemovedText[] = "The scanned disk seems to have been removed. Please re-insert it and try again.";
constexpr char kRetryText[] =
    "Not all of your selected files were saved.\r\n\r\nWould you like to re-try saving the remaining files ?";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string Replaced(std::string text, const std::string& first, const std::string& second = {}) {
  std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, first);
  at = text.find("%s", at == std::string::npos ? 0 : at + first.size());
  if (at != std::string::npos) text.replace(at, 2, second);
  return text;
}

std::int64_t NowSeconds() { return QDateTime::currentSecsSinceEpoch(); }

// A name the user typed for a new folder: one folder, inside the selected one.
bool IsFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

}  // namespace

std::string Tfrm_Main::DefaultOutputFolder() const {
  // Documents falls back to the home folder itself when the user has no Documents folder.
  std::string parent;
  for (const platform::TUserFolder place : {platform::ufMyPictures, platform::ufPersonal}) {
    const std::string posix = platform::GetUserDirectoryPosix(place);
    std::error_code error;
    if (!posix.empty() && std::filesystem::is_directory(posix, error)) {
      parent = platform::ToWindowsPath(posix).value_or(std::string{});
      if (!parent.empty()) break;
    }
  }
  if (parent.empty()) parent = platform::GetUserDirectory(platform::ufPersonal);
  if (parent.empty()) return parent;
  if (parent.back() != '\\') parent += '\\';
  // A folder of its own for this recovery: never mixed into one that exists already.
  const std::string name = "Recovered files " + QDate::currentDate().toString(Qt::ISODate).toStdString();
  std::string folder = parent + name;
  for (int n = 2; n < 1000; ++n) {
    const auto posix = platform::ToPosixPath(folder);
    std::error_code error;
    if (!posix || !std::filesystem::exists(*posix, error)) break;
    folder = parent + name + " (" + std::to_string(n) + ")";
  }
  return folder;
}

std::string Tfrm_Main::RealOutputFolder() const {
  return platform::ToPosixPath(m_state.OutputFolder).value_or(m_state.OutputFolder);
}

void Tfrm_Main::PrepareRecoveryPanel() {
  online::AddLog(m_state.TransactionID, "In Recovery Screen", online::action::kRecoveryScreen, m_http);
  // The trees keep their results: "<< Analysis" leads back to them to change the ticks.
  pnl_Preview->tmr_PreviewTimer();
  const std::string folder = DefaultOutputFolder();
  online::AddLog(m_state.TransactionID, "df_OutputDirectory: " + folder, online::action::kRecoveryScreen, m_http);
  OutputFree = GetRequiredSaveSpace() + 1;
  ShellTree->SetAutoRefresh(true);
  ShellTree->Rebuild();
  // The folder is made on save; until then its parent is the one chosen in the tree.
  ShellTree->SelectPath(QString::fromStdString(folder));
  ShowOutputFolder(folder);
  lbl_ScannedDrive->setText(QString(QChar(ScannedMedia.Drive)) + QStringLiteral(":"));
  lbl_RecoveryFound->setText(QString::number(SelectedFiles()));
  lbl_AvailableSpace->setText(QString::fromStdString(util::GetSizeDescription(OutputFree)));
  lbl_RequiredSpace->setText(QString::fromStdString(util::GetSizeDescription(GetRequiredSaveSpace())));
  lbl_FilesSaved->setText(QStringLiteral("0"));
  ShowPanel(Panel::Recovery, true);
  StartChangeNotifier();
  ShellTree->setFocus();
}

std::int64_t Tfrm_Main::FreeBytesOf(char letter) {
  Raw_General.SetDriveLetter(std::string(1, Upper(letter)));
  return Raw_General.GetFreeClusterCount() * Raw_General.GetDriveClusterSize();
}

void Tfrm_Main::ShowOutputFolder(const std::string& path) {
  df_OutputDirectory->setText(QString::fromStdString(path));
  const QString real = QString::fromStdString(platform::ToPosixPath(path).value_or(path));
  df_OutputDirectory->setToolTip(real);
  lbl_RealFolder->setText(QStringLiteral("Folder: ") + real);
  // A path without a drive letter (the network group, a share) keeps the figure shown.
  if (path.empty() || !IsLetter(path[0])) return;
  OutputFree = FreeBytesOf(path[0]);
  lbl_AvailableSpace->setText(QString::fromStdString(util::GetSizeDescription(OutputFree)));
}

void Tfrm_Main::ShellTreeClick() { ShowOutputFolder(ShellTree->SelectedPath().toStdString()); }

void Tfrm_Main::pb_ShellUpdateClick() {
  // The tree is read again; the folder chosen stays chosen.
  ShellTree->Rebuild();
  ShowOutputFolder(df_OutputDirectory->text().toStdString());
}

void Tfrm_Main::pb_NewFolderClick() {
  const std::string selected = ShellTree->SelectedPath().toStdString();
  if (!selected.empty() && Upper(selected[0]) == Upper(ScannedMedia.Drive)) {
    m_prompt->Ask("Trellmond", "To prevent losing data, you cannot create folders on the scanned drive.",
                  util::PromptButtons::Ok, util::PromptIcon::Information);
  } else if (const auto name = m_prompt->Input("Folder Name", "Please enter the folder name:", "");
             name && !name->empty()) {
    const std::string folder = selected + (selected.empty() || selected.back() == '\\' ? "" : "\\") + *name;
    const auto posix = platform::ToPosixPath(folder);
    std::error_code error;
    if (!IsFolderName(*name) || !posix) {
      m_prompt->Ask("Trellmond", "Please enter a folder name without \\ / : * ? \" < > |.", util::PromptButtons::Ok,
                    util::PromptIcon::Information);
    } else if (std::filesystem::exists(*posix, error)) {
      m_prompt->Ask("Trellmond", "Folder already exists.", util::PromptButtons::Ok, util::PromptIcon::Information);
    } else if (!platform::CreateDirectoryPath(folder)) {
      m_prompt->Ask("Trellmond", "Cannot create the folder " + folder + ".", util::PromptButtons::Ok,
                    util::PromptIcon::Error);
    } else {
      // The new folder is the one the user wants to save into.
      ShellTree->Rebuild();
      ShellTree->SelectPath(QString::fromStdString(folder));
      ShowOutputFolder(ShellTree->SelectedPath().toStdString());
    }
  }
}

bool Tfrm_Main::DestinationAccepted(const std::string& P) {
  const std::string folder = m_state.OutputFolder;
  const std::string available = util::GetSizeDescription(OutputFree);
  const std::string required = util::GetSizeDescription(GetRequiredSaveSpace());
  const auto log = [&](const std::string& text, std::string_view action) {
    online::AddLog(m_state.TransactionID, text, action, m_http);
  };
  const auto tell = [&](const std::string& text) {
    m_prompt->Ask("Trellmond", text, util::PromptButtons::Ok, util::PromptIcon::Information);
  };
  const int driveType = P.size() >= 3 && IsLetter(P[0]) ? platform::GetDriveTypeOf(P.substr(0, 3)) : 0;
  if (driveType == platform::kDriveCdRom) {
    log("CD / DVD selected for save: " + P, online::action::kSaveDestination);
    tell(kCdDvdText);
    return false;
  }
  const char scanned = LowScan.GetDrive();
  if (!folder.empty() && Upper(folder[0]) == Upper(scanned)) {
    tell(Replaced(kSameDriveText, std::string(1, scanned)));
    log("Selected Destination same as Source: " + std::string(1, scanned) + ":" + "<br>[Dest / Req]:" + available +
            "/" + required,
        online::action::kDestinationIsSource);
    return false;
  }
  if (P.size() > 2 && P.rfind("\\\\", 0) == 0) {
    tell(kNetworkText);
    log("Selected network drive for recovery: " + P, online::action::kDestinationNotLocal);
    return false;
  }
  if (P.size() > 2 && P.substr(1, 2) != ":\\") {
    tell(kNotDriveText);
    log("Selected non-drive letter for recovery: " + P, online::action::kDestinationNotLocal);
    return false;
  }
  if (!platform::FileLocation(P, *m_prompt)) {
    log("Cannot write to folder: " + folder + "<br>[Dest / Req]:" + available + "/" + required,
        online::action::kSaveDestination);
    return false;
  }
  if (GetRequiredSaveSpace() > OutputFree) {
    const util::PromptAnswer answer = m_prompt->Ask("Confirm", Replaced(kSpaceText, required, available),
                                                    util::PromptButtons::YesNo, util::PromptIcon::Warning);
    log("Not enough space warning.<br>Drive: " + folder.substr(0, 2) + "  [Avail / Req]:" + available + "/" + required,
        online::action::kNotEnoughSpace);
    if (answer != util::PromptAnswer::Yes) return false;
  }
  return ScannedMediumPresent();
}

bool Tfrm_Main::ScannedMediumPresent() {
  try {
    Raw_General.SetDriveLetter(std::string(1, ScannedMedia.Drive));
    const bool same = static_cast<std::int64_t>(ScannedMedia.SerialNumber) == Raw_General.GetSerialNumber() &&
                      ScannedMedia.VolumeName == Raw_General.GetVolumeName() &&
                      ScannedMedia.FileSystem == Raw_General.GetFileSystem() &&
                      ScannedMedia.TotalClusters == Raw_General.GetTotalClusterCount();
    if (same) return true;
    m_prompt->Ask("Trellmond", kRemovedText, util::PromptButtons::Ok, util::PromptIcon::Information);
    char serial[32];
    std::snprintf(serial, sizeof serial, "%8.8llx", static_cast<unsigned long long>(Raw_General.GetSerialNumber()));
    online::AddLog(m_state.TransactionID,
                   std::string("Scanned Disk Removed.<br>Serial: ") + serial + "<br>Volume: " +
                       Raw_General.GetVolumeName() + "<br>Total Clusters: " +
                       std::to_string(Raw_General.GetTotalClusterCount()),
                   online::action::kSaveDestination, m_http);
  } catch (const std::exception&) {
    m_prompt->Ask("Trellmond", kRemovedText, util::PromptButtons::Ok, util::PromptIcon::Information);
  }
  return false;
}

void Tfrm_Main::pb_FeedbackClick() {
  m_state.UnsavedRecovery = true;
  m_state.OutputFolder = df_OutputDirectory->text().toStdString();
  const std::string P = ShellTree->SelectedPath().toStdString();
  if (!DestinationAccepted(P)) return;
  if (!platform::CreateDirectoryPath(m_state.OutputFolder)) {
    m_prompt->Ask("Trellmond", "Cannot create the folder " + RealOutputFolder() + ".", util::PromptButtons::Ok,
                  util::PromptIcon::Error);
    return;
  }
  const std::int64_t selected = SelectedFiles();
  ShellTree->SetAutoRefresh(false);
  RunLoading(QStringLiteral("Saving recovered files..."), [this] { SaveFiles(); });
  activateWindow();
  // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict for " " + std::string.
  std::string summary(" ");
  summary += std::to_string(FileCount);
  summary += " files have been saved to folder: ";
  summary += RealOutputFolder();
  if (m_prompt->Ask("Trellmond", summary, util::PromptButtons::OkSaveReport, util::PromptIcon::Information) ==
      util::PromptAnswer::SaveReport) {
    SaveReport();
  }
  activateWindow();
  m_state.FilesSaved += FileCount;
  if (FileCount == selected ||
      m_prompt->Ask("Confirm", kRetryText, util::PromptButtons::YesNo, util::PromptIcon::Question) !=
          util::PromptAnswer::Yes) {
    ShowPanel(Panel::Recovery, false);
    PrepareFeedbackPanel();
  } else {
    m_state.UnsavedRecovery = true;
  }
}

void Tfrm_Main::SaveFiles() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const std::string folder = m_state.OutputFolder;
  online::AddLog(m_state.TransactionID,
                 "Beginning save to folder: " + folder + "<br>Required / Free : " +
                     lbl_RequiredSpace->text().toStdString() + " / " + lbl_AvailableSpace->text().toStdString(),
                 online::action::kSaveBegin, m_http);
  FileCount = 0;
  const std::int64_t started = NowSeconds();
  FileCount = static_cast<std::int32_t>(FATScan.SaveFilesToDisk(folder));
  SendStatisticsRecord("F-Save", started, FATScan.GetSaveSize(0), FATScan.GetSavedNumber(), FATScan.GetTypesSaved(),
                       false);
  LowScan.SetOverwriteFiles(FATScan.GetOverwriteFiles());
  FileCount += static_cast<std::int32_t>(LowScan.SaveFileList(folder));
  SendStatisticsRecord("L-Save", started, LowScan.GetSaveSize(0), LowScan.GetSavedNumber(), LowScan.GetTypesSaved(),
                       false);
  m_state.UnsavedRecovery = false;
  const std::int64_t elapsed = NowSeconds() - started;
  online::AddLog(m_state.TransactionID,
                 std::to_string(FileCount) + " files saved to folder: " + folder + "<br>in " +
                     std::to_string(elapsed / 60) + " minute(s) " + std::to_string(elapsed % 60) + " seconds",
                 online::action::kSaveDestination, m_http);
  QApplication::restoreOverrideCursor();
}

void Tfrm_Main::FilesSavedNotify(std::int64_t iSaved) {
  lbl_FilesSaved->setText(QString::number(FileCount + iSaved));
}

}  // namespace wizard
