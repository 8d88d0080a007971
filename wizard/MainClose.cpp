// The header links, closing the window and the layout on resize.

#include "wizard/Main.h"

#include "wizard/ResultTrees.h"
#include "wizard/ScanProgress.h"

#include "drives/SHChangeNotify.h"

#include <stdexcept>

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "online/Transaction.h"
#include "widgets/GuiHelpers.h"
#include "widgets/InternalBrowser.h"
#include "widgets/Pictures.h"
#include "widgets/frm_About.h"

#include <QCloseEvent>
#include <QLayout>

#include <algorithm>

namespace wizard {

void Tfrm_Main::pb_HelpClick() {
  widgets::ShowInternalBrowser(m_state.TransactionID, m_addresses.HelpURL, m_http, this);
}

void Tfrm_Main::pb_SupportClick() {
  widgets::ShowInternalBrowser(m_state.TransactionID, m_addresses.SupportURL, m_http, this);
}

void Tfrm_Main::pb_AboutClick() {
  widgets::Tfrm_About about(m_addresses.BaseURL, this);
  about.SetImage(widgets::MainPicture(150));
  about.OpenAddress = OpenInBrowser;
  about.exec();
}

bool Tfrm_Main::FormCloseQuery() {
  if (!pb_Stop->isHidden()) pb_Stop->click();
  if (m_state.Cancelling) return false;
  if (m_state.UnsavedRecovery) {
    const bool yes =
        m_prompt->Ask("Trellmond",
                      "You have an outstanding recovery and have not yet saved your files. \r\n\r\nIf you choose to "
                      "quit Trellmond at this stage, then your files will not be recovered.\r\nWe recommend that you "
                      "save your files first.\r\n\r\nAre you sure that you want to quit?",
                      util::PromptButtons::YesNo, util::PromptIcon::Question) == util::PromptAnswer::Yes;
    online::AddLog(m_state.TransactionID, std::string("Tried to quit before saving. Result: ") + (yes ? "1" : "0"),
                   online::action::kQuitBeforeSave, m_http);
    return yes;
  }
  if (!m_state.Cancelled) {
    return m_prompt->Ask("Trellmond", "Are you sure you want to quit?", util::PromptButtons::YesNo,
                         util::PromptIcon::Question) == util::PromptAnswer::Yes;
  }
  return true;
}

void Tfrm_Main::FormClose() {
  if (m_state.Connected) online::AddLog(m_state.TransactionID, "Closing Application.", online::action::kClosing, m_http);
  m_state.LowSelection.clear();
  m_state.FATSelection.clear();
  try {
    ChangeNotifier->Stop();
  } catch (const std::exception&) {
    online::AddLog(m_state.TransactionID, "Error stopping ChangeNotifier", online::action::kNotifierStopError, m_http);
  }
}

void Tfrm_Main::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void Tfrm_Main::FormDestroy() {
  if (m_state.Connected && online::ValidTransactionID(m_state.TransactionID)) {
    online::AddLog(m_state.TransactionID, "Destroying Application.", online::action::kDestroying, m_http);
  }
  if (m_filter) UnregisterExceptionFilter(m_filter.get());
}

Tfrm_Main::~Tfrm_Main() { FormDestroy(); }

void Tfrm_Main::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  widgets::RedistributeChildren(*pnl_Progress);
  pnl_Analysis->setGeometry(pnl_Main->rect());
  widgets::CentraliseChildren(*pnl_Main);
  ResizeAnalysisSide();
}

void Tfrm_Main::ResizeAnalysisSide() {
  // Wider than the column was first drawn (263), for today's desktop fonts.
  constexpr int kSideWidth = 290;
  const int width = pnl_Analysis->width();
  const int height = pnl_Analysis->height();
  pnl_AnalysisSide->setGeometry(width - kSideWidth - 5, 5, kSideWidth, height - 10);
  pnl_TreeArea->setGeometry(5, 5, std::max(0, width - kSideWidth - 15), height - 10);
  // The summary wraps: the column's status part is as tall as its width makes it.
  QLayout* status = pnl_Status->layout();
  const int statusHeight = status->hasHeightForWidth() ? status->totalHeightForWidth(kSideWidth)
                                                       : status->totalSizeHint().height();
  pnl_Status->setGeometry(0, 0, kSideWidth, statusHeight);
  pnl_FileTypes->move(0, statusHeight + 8);
  const int t = pnl_FileTypes->y();
  const int b = pnl_AnalysisSide->height() - 5;
  const int s = t + (b - t) / 2;
  pnl_FileTypes->setGeometry(0, t, kSideWidth, s - t);
  pnl_SaveDrives->setGeometry(0, s + 5, kSideWidth, b - s - 5);
}

}  // namespace wizard
