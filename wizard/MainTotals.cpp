// The totals beside the trees: files selected, space required, the largest free
// space on another drive, and the warning when it is too small.

#include "wizard/Main.h"

#include "drives/ZubDrvListBox.h"
#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "util/SizeText.h"
#include "widgets/LinkLabel.h"
#include "widgets/MekFlashingLabel.h"
#include "widgets/frm_SizeWarning.h"

namespace wizard {

std::int64_t Tfrm_Main::GetRequiredSaveSpace() const {
  return LowScan.GetSaveSize(1) + FATScan.GetSaveSize(1);
}

std::int64_t Tfrm_Main::GetMaxFreeDrive(const std::string& sExclude, std::string& sMaxDrive,
                                        std::int64_t& iTotalFree) const {
  iTotalFree = 0;
  sMaxDrive.clear();
  std::int64_t best = 0;
  for (int row = 0; row < Drives->count(); ++row) {
    const QString text = Drives->ItemText(row);
    if (text.size() <= 2) continue;
    const char letter = drives::LetterOfItemText(text);
    if (letter < 'A' || letter > 'Z' || std::string(1, letter) == sExclude) continue;
    const std::int64_t free = platform::GetDiskFree(platform::DriveNumberOf(letter));
    if (free == -1) continue;
    iTotalFree += free;
    if (free > best) {
      best = free;
      sMaxDrive = std::string(1, letter);
    }
  }
  return best;
}

void Tfrm_Main::UpdateClickStatus(bool bShowWarning) {
  if (Scanning()) return;
  const std::int64_t selected = FATScan.GetSelectedNumber() + LowScan.GetSelectedNumber();
  pb_ToRecovery->setEnabled(selected >= 1);
  lbl_Summary->StopFlashing();
  for (QWidget* w : {static_cast<QWidget*>(lbl_Summary), static_cast<QWidget*>(lbl_ResultSelected),
                     static_cast<QWidget*>(lbl_ResultRequired), static_cast<QWidget*>(lbl_ResultAvailable)}) {
    w->setVisible(true);
  }
  img_Warning->setVisible(false);
  std::string maxDrive;
  std::int64_t totalFree = 0;
  const std::int64_t maxFree =
      GetMaxFreeDrive(ScannedMedia.Drive != 0 ? std::string(1, ScannedMedia.Drive) : std::string(), maxDrive, totalFree);
  const std::int64_t required = GetRequiredSaveSpace();
  lbl_Progress->setText(QStringLiteral("Status:"));
  lbl_ResultSelected->setText(QString::number(selected));
  lbl_ResultRequired->setText(QString::fromStdString(util::GetSizeDescription(required)));
  lbl_ResultAvailable->StopFlashing();
  lbl_ResultAvailable->setText(QString::fromStdString(util::GetSizeDescription(maxFree) + "  " + maxDrive + ":"));
  lbl_ResultAvailable->setStyleSheet(QStringLiteral("color: blue;"));
  if (maxFree >= required) return;
  lbl_ResultAvailable->setStyleSheet(QStringLiteral("color: red;"));
  lbl_ResultAvailable->StartFlashing();
  img_Warning->setVisible(true);
  if (!bShowWarning) return;
  online::AddLog(m_state.TransactionID, "Displayed Size Warning Dialog", online::action::kSizeWarning, m_http);
  widgets::Tfrm_SizeWarning warning(this);
  warning.Number = selected;
  warning.Required = required;
  warning.Available = totalFree;
  warning.MaxDrive = maxDrive;
  warning.MaxDriveFree = maxFree;
  warning.exec();
}

}  // namespace wizard
