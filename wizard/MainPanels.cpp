// Moves between the panels and the buttons that make them.

#include "wizard/Main.h"

#include "drives/ZubDrvListBox.h"
#include "online/StartupChecks.h"
#include "online/Transaction.h"
#include "widgets/MekFlashingLabel.h"

namespace wizard {

void Tfrm_Main::ShowPanel(Panel panel, bool visible) {
  struct PanelParts {
    QWidget* widget;
    int step;
    std::vector<QPushButton*> buttons;
  };
  const PanelParts parts = [&]() -> PanelParts {
    switch (panel) {
      case Panel::Registration: return {pnl_Registration, 0, {pb_Setup}};
      case Panel::Setup: return {pnl_Setup, 1, {pb_Analyse}};
      case Panel::Analysis: return {pnl_Analysis, 2, {pb_ToRecovery, pb_SetupBack}};
      case Panel::Recovery: return {pnl_Recovery, 3, {pb_Feedback, pb_AnalysisBack}};
      case Panel::Feedback: return {pnl_Feedback, 4, {pb_SaveExit, pb_StartAgain}};
      case Panel::None: break;
    }
    return {nullptr, -1, {}};
  }();
  if (parts.widget == nullptr) return;
  parts.widget->setVisible(visible);
  const QString colour = visible ? QStringLiteral("color: navy;") : QStringLiteral("color: gray;");
  m_stepLabels[parts.step]->setStyleSheet(colour);
  m_stepSeparators[parts.step]->setStyleSheet(colour);
  for (QPushButton* button : parts.buttons) button->setVisible(visible);
  UpdateBackSlot();
}

void Tfrm_Main::UpdateBackSlot() {
  m_backBlank->setVisible(pb_SetupBack->isHidden() && pb_StartAgain->isHidden() && pb_AnalysisBack->isHidden());
}

void Tfrm_Main::PrepareRegistrationPanel() {
  setWindowState(windowState() | Qt::WindowMaximized);
  ShowPanel(Panel::Registration, true);
  df_FirstName->setFocus();
}

void Tfrm_Main::PrepareSetupPanel() {
  ShowPanel(Panel::Setup, true);
  LogAvailableDrives();
  DefaultLowFileTypes();
  StartChangeNotifier();
  Drives->setFocus();
}

void Tfrm_Main::PrepareAnalysePanel(bool bScan) {
  ResizeAnalysisSide();
  Drives_Available->ScanDrive = Drives->Drive();
  Drives_Available->UpdateDrives();
  ShowPanel(Panel::Analysis, true);
  lbl_Summary->StopFlashing();
  lbl_Summary->setVisible(false);
  if (bScan) DoScan();
}

void Tfrm_Main::PrepareFeedbackPanel() {
  ShowPanel(Panel::Feedback, true);
  // There is a folder to open only when files were saved.
  const bool saved = m_state.FilesSaved > 0;
  cx_OpenRecovered->setVisible(saved);
  pb_OpenFolder->setVisible(saved);
  lbl_SavedTo->setText(saved ? QStringLiteral("%1 files saved to: %2")
                                   .arg(m_state.FilesSaved)
                                   .arg(QString::fromStdString(RealOutputFolder()))
                             : QStringLiteral("No files were saved."));
}

void Tfrm_Main::pb_OpenFolderClick() { OpenFolder(m_state.OutputFolder); }

void Tfrm_Main::CancelScan() {
  // Only a running scan (Stop on screen) can be stopped.
  if (!pb_Stop->isHidden()) pb_Stop->click();
}

bool Tfrm_Main::NewsletterCheckPasses() {
  const online::RegistrationDetails details{df_FirstName->text().toStdString(), df_LastName->text().toStdString(),
                                            df_EmailAddress->text().toStdString()};
  const online::NewsletterCheck check = online::CheckNewsletter(details, cx_News->isChecked());
  if (check != online::NewsletterCheck::Ok) {
    m_prompt->Ask("Trellmond", online::NewsletterCheckText(check), util::PromptButtons::Ok,
                  util::PromptIcon::Information);
    QLineEdit* field = check == online::NewsletterCheck::MissingDetails ? df_FirstName : df_EmailAddress;
    if (check == online::NewsletterCheck::InvalidEmail) field->selectAll();
    field->setFocus();
    online::LogNewsletterWarning(m_http, m_state.TransactionID, check);
    return false;
  }
  online::SubmitRegistration(m_http, m_state.TransactionID, details, cx_News->isChecked());
  WriteRegistrationRegistryEntries();
  if (cx_News->isChecked()) BrowseApplicationUrl(m_addresses.NewsSubURL);
  cx_News->setChecked(false);
  return true;
}

void Tfrm_Main::pb_SetupClick() {
  if (!NewsletterCheckPasses()) return;
  ShowPanel(Panel::Registration, false);
  PrepareSetupPanel();
}

void Tfrm_Main::pb_AnalyseClick() {
  RecordScannedDrive();
  ShowPanel(Panel::Setup, false);
  PrepareAnalysePanel(true);
}

void Tfrm_Main::pb_SetupBackClick() {
  ShowPanel(Panel::Analysis, false);
  PrepareSetupPanel();
}

void Tfrm_Main::pb_AnalysisBackClick() {
  // Back to the ticks: the trees keep the results, the scanners their save flags.
  ShowPanel(Panel::Recovery, false);
  PrepareAnalysePanel(false);
  UpdateClickStatus(false);
}

void Tfrm_Main::pb_ToRecoveryClick() {
  UpdateClickStatus(true);
  ShowPanel(Panel::Analysis, false);
  pb_Analyse->setVisible(false);
  PrepareRecoveryPanel();
}

void Tfrm_Main::pb_SaveExitClick() {
  if (cx_OpenRecovered->isChecked() && !cx_OpenRecovered->isHidden()) OpenFolder(m_state.OutputFolder);
  m_state.Cancelled = true;
  close();
}

void Tfrm_Main::pb_StartAgainClick() {
  if (cx_OpenRecovered->isChecked() && !cx_OpenRecovered->isHidden()) OpenFolder(m_state.OutputFolder);
  ShowPanel(Panel::Feedback, false);
  // A stopped scan run left Cancelled set; only the version check may set it now.
  m_state.Cancelled = false;
  CheckVersion();
  if (m_state.Cancelled) {
    EndApplication();
    return;
  }
  const std::string oldID = m_state.TransactionID;
  ObtainTransaction();
  online::ChainTransactions(m_http, oldID, m_state.TransactionID);
  pb_SetupClick();
}

void Tfrm_Main::pb_QuitClick() { close(); }

void Tfrm_Main::pressForward() {
  for (QPushButton* button : {pb_Setup, pb_Analyse, pb_ToRecovery, pb_Feedback, pb_SaveExit}) {
    if (!button->isHidden() && button->isEnabled()) {
      button->click();
      return;
    }
  }
}

}  // namespace wizard
