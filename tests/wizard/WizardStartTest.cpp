// The wizard's start-up against the real service: the normal road to the
// Registration panel, a forced update, a missing transaction number, and an
// unreachable service rescued through the proxy dialog.

#include "online/StartupChecks.h"
#include "tests/wizard/ForwardingProxy.h"
#include "tests/wizard/WizardHarness.h"
#include "widgets/PageView.h"
#include "widgets/frm_Proxy.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using testsupport::Control;
using testsupport::WizardHarness;

namespace {

// A loopback port nobody listens on.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

std::vector<std::string> Column(const std::vector<std::vector<std::string>>& rows, std::size_t column) {
  std::vector<std::string> values;
  for (const auto& row : rows) values.push_back(row.at(column));
  return values;
}

// The proxy dialog filled in and tested, then closed with OK.
void UseProxy(QDialog& dialog, int port) {
  auto& proxy = static_cast<widgets::Tfrm_Proxy&>(dialog);
  proxy.cx_Proxy->setChecked(true);
  proxy.df_Proxy->setText(QStringLiteral("127.0.0.1"));
  proxy.df_Port->setText(QString::number(port));
  proxy.pb_Try->click();
  proxy.pb_Ok->click();
}

}  // namespace

class WizardStartTest : public QObject {
  Q_OBJECT

 private slots:
  void normalStartReachesRegistrationPanel();
  void versionMismatchShowsUpdateBoxAndEnds();
  void transactionZeroEndsAfterErrorBox();
  void unreachableServiceRetriesThenProxyDialogRescues();
  void splashQuitEndsBeforeAnyRequest();
  void unreachableServiceEndsAfterProxyDialogNamingTheAddress();
};

void WizardStartTest::normalStartReachesRegistrationPanel() {
  WizardHarness h;
  h.StartService();
  auto window = h.Start();

  QVERIFY(!window->EndRequested());
  QVERIFY(window->State().Connected);
  QVERIFY(!Control<QWidget>(*window, "pnl_Registration")->isHidden());
  QVERIFY(!Control<QPushButton>(*window, "pb_Setup")->isHidden());
  QVERIFY(Control<QWidget>(*window, "lbl_ProxySettings")->isHidden());
  QVERIFY(!Control<QWidget>(*window, "pnl_Web")->isHidden());
  QVERIFY(Control<widgets::TPageView>(*window, "WebBrowser")->toPlainText().contains(QStringLiteral("Welcome")));
  QVERIFY(!Control<QCheckBox>(*window, "cx_News")->isChecked());
  // Only the splash and the two loading notices came up; no message box at all.
  QCOMPARE(h.driver.seen, (std::vector<QString>{"frm_Splash", "frm_Loading", "frm_Loading"}));
  QVERIFY(h.BoxTexts().size() == 1);  // "Warning! Default URL is: ..." for the replaced base URL
  QCOMPARE(h.BoxTexts()[0], "Warning! Default URL is: " + h.Service().BaseURL());

  const std::string id = window->TransactionID();
  const auto logs = h.Logs(id);
  const std::vector<std::string> expected = {
      "Version: 1.0.0.1", "Initial / New Registration. Trans: " + id,
      "Maximum number of Image Hints to be stored is: " + std::to_string(window->State().MaxImageHints)};
  QVERIFY(logs.size() >= 5);
  for (std::size_t i = 0; i < expected.size(); ++i) QCOMPARE(logs[i][1], expected[i]);
  QCOMPARE(Column(logs, 0), (std::vector<std::string>{"1", "5", "7", "6", "6", "8"}));
  QCOMPARE(logs[3][1], std::string("News Checkbutton clicked to: 0"));
  QCOMPARE(logs[4][1], std::string("Referer Noted as:<br>"));
  QCOMPARE(logs[5][1], std::string("Show News: 1"));
  const auto machine = h.Rows("SELECT platform, ram FROM machines WHERE trans = '" + id + "'");
  QCOMPARE(machine.size(), std::size_t{1});
  QVERIFY(machine[0][1].ends_with(" MB"));

  // Closing from here: one question, then the two closing lines.
  h.prompt.answer = [](const auto&) { return util::PromptAnswer::Yes; };
  QVERIFY(window->close());
  window.reset();
  const auto closing = h.Logs(id);
  QCOMPARE(closing[closing.size() - 2], (std::vector<std::string>{"160", "Closing Application."}));
  QCOMPARE(closing.back(), (std::vector<std::string>{"170", "Destroying Application."}));
}

void WizardStartTest::versionMismatchShowsUpdateBoxAndEnds() {
  WizardHarness h;
  h.StartService({"--version", "9.9"});
  auto window = h.Start();

  QVERIFY(window->EndRequested());
  QVERIFY(window->State().Cancelled);
  QCOMPARE(h.BoxTexts().back(), online::NewVersionText());
  QCOMPARE(h.browsed, (std::vector<std::string>{h.Service().BaseURL()}));
  QVERIFY(Control<QWidget>(*window, "pnl_Registration")->isHidden());
  QVERIFY(window->TransactionID().empty());
  window.reset();
  QVERIFY(h.Rows("SELECT id FROM transactions").empty());
  QVERIFY(h.Rows("SELECT id FROM logs").empty());
}

void WizardStartTest::transactionZeroEndsAfterErrorBox() {
  WizardHarness h;
  h.StartService();
  // The stored proxy is used from the first request on; it answers the transaction request with "0".
  testsupport::ForwardingProxy proxy(h.Service().Port(), [](const std::string& target) -> std::optional<std::string> {
    if (target.starts_with("/php/addtransaction.php")) return std::string("<html><body>\n0\n</body></html>");
    return std::nullopt;
  });
  platform::SettingsStore store;
  store.WriteBool("ProxyActive", true);
  store.WriteString("ProxyName", "127.0.0.1");
  store.WriteInteger("ProxyPort", proxy.Port());

  auto window = h.Start();
  QVERIFY(window->EndRequested());
  QCOMPARE(window->TransactionID(), std::string("0"));
  QVERIFY(h.BoxTexts().back() == "Problem obtaining TransactionID. Application Terminating.");
  QVERIFY(proxy.Requests() >= 3);
  window.reset();
  // Nothing is logged under the transaction "0" once the program is ending, not even "Destroying Application.".
  QVERIFY(h.Rows("SELECT id FROM logs WHERE action = '170'").empty());
}

void WizardStartTest::unreachableServiceRetriesThenProxyDialogRescues() {
  WizardHarness h;
  h.StartService();
  testsupport::ForwardingProxy proxy(h.Service().Port());
  const std::string deadBase = "http://127.0.0.1:" + std::to_string(ClosedPort());

  QElapsedTimer clock;
  qint64 longBoxAt = -1;
  qint64 proxyDialogAt = -1;
  h.prompt.answer = [&](const testsupport::ScriptedPrompt::Box& box) {
    if (box.text == online::ConnectionRequiredText()) longBoxAt = clock.elapsed();
    return util::PromptAnswer::Ok;
  };
  h.driver.actions[QStringLiteral("frm_Proxy")] = [&](QDialog& dialog) {
    proxyDialogAt = clock.elapsed();
    UseProxy(dialog, proxy.Port());
  };
  auto window = h.MakeWindow({deadBase, "Hv4kTq"});
  clock.start();
  window->FormCreate();

  QVERIFY(longBoxAt >= 0);
  QVERIFY2(proxyDialogAt - longBoxAt >= 3000, "three retries a second apart");
  const auto texts = h.BoxTexts();
  QVERIFY(std::find(texts.begin(), texts.end(), "The connection is now working.") != texts.end());
  QVERIFY(!window->EndRequested());
  QVERIFY(window->State().Connected);
  QVERIFY(!Control<QWidget>(*window, "pnl_Registration")->isHidden());
  QVERIFY(Control<QWidget>(*window, "lbl_ProxySettings")->isHidden());
  QVERIFY(!window->TransactionID().empty());
  QCOMPARE(window->HTTP().ProxyPort(), proxy.Port());

  // The settings outlive the run: the next start goes through the proxy at once.
  const std::string settings = h.SettingsFile();
  QVERIFY(settings.find("ProxyActive=1") != std::string::npos);
  QVERIFY(settings.find("ProxyName=127.0.0.1") != std::string::npos);
  QVERIFY(settings.find("ProxyPort=" + std::to_string(proxy.Port())) != std::string::npos);
  window->State().Cancelled = true;
  window.reset();

  h.prompt.boxes.clear();
  h.driver.seen.clear();
  auto second = h.MakeWindow({deadBase, "Hv4kTq"});
  second->FormCreate();
  QVERIFY(!Control<QWidget>(*second, "pnl_Registration")->isHidden());
  QCOMPARE(h.BoxTexts().size(), std::size_t{1});  // only "Warning! Default URL is: ..."
  QCOMPARE(h.driver.seen, (std::vector<QString>{"frm_Splash", "frm_Loading", "frm_Loading"}));
  second->State().Cancelled = true;
}

void WizardStartTest::splashQuitEndsBeforeAnyRequest() {
  WizardHarness h;
  h.StartService();
  h.driver.actions[QStringLiteral("frm_Splash")] = [](QDialog& d) {
    d.findChild<QPushButton*>(QStringLiteral("pb_Quit"))->click();
  };
  auto window = h.Start();
  QVERIFY(window->EndRequested());
  QCOMPARE(h.driver.seen, (std::vector<QString>{"frm_Splash"}));
  window.reset();
  QVERIFY(h.Rows("SELECT id FROM transactions").empty());
}

void WizardStartTest::unreachableServiceEndsAfterProxyDialogNamingTheAddress() {
  WizardHarness h;
  const std::string deadBase = "http://127.0.0.1:" + std::to_string(ClosedPort());
  h.driver.actions[QStringLiteral("frm_Proxy")] = [](QDialog& dialog) { dialog.reject(); };
  auto window = h.MakeWindow({deadBase, "Hv4kTq"});
  window->FormCreate();

  // The window is not left open with no panel: the closing path runs, without a question.
  QVERIFY(window->EndRequested());
  QVERIFY(window->State().Cancelled);
  QVERIFY(!window->State().Connected);
  QVERIFY(Control<QWidget>(*window, "pnl_Registration")->isHidden());
  const auto texts = h.BoxTexts();
  QCOMPARE(texts.back(), online::NoConnectionText(deadBase));
  QVERIFY(texts.back().find(deadBase) != std::string::npos);
  QVERIFY(std::find(texts.begin(), texts.end(), online::ConnectionRequiredText()) != texts.end());
  const std::size_t boxes = texts.size();
  QVERIFY(window->close());
  QCOMPARE(h.BoxTexts().size(), boxes);  // no "Are you sure you want to quit?"
}

QTEST_MAIN(WizardStartTest)
#include "WizardStartTest.moc"
