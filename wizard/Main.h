#pragma once
// Tfrm_Main: the wizard's one window. It owns the HTTP client, the scanners
// and their drive access components, leads the user from the Registration
// panel through Setup, Analysis and Recovery to the last panel, and runs the
// whole start-up (splash, connection check, loading) in FormCreate before
// the main loop starts. Everything runs on the GUI thread.

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "lowscan/MekLowScan.h"
#include "online/Addresses.h"
#include "online/HttpClient.h"
#include "online/MekCookie.h"
#include "platform/Settings.h"
#include "widgets/QtPrompt.h"
#include "wizard/ExceptionFilter.h"
#include "wizard/WizardState.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace widgets {
class TLinkLabel;
class TMekFlashingLabel;
class TPageView;
}  // namespace widgets

namespace wizard {

class Tfrm_Main : public QWidget {
  Q_OBJECT
 public:
  // `arguments` without the program name.
  explicit Tfrm_Main(std::vector<std::string> arguments, QWidget* parent = nullptr);
  ~Tfrm_Main() override;

  // The start-up; afterwards EndRequested() says whether the program is to end instead of showing the window.
  void FormCreate();
  bool EndRequested() const { return m_endRequested; }

  // Message boxes and questions; the window's own Qt prompt unless replaced (tests).
  void SetPrompt(util::IPrompt* prompt);
  util::IPrompt& Prompt() { return *m_prompt; }
  // Opening an address in the user's browser and a folder in the file manager.
  std::function<bool(std::string_view)> OpenInBrowser;
  std::function<void(std::string_view)> OpenFolder;

  WizardState& State() { return m_state; }
  const std::string& TransactionID() const { return m_state.TransactionID; }
  const online::ServiceAddresses& Addresses() const { return m_addresses; }
  online::THttpClient& HTTP() { return m_http; }

  // Part of every panel move; public so the later panels' code and tests can reach them.
  void PrepareRegistrationPanel();
  void PrepareSetupPanel();
  void PrepareAnalysePanel(bool bScan);
  void PrepareRecoveryPanel();
  void PrepareFeedbackPanel();
  void CancelScan();

 signals:
  // The program is to end once control is back in the main loop.
  void terminateRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Building the window (MainFrame.cpp, MainPanelsBuild.cpp).
  void BuildHeader();
  void BuildStepStrip();
  void BuildButtonBar();
  void BuildRegistrationPanel();
  void BuildFeedbackPanel();
  void BuildWorkPanels();
  QPushButton* AddSlotButton(QWidget* slot, const char* name, const QString& caption, void (Tfrm_Main::*handler)());

  // Start-up (MainStartup.cpp).
  void CheckInternetConnection();
  void Preparation();
  void GetInitialData();
  void GetSetupData();
  void CheckVersion();
  void ObtainTransaction();
  void ShowNews();
  void BrowseApplicationUrl(const std::string& address);
  void ReadRegistrationRegistryEntries();
  void WriteRegistrationRegistryEntries();
  void pb_ProxySettingsClick();
  // The proxy dialog, then the connection test with its settings; true once connected.
  bool TryProxySettings();
  void RunLoading(const QString& message, std::function<void()> step);
  void EndApplication();
  void ProcessMessages();
  void WaitMs(int milliseconds);

  // Panel moves (MainPanels.cpp).
  enum class Panel { None, Registration, Setup, Analysis, Recovery, Feedback };
  void ShowPanel(Panel panel, bool visible);
  void UpdateBackSlot();
  void pb_SetupClick();
  void pb_AnalyseClick();
  void pb_SetupBackClick();
  void pb_ToRecoveryClick();
  void pb_FeedbackClick();
  void pb_SaveExitClick();
  void pb_StartAgainClick();
  void pb_QuitClick();
  void pressForward();
  bool NewsletterCheckPasses();

  // Links and closing (MainClose.cpp).
  void pb_HelpClick();
  void pb_SupportClick();
  void pb_AboutClick();
  bool FormCloseQuery();
  void FormClose();
  void FormDestroy();
  void ResizeAnalysisSide();

  std::vector<std::string> m_arguments;
  WizardState m_state;
  online::ServiceAddresses m_addresses;
  bool m_endRequested = false;

  online::THttpClient m_http;
  online::TMekCookie m_cookie;
  platform::SettingsStore m_store;
  widgets::QtPrompt m_qtPrompt{this};
  util::IPrompt* m_prompt = &m_qtPrompt;
  std::unique_ptr<TNewDialogFilter> m_filter;

  // The engine parts the window owns; the scan and save runs use them.
  disk::TRawDiskAccessComponent Raw;
  disk::TRawDiskAccessComponent Raw_General;
  fsscan::TMekFATScan FATScan;
  lowscan::TMekLowScan LowScan;

  // Controls (named as the form names them).
  QWidget* pnl_Header = nullptr;
  widgets::TLinkLabel* lbl_ProxySettings = nullptr;
  widgets::TLinkLabel* lbl_About = nullptr;
  widgets::TLinkLabel* lbl_Support = nullptr;
  widgets::TLinkLabel* lbl_Help = nullptr;
  QWidget* pnl_Progress = nullptr;
  QLabel* m_stepLabels[5] = {};
  QLabel* m_stepSeparators[5] = {};
  QWidget* pnl_Main = nullptr;
  QWidget* pnl_Registration = nullptr;
  QWidget* pnl_Setup = nullptr;
  QWidget* pnl_Analysis = nullptr;
  QWidget* pnl_Recovery = nullptr;
  QWidget* pnl_Feedback = nullptr;
  widgets::TPageView* WebBrowser = nullptr;
  QWidget* pnl_Web = nullptr;
  QLineEdit* df_FirstName = nullptr;
  QLineEdit* df_LastName = nullptr;
  QLineEdit* df_EmailAddress = nullptr;
  QCheckBox* cx_News = nullptr;
  QCheckBox* cx_OpenRecovered = nullptr;
  QWidget* pnl_AnalysisSide = nullptr;
  QWidget* pnl_FileTypes = nullptr;
  QWidget* pnl_SaveDrives = nullptr;
  widgets::TMekFlashingLabel* lbl_Summary = nullptr;
  QPushButton* pb_Stop = nullptr;
  QWidget* pnl_Buttons = nullptr;
  QPushButton* pb_Quit = nullptr;
  QWidget* m_backSlot = nullptr;
  QWidget* m_forwardSlot = nullptr;
  QPushButton* m_backBlank = nullptr;
  QPushButton* pb_SetupBack = nullptr;
  QPushButton* pb_StartAgain = nullptr;
  QPushButton* pb_Setup = nullptr;
  QPushButton* pb_Analyse = nullptr;
  QPushButton* pb_ToRecovery = nullptr;
  QPushButton* pb_Feedback = nullptr;
  QPushButton* pb_SaveExit = nullptr;
};

}  // namespace wizard
