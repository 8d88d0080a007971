// Start-up: command line, splash, connection check with retries and the
// proxy dialog, version check, transaction, registration details and news.

#include "wizard/Main.h"

#include "drives/ZubDrvListBox.h"

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "online/ServiceAddress.h"
#include "online/StartupChecks.h"
#include "online/Transaction.h"
#include "platform/Files.h"
#include "widgets/LinkLabel.h"
#include "widgets/ModalResults.h"
#include "widgets/PageView.h"
#include "widgets/Pictures.h"
#include "widgets/frm_Loading.h"
#include "widgets/frm_Proxy.h"
#include "widgets/frm_Splash.h"
#include "wizard/CommandLine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace wizard {

void Tfrm_Main::FormCreate() {
  // Linux shows no system dialog for a drive without a medium, so there is no error mode to set.
  m_filter = std::make_unique<TNewDialogFilter>(
      m_http, [this] { return m_state.TransactionID; }, *m_prompt, [this] { CancelScan(); });
  RegisterExceptionFilter(m_filter.get());

  const StartAddress start = ParseCommandLine(m_arguments);
  m_addresses = online::MakeServiceAddresses(start.baseURL);
  m_addressGiven = start.replaced;
  if (start.replaced) {
    m_prompt->Ask("Trellmond", "Warning! Default URL is: " + m_addresses.BaseURL, util::PromptButtons::Ok,
                  util::PromptIcon::Warning);
  }
  m_http.SetServiceURL(m_addresses.ServiceURL);
  m_state.language = std::string(online::kLanguage);
  m_state.Connected = false;
  m_state.UnsavedRecovery = false;
  Drives->SetDriveType(drives::dtAll);
  Drives->SelectRow(-1);
  m_http.SetProxy({}, 0);
  m_state.LowSelection = {"0", "", ""};
  m_state.FATSelection = {"1", "1", ""};

  widgets::Tfrm_Splash splash(this);
  splash.SetImage(widgets::MainPicture(180));
  if (splash.exec() == widgets::kResultQuit) {
    EndApplication();
    return;
  }
  RunLoading(QStringLiteral("Checking internet connection..."), [this] { CheckInternetConnection(); });
}

void Tfrm_Main::RunLoading(const QString& message, std::function<void()> step) {
  widgets::Tfrm_Loading loading(this);
  loading.SetMessage(message);
  loading.SetStep(std::move(step));
  loading.exec();
}

void Tfrm_Main::EndApplication() {
  m_endRequested = true;
  emit terminateRequested();
}

void Tfrm_Main::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void Tfrm_Main::WaitMs(int milliseconds) {
  // The window stays painted while it waits.
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < milliseconds) {
    ProcessMessages();
    QThread::msleep(10);
  }
}

void Tfrm_Main::StartSessionService() {
  const std::string host(online::kDefaultServiceHost);
  constexpr auto kProbe = std::chrono::milliseconds(300);
  if (m_addressGiven || platform::Answers(host, online::kDefaultServicePort, kProbe)) return;
  const std::string program = platform::FindCompanionProgram("trellmond-service", "service");
  if (program.empty()) return;
  m_sessionService = std::make_unique<platform::SessionProcess>(
      program, std::vector<std::string>{"--bind", host, "--port", std::to_string(online::kDefaultServicePort)});
  // The connection check that follows retries too; this only spares a slow start its message box.
  QElapsedTimer clock;
  clock.start();
  while (m_sessionService->Running() && clock.elapsed() < 5000 &&
         !platform::Answers(host, online::kDefaultServicePort, kProbe)) {
    WaitMs(50);
  }
}

void Tfrm_Main::CheckInternetConnection() {
  StartSessionService();
  widgets::Tfrm_Proxy proxy(m_store, *m_prompt, this);
  proxy.GetRegistryValues();
  if (proxy.Active()) m_http.SetProxy(proxy.ProxyName(), proxy.Port());

  m_state.Connected = online::CheckConnection(m_http, m_state.language);
  if (m_state.Connected) {
    ProcessMessages();
  } else {
    m_prompt->Ask("Trellmond", online::ConnectionRequiredText(), util::PromptButtons::Ok,
                  util::PromptIcon::Information);
    m_state.Connected =
        online::RetryConnection(m_http, m_state.language, 3, 1000, [this](int ms) { WaitMs(ms); });
    // A start that the proxy dialog did not connect either ends through the closing path,
    // saying which address it tried, rather than leaving a window with nothing to do.
    if (!m_state.Connected) {
      if (!TryProxySettings()) {
        m_prompt->Ask("Trellmond", online::NoConnectionText(m_addresses.BaseURL), util::PromptButtons::Ok,
                      util::PromptIcon::Information);
        m_state.Cancelled = true;
        EndApplication();
      }
      return;
    }
  }
  Preparation();
  if (!m_endRequested) PrepareRegistrationPanel();
}

void Tfrm_Main::pb_ProxySettingsClick() {
  if (!TryProxySettings()) {
    m_prompt->Ask("Trellmond", online::ConnectionRequiredText(), util::PromptButtons::Ok,
                  util::PromptIcon::Information);
  }
}

bool Tfrm_Main::TryProxySettings() {
  {
    widgets::Tfrm_Proxy proxy(m_store, *m_prompt, this);
    proxy.SetHTTP(&m_http);
    proxy.SetLanguage(m_state.language);
    proxy.exec();
    m_http.SetProxy(proxy.ProxyName(), proxy.Port());
  }
  if (!online::CheckConnection(m_http, m_state.language)) return false;
  Preparation();
  if (!m_endRequested) PrepareRegistrationPanel();
  lbl_ProxySettings->setVisible(false);
  m_state.Connected = true;
  return true;
}

void Tfrm_Main::Preparation() {
  RunLoading(QStringLiteral("Loading..."), [this] { GetInitialData(); });
  if (m_state.Cancelled) EndApplication();
}

void Tfrm_Main::GetInitialData() {
  lbl_ProxySettings->setVisible(false);
  CheckVersion();
  ProcessMessages();
  if (m_state.Cancelled) return;
  ProcessMessages();
  ReadRegistrationRegistryEntries();
  ObtainTransaction();
  cx_News->setChecked(false);
  ShowNews();
  GetSetupData();
}

void Tfrm_Main::GetSetupData() {
  ProcessMessages();
  DrivesChange();
}

void Tfrm_Main::CheckVersion() {
  const std::string programVersion = platform::GetFmtFileVersion(platform::OwnExecutablePath(), "%d.%d");
  const online::VersionCheck check = online::CheckVersion(m_http, m_state.language, programVersion);
  if (!check.updateRequired) return;
  m_prompt->Ask("Trellmond", online::NewVersionText(), util::PromptButtons::Ok, util::PromptIcon::Information);
  OpenInBrowser(m_addresses.BaseURL);
  m_state.Cancelled = true;
}

void Tfrm_Main::ObtainTransaction() {
  const online::TransactionStart start = online::GetTransactionID(m_http);
  m_state.TransactionID = start.TransactionID;
  m_state.MaxImageHints = start.MaxImageHints;
}

void Tfrm_Main::ShowNews() {
  const online::NewsDecision news = online::ShowNews(m_http, m_addresses, m_state.language);
  pnl_Web->setVisible(news.visible);
  BrowseApplicationUrl(news.url);
  online::LogShowNews(m_http, m_state.TransactionID, news);
}

void Tfrm_Main::BrowseApplicationUrl(const std::string& address) {
  // The cookie's referrer is logged; the request itself carries the program's fixed Referer header.
  online::NoteReferrer(m_cookie, m_http, m_state.TransactionID, online::kCookieSite);
  if (!WebBrowser->Navigate(QString::fromStdString(address))) {
    online::AddLog(m_state.TransactionID, "Error in showing News URL: " + WebBrowser->LastError(),
                   online::action::kNewsError, m_http);
  }
}

void Tfrm_Main::ReadRegistrationRegistryEntries() {
  online::RegistrationDetails details{df_FirstName->text().toStdString(), df_LastName->text().toStdString(),
                                      df_EmailAddress->text().toStdString()};
  online::ReadRegistrationDetails(m_store, details);
  df_FirstName->setText(QString::fromStdString(details.FirstName));
  df_LastName->setText(QString::fromStdString(details.LastName));
  df_EmailAddress->setText(QString::fromStdString(details.Email));
}

void Tfrm_Main::WriteRegistrationRegistryEntries() {
  online::WriteRegistrationDetails(m_store, {df_FirstName->text().toStdString(), df_LastName->text().toStdString(),
                                             df_EmailAddress->text().toStdString()});
}

}  // namespace wizard
