// The wizard started from the menu: no arguments and no service at the default address. It
// starts the installed service for its session, reaches the Registration panel through it,
// and stops it when it closes. An address given on its command line is used as it is.
// Run in a network namespace of its own (private-network.sh) so the default port is free.

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "online/ServiceAddress.h"
#include "online/StartupChecks.h"
#include "platform/Companion.h"
#include "tests/service/TestDatabase.h"
#include "tests/wizard/WizardHarness.h"

using testsupport::Control;
using testsupport::WizardHarness;

namespace {

bool DefaultAddressAnswers() {
  return platform::Answers(std::string(online::kDefaultServiceHost), online::kDefaultServicePort,
                           std::chrono::milliseconds(300));
}

// The built service where an installed one would be found: on PATH.
void PutServiceOnPath() {
  const char* build = std::getenv("TRELLMOND_BUILD_DIR");
  const char* path = std::getenv("PATH");
  const std::string folder = std::string(build != nullptr ? build : ".") + "/service";
  setenv("PATH", (folder + ":" + (path != nullptr ? path : "/usr/bin:/bin")).c_str(), 1);
}

}  // namespace

class SessionServiceTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    if (DefaultAddressAnswers()) QSKIP("something already answers at the default address");
    PutServiceOnPath();
  }
  void noArgumentsStartsTheServiceAndReachesRegistration();
  void givenAddressIsNeverSecondGuessed();
};

void SessionServiceTest::noArgumentsStartsTheServiceAndReachesRegistration() {
  WizardHarness h;
  {
    auto window = h.MakeWindow({});
    window->FormCreate();
    QVERIFY(!window->EndRequested());
    QVERIFY(window->State().Connected);
    QCOMPARE(window->Addresses().BaseURL, std::string(online::kDefaultBaseURL));
    QVERIFY(!Control<QWidget>(*window, "pnl_Registration")->isHidden());
    QVERIFY(!Control<QPushButton>(*window, "pb_Setup")->isHidden());
    const auto texts = h.BoxTexts();
    QVERIFY(std::find(texts.begin(), texts.end(), online::ConnectionRequiredText()) == texts.end());
    QVERIFY(DefaultAddressAnswers());
    // The service of the session keeps its records where the user's service would.
    const auto database = h.dir / "data" / "Pelmora" / "trellmond-service.sqlite";
    QVERIFY(std::filesystem::exists(database));
    const auto rows = testsupport::QueryRows(database.string(), "SELECT COUNT(*) FROM logs");
    QVERIFY(!rows.empty() && rows[0][0] != "0");
  }
  QVERIFY(!DefaultAddressAnswers());
}

void SessionServiceTest::givenAddressIsNeverSecondGuessed() {
  WizardHarness h;
  h.driver.actions[QStringLiteral("frm_Proxy")] = [](QDialog& d) { d.reject(); };
  // The default port, named on the command line: nothing answers, and nothing is started.
  auto window = h.MakeWindow({std::string(online::kDefaultBaseURL), "Hv4kTq"});
  window->FormCreate();
  QVERIFY(window->EndRequested());
  QVERIFY(!window->State().Connected);
  QVERIFY(!DefaultAddressAnswers());
}

QTEST_MAIN(SessionServiceTest)
#include "SessionServiceTest.moc"
