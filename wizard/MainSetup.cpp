// The Setup panel: judging the selected drive, the file-type choices of the two
// scans, the drive list's refresh and the reaction to media coming and going.

#include "wizard/Main.h"

#include "drives/SHChangeNotify.h"
#include "drives/ZubDrvListBox.h"
#include "filetypes/frm_FileTypes.h"
#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "util/Text.h"
#include "widgets/GuiHelpers.h"
#include "widgets/LinkLabel.h"
#include "widgets/ModalResults.h"
#include "widgets/frm_Help.h"
#include "widgets/frm_Loading.h"
#include "wizard/FolderTree.h"

#include <QFileDialog>

#include <stdexcept>

namespace wizard {
namespace {

constexpr std::int64_t kRecommendLowScanBelowMB = 4200;
constexpr const char* kRedProperty = "noTypes";

const std::vector<std::string> kCameraHelp = {
    "Trellmond requires any drive to be scanned to be ",
    "associated with a drive letter. i.e. A: ... Z:",
    "",
    "Some cameras, when connected to your computer with a USB ",
    "cable, do not get assigned a drive letter by Windows and ",
    "therefore can't be accessed by Trellmond.",
    "",
    "To scan the drive in these cameras, the memory card will need to ",
    "be placed in a memory card reader. These are inexpensive and can ",
    "be purchased at most electronics stores."};

const std::vector<std::string> kQuickScanHelp = {
    "Selecting the quick scan enables Trellmond to scan your ",
    "drive by locating files that begin at specific points on the drive.",
    "",
    "De-selecting the quick scan results in a more thorough scan but it ",
    "will take longer.",
    "",
    "We recommend that you select the quick scan at first and then, if ",
    "you haven't found files that you are looking for, de-select it and ",
    "run the scan again."};

const std::string kNoDrivesText =
    "No drives or memory cards are currently attached.\r\n\r\nPlease insert a media card or attach a media card "
    "reader or USB Memory Stick and then click the\r\n\"Refresh\" button to refresh the Drives list.\r\n\r\nHave you "
    "have connected your camera or docking station but cannot see them in the list?\r\nThis is because the software "
    "used to connect your camera/dock does not provide the low-level \r\naccess to the media card that is required "
    "by recovery tools such as Trellmond.\r\n\r\nTo overcome this please use a Card Reader suitable for your media "
    "type and then try again.";

const std::string kRecommendLowScanText =
    "You have chosen not to perform a Low Scan. \r\nFor smaller drives (< 4GB) we recommend that you use the Low "
    "Scan\r\nas it will maximise the chances of finding your files.\r\n\r\nWould you like to enable it now ?";

std::string ItemField(const drives::TZubDrvListBox& list, int row, int n) {
  return util::GetField(list.ItemText(row).toStdString(), n, ';');
}

}  // namespace

void Tfrm_Main::DrivesChange() {
  DriveSizeMB = 0;
  std::string fileSystem;
  const int row = Drives->currentRow();
  if (Drives->count() > 0 && row >= 0 && !Drives->selectedItems().isEmpty()) {
    const char letter = drives::LetterOfItemText(Drives->ItemText(row));
    if (letter >= 'A' && letter <= 'Z') {
      const std::int64_t size = platform::GetDiskSize(platform::DriveNumberOf(letter));
      if (size != -1) DriveSizeMB = size / 1000000;
      Raw_General.SetDriveLetter(std::string(1, letter));
      if (Raw_General.GetStatusCode() == disk::status::kSuccess) fileSystem = Raw_General.GetFileSystem();
    }
  }
  const std::string upperFs = util::UpperCase(fileSystem);
  const bool undelete = (upperFs.find("FAT") != std::string::npos || upperFs.find("NTFS") != std::string::npos) &&
                        DriveSizeMB > 0;
  grp_Undelete->setEnabled(undelete);
  widgets::EnableDisableChildren(*grp_Undelete, undelete);
  grp_LowLevel->setEnabled(DriveSizeMB > 0);
  widgets::EnableDisableChildren(*grp_LowLevel, DriveSizeMB > 0);
  cx_FAT->setEnabled(undelete && !lbl_FATSearch->property(kRedProperty).toBool());
  // The Low Level box keeps its red "no types" state the same way, or a scan without types could start.
  cx_Low->setEnabled(DriveSizeMB > 0 && !lbl_LowSearch->property(kRedProperty).toBool());
  // Ticking runs the box's own handler, which also sets the Analyse button.
  if (DriveSizeMB < kRecommendLowScanBelowMB) cx_Low->setChecked(true);
  pb_Analyse->setEnabled(AnalyseAllowed());
  // Only a drive with sectors to read can be imaged (a folder drive has none).
  const char letter = row >= 0 ? drives::LetterOfItemText(Drives->ItemText(row)) : 0;
  const auto entry = letter != 0 ? platform::DriveTable::Instance().Find(letter) : std::nullopt;
  pb_MakeImage->setEnabled(DriveSizeMB > 0 && entry && !entry->devicePath.empty());
}

bool Tfrm_Main::AnalyseAllowed() const {
  const bool selected = Drives->currentRow() >= 0 && !Drives->selectedItems().isEmpty();
  const bool undelete = cx_FAT->isChecked() && cx_FAT->isEnabled() && !m_state.FATSelection.empty();
  // A Low Level choice without types shows red and disables its box: nothing to scan then.
  const bool low = cx_Low->isChecked() && cx_Low->isEnabled() && m_state.LowSelection.size() > 1;
  return selected && DriveSizeMB > 0 && (undelete || low);
}

void Tfrm_Main::cx_LowClick() {
  if (DriveSizeMB <= kRecommendLowScanBelowMB && !cx_Low->isChecked()) {
    const auto answer = m_prompt->Ask("Trellmond", kRecommendLowScanText, util::PromptButtons::YesNo,
                                      util::PromptIcon::Information);
    if (answer == util::PromptAnswer::Yes) {
      cx_Low->setChecked(true);  // runs this handler again for the ticked box
      return;
    }
  }
  const bool on = cx_Low->isChecked() && cx_Low->isEnabled();
  pb_LowFileSelection->setEnabled(on);
  cx_UseClusterBoundaries->setEnabled(on);
  Image9->setEnabled(on);
  pb_Analyse->setEnabled(AnalyseAllowed());
}

void Tfrm_Main::cx_UseClusterBoundariesClick() { LowScan.SetUseClusterBoundary(cx_UseClusterBoundaries->isChecked()); }

int Tfrm_Main::LogAvailableDrives() {
  std::string text;
  int count = 0;
  for (int row = 0; row < Drives->count(); ++row) {
    const QString item = Drives->ItemText(row);
    if (item.size() <= 2) continue;
    const char letter = drives::LetterOfItemText(item);
    if (letter < 'A' || letter > 'Z') continue;
    const std::int64_t size = platform::GetDiskSize(platform::DriveNumberOf(letter));
    Raw_General.SetDriveLetter(std::string(1, letter));
    const std::string fileSystem =
        Raw_General.GetStatusCode() == disk::status::kSuccess ? Raw_General.GetFileSystem() : std::string();
    text += "<br>" + std::string(1, letter) + ":    " + ItemField(*Drives, row, 2) + "    " + fileSystem;
    if (size != -1 && size / 1000000 > 0) ++count;
  }
  online::AddLog(m_state.TransactionID, "Drives Available: " + text, online::action::kDrivesAvailable, m_http);
  if (count == 0) {
    m_prompt->Ask("Trellmond", kNoDrivesText, util::PromptButtons::Ok, util::PromptIcon::Information);
  }
  return count;
}

void Tfrm_Main::RefreshSavingDrives() {
  Drives_Available->UpdateDrives();
  if (!pnl_Recovery->isHidden() && ShellTree->AutoRefresh()) ShellTree->Rebuild();
}

void Tfrm_Main::pb_UpdateClick() {
  const char remembered = Drives->Drive();
  Drives->UpdateDrives();
  RefreshSavingDrives();
  Drives->SelectRow(-1);
  for (int row = 0; row < Drives->count(); ++row) {
    if (ItemField(*Drives, row, 3) == std::string(1, remembered)) {
      // A lower-case letter makes the list look the row up and select it.
      Drives->SetDrive(static_cast<char>(remembered | 0x20));
      break;
    }
  }
  LogAvailableDrives();
  DrivesChange();
}

void Tfrm_Main::pb_AttachImageClick() {
  const std::string path = ChooseImageFile ? ChooseImageFile() : std::string();
  if (!path.empty()) AttachAndSelect(path);
}

bool Tfrm_Main::AttachAndSelect(const std::string& path) {
  const char letter = platform::DriveTable::Instance().Attach(path);
  if (letter == 0) {
    m_prompt->Ask("Trellmond", "The image could not be attached:\r\n" + path +
                                   "\r\n\r\nIt does not exist, or every drive letter is in use.",
                  util::PromptButtons::Ok, util::PromptIcon::Warning);
    return false;
  }
  // The notifier already knows of this drive: no "inserted" notice for the user's own action.
  ChangeNotifier->Resync();
  Drives->UpdateDrives();
  Drives->SetDrive(static_cast<char>(letter | 0x20));
  RefreshSavingDrives();
  LogAvailableDrives();
  DrivesChange();
  return true;
}

void Tfrm_Main::PrepareFileTypeDialog(filetypes::Tfrm_FileTypeSelection& dialog, std::uint8_t type,
                                      bool noDefaults, const std::vector<std::string>& list) {
  dialog.SetSelectionType(type);
  dialog.Language = m_state.language;
  dialog.HTTP = &m_http;
  dialog.TransactionID = m_state.TransactionID;
  dialog.PopulateFileTypeData(noDefaults, online::ProgramEdition());
  dialog.SetSelectedFileTypes(&list);
}

void Tfrm_Main::ChooseFileTypes(std::uint8_t type, std::vector<std::string>& list, QCheckBox* checkBox,
                                QLabel* summary) {
  filetypes::Tfrm_FileTypeSelection dialog(this);
  PrepareFileTypeDialog(dialog, type, true, list);
  if (dialog.exec() != widgets::kResultOk) return;
  dialog.GetSelectedFileTypes(&list);
  NoteFileTypes(list, type == 2, checkBox, summary);
}

void Tfrm_Main::DefaultLowFileTypes() {
  {
    filetypes::Tfrm_FileTypeSelection dialog(this);
    PrepareFileTypeDialog(dialog, 1, m_state.LowSelection.size() > 3, m_state.LowSelection);
    dialog.GetSelectedFileTypes(&m_state.LowSelection);
  }
  NoteFileTypes(m_state.LowSelection, false, cx_Low, lbl_LowSearch);
  NoteFileTypes(m_state.FATSelection, true, cx_FAT, lbl_FATSearch);
  // Assigned by count: GCC 12 at -O3 reports a false -Wrestrict for a short literal
  // assigned to a string (GCC bug 105329).
  if (!m_state.LowSelection.empty()) m_state.LowSelection[0].assign(1, '0');
}

void Tfrm_Main::pb_FATFileSelectionClick() {
  ChooseFileTypes(2, m_state.FATSelection, cx_FAT, lbl_FATSearch);
  lbl_DeletedOnly->setVisible(m_state.FATSelection.size() > 1 && m_state.FATSelection[1] == "1");
}

void Tfrm_Main::pb_LowFileSelectionClick() { ChooseFileTypes(1, m_state.LowSelection, cx_Low, lbl_LowSearch); }

void Tfrm_Main::NoteFileTypes(std::vector<std::string>& list, bool bFAT, QCheckBox* checkBox, QLabel* summary) {
  std::string text;
  for (std::size_t i = 2; i < list.size(); ++i) text += util::GetField(list[i], 1, ';') + "   ";
  text = util::Trim(text);
  checkBox->setEnabled(true);
  const bool none = text.empty();
  summary->setProperty(kRedProperty, none);
  if (!none) {
    summary->setText(QString::fromStdString(text));
    summary->setStyleSheet(QStringLiteral("QLabel { color: teal; } QLabel:disabled { color: #7f9c9c; }"));
  } else {
    summary->setText(QStringLiteral("No file types selected. Please click on 'Options...'"));
    summary->setStyleSheet(QStringLiteral("QLabel { color: red; } QLabel:disabled { color: #c08080; }"));
    checkBox->setEnabled(false);
  }
  if (bFAT && !list.empty() && list[0] == "1") {
    summary->setText(QStringLiteral("ALL file types"));
    summary->setStyleSheet(QStringLiteral("QLabel { color: teal; } QLabel:disabled { color: #7f9c9c; }"));
    summary->setProperty(kRedProperty, false);
  }
  online::AddLog(m_state.TransactionID, (bFAT ? "FAT - File Types Selected: " : "Low - File Types Selected: ") + text,
                 online::action::kFileTypesSelected, m_http);
  DrivesChange();
}

void Tfrm_Main::ShowMediaNotice(const std::string& message) {
  widgets::Tfrm_Loading notice(this);
  notice.SetMessage(QString::fromStdString(message));
  notice.SetTimeLimit(1500);
  notice.exec();
}

void Tfrm_Main::ChangeNotifierDriveAdd(QObject*, std::uint32_t, const std::string& path1) {
  ShowMediaNotice("Media has been inserted into drive " + path1);
  pb_UpdateClick();  // rebuilds the list of drives for saving too
}

void Tfrm_Main::ChangeNotifierDriveRemoved(QObject*, std::uint32_t, const std::string& path1) {
  ShowMediaNotice("Media has been removed from drive " + path1);
  pb_UpdateClick();  // rebuilds the list of drives for saving too
}

void Tfrm_Main::StartChangeNotifier() {
  try {
    ChangeNotifier->Execute();
  } catch (const std::exception&) {
    online::AddLog(m_state.TransactionID, "Error starting ChangeNotifier", online::action::kNotifierStartError,
                   m_http);
  }
}

void Tfrm_Main::Image5Click() {
  widgets::Tfrm_Help help(this);
  help.SetHelpTitle(lbl_SetupHelp->text());
  help.SetLines(kCameraHelp);
  help.exec();
}

void Tfrm_Main::Image9Click() {
  widgets::Tfrm_Help help(this);
  help.SetHelpTitle(cx_UseClusterBoundaries->text());
  help.SetLines(kQuickScanHelp);
  help.exec();
}

}  // namespace wizard
