// Moving through the wizard's panels against the real service: the
// newsletter and e-mail checks of "Next >>", the whole road to the last
// panel and back through Start Again, Exit, and the closing questions.

#include "online/StartupChecks.h"
#include "tests/wizard/WizardHarness.h"
#include "widgets/PageView.h"
#include "wizard/Application.h"
#include "wizard/ExceptionFilter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <new>
#include <stdexcept>

using testsupport::Control;
using testsupport::WizardHarness;

namespace {

const std::string kOutstanding =
    "You have an outstanding recovery and have not yet saved your files. \r\n\r\nIf you choose to quit Trellmond at "
    "this stage, then your files will not be recovered.\r\nWe recommend that you save your files first.\r\n\r\nAre "
    "you sure that you want to quit?";
const std::string kQuit = "Are you sure you want to quit?";

bool Shown(QWidget& window, const char* name) { return !Control<QWidget>(window, name)->isHidden(); }

void Click(QWidget& window, const char* name) {
  auto* button = Control<QPushButton>(window, name);
  QVERIFY2(button != nullptr && !button->isHidden(), name);
  button->click();
}

}  // namespace

class WizardPanelsTest : public QObject {
  Q_OBJECT

 private slots:
  void newsletterAndEmailChecksStopNext();
  void wholeRoadAndStartAgainLinksTransactions();
  void exitOpensFolderAndClosesWithoutQuestion();
  void closingAsksTheRightQuestion_data();
  void closingAsksTheRightQuestion();
  void headerLinksOpenHelpSupportAndAbout();
  void escapedExceptionIsLoggedAndProgramGoesOn();
  void lowMemoryExceptionAdvisesFewerTypes();
};

void WizardPanelsTest::newsletterAndEmailChecksStopNext() {
  WizardHarness h;
  h.StartService();
  platform::SettingsStore().WriteString("FirstName", "Ann");
  auto window = h.Start();
  const std::string id = window->TransactionID();
  QCOMPARE(Control<QLineEdit>(*window, "df_FirstName")->text(), QStringLiteral("Ann"));
  h.prompt.boxes.clear();

  auto* news = Control<QCheckBox>(*window, "cx_News");
  news->setChecked(true);
  Click(*window, "pb_Setup");
  QCOMPARE(h.BoxTexts(), (std::vector<std::string>{online::NewsletterCheckText(online::NewsletterCheck::MissingDetails)}));
  QVERIFY(Shown(*window, "pnl_Registration"));

  news->setChecked(false);
  Control<QLineEdit>(*window, "df_EmailAddress")->setText(QStringLiteral(" ann@example.com"));
  Click(*window, "pb_Setup");
  QCOMPARE(h.BoxTexts().back(), online::NewsletterCheckText(online::NewsletterCheck::InvalidEmail));
  QVERIFY(Shown(*window, "pnl_Registration"));
  QCOMPARE(Control<QLineEdit>(*window, "df_EmailAddress")->selectedText(), QStringLiteral(" ann@example.com"));
  QVERIFY(h.Rows("SELECT id FROM registrations").empty());

  Control<QLineEdit>(*window, "df_LastName")->setText(QStringLiteral("Lee"));
  Control<QLineEdit>(*window, "df_EmailAddress")->setText(QStringLiteral("ann@example.com"));
  news->setChecked(true);
  Click(*window, "pb_Setup");
  QCOMPARE(h.BoxTexts().size(), std::size_t{2});
  QVERIFY(Shown(*window, "pnl_Setup"));
  QVERIFY(!Shown(*window, "pnl_Registration"));
  QVERIFY(Shown(*window, "pb_Analyse"));
  QVERIFY(!news->isChecked());
  QCOMPARE(h.Rows("SELECT firstname, lastname, email, news FROM registrations WHERE trans = '" + id + "'"),
           (std::vector<std::vector<std::string>>{{"Ann", "Lee", "ann@example.com", "1"}}));
  platform::SettingsStore store;
  QCOMPARE(store.ReadString("LastName").value_or(""), std::string("Lee"));
  QCOMPARE(store.ReadString("Email").value_or(""), std::string("ann@example.com"));

  std::vector<std::vector<std::string>> tail;
  for (const auto& row : h.Logs(id)) {
    if (row[0] != "1" && row[0] != "5" && row[0] != "7" && row[0] != "20" && row[0] != "35") tail.push_back(row);
  }
  const std::vector<std::vector<std::string>> expected = {
      {"6", "News Checkbutton clicked to: 0"},        {"6", "Referer Noted as:<br>"},
      {"8", "Show News: 1"},                          {"6", "News Checkbutton clicked to: 1"},
      {"8", "Showed newsletter checkbox warning."},   {"6", "News Checkbutton clicked to: 0"},
      {"9", "Showed email invalid warning."},         {"6", "News Checkbutton clicked to: 1"},
      {"10", "Registration Complete."},               {"6", "Referer Noted as:<br>"},
      {"6", "News Checkbutton clicked to: 0"}};
  QCOMPARE(tail, expected);
  window->State().Cancelled = true;
}

void WizardPanelsTest::wholeRoadAndStartAgainLinksTransactions() {
  WizardHarness h;
  h.StartService();
  h.AttachSmallCard('E');
  auto window = h.Start();
  const std::string oldID = window->TransactionID();

  Click(*window, "pb_Setup");
  QVERIFY(Shown(*window, "pnl_Setup"));
  QVERIFY(testsupport::SelectDrive(*window, 'E'));
  QVERIFY(Shown(*window, "pb_BackBlank"));
  Click(*window, "pb_Analyse");
  QVERIFY(Shown(*window, "pnl_Analysis"));
  QVERIFY(Shown(*window, "pb_SetupBack") && Shown(*window, "pb_ToRecovery"));
  QVERIFY(!Shown(*window, "pb_BackBlank"));
  Click(*window, "pb_SetupBack");
  QVERIFY(Shown(*window, "pnl_Setup") && !Shown(*window, "pnl_Analysis"));
  QVERIFY(Shown(*window, "pb_BackBlank"));
  Click(*window, "pb_Analyse");
  Click(*window, "pb_ToRecovery");
  QVERIFY(Shown(*window, "pnl_Recovery") && !Shown(*window, "pb_Analyse"));
  Click(*window, "pb_Feedback");
  QVERIFY(Shown(*window, "pnl_Feedback"));
  QVERIFY(Shown(*window, "pb_SaveExit") && Shown(*window, "pb_StartAgain"));
  for (const char* panel : {"pnl_Registration", "pnl_Setup", "pnl_Analysis", "pnl_Recovery"}) {
    QVERIFY2(!Shown(*window, panel), panel);
  }

  Control<QCheckBox>(*window, "cx_OpenRecovered")->setChecked(false);
  Click(*window, "pb_StartAgain");
  const std::string newID = window->TransactionID();
  QVERIFY(newID != oldID && !newID.empty());
  QVERIFY(Shown(*window, "pnl_Setup") && !Shown(*window, "pnl_Feedback"));
  QVERIFY(h.explored.empty());
  QCOMPARE(h.Logs(oldID).back(), (std::vector<std::string>{"155", "Starting new Transaction: " + newID}));
  const auto newLogs = h.Logs(newID);
  const std::vector<std::string> link = {"155", "Transaction linked to Transaction: " + oldID};
  QVERIFY(std::find(newLogs.begin(), newLogs.end(), link) != newLogs.end());
  const std::vector<std::string> registered = {"10", "Registration Complete."};
  QVERIFY(std::find(newLogs.begin(), newLogs.end(), registered) != newLogs.end());
  QCOMPARE(h.Rows("SELECT COUNT(*) FROM registrations WHERE trans = '" + newID + "'")[0][0], std::string("1"));
  window->State().Cancelled = true;
}

void WizardPanelsTest::exitOpensFolderAndClosesWithoutQuestion() {
  WizardHarness h;
  h.StartService();
  h.AttachSmallCard('E');
  auto window = h.Start();
  window->State().OutputFolder = "C:\\Recovered";
  Click(*window, "pb_Setup");
  QVERIFY(testsupport::SelectDrive(*window, 'E'));
  for (const char* button : {"pb_Analyse", "pb_ToRecovery", "pb_Feedback"}) Click(*window, button);
  h.prompt.boxes.clear();
  window->show();
  Click(*window, "pb_SaveExit");
  QVERIFY(!window->isVisible());
  QVERIFY(h.prompt.boxes.empty());
  QCOMPARE(h.explored, (std::vector<std::string>{"C:\\Recovered"}));
}

void WizardPanelsTest::closingAsksTheRightQuestion_data() {
  QTest::addColumn<int>("state");  // 0 plain, 1 outstanding recovery, 2 after Exit, 3 scan being stopped
  QTest::addColumn<bool>("yes");
  QTest::addColumn<QString>("question");
  QTest::addColumn<bool>("closes");
  QTest::addColumn<QString>("logLine");
  QTest::newRow("plain, No keeps") << 0 << false << QString::fromStdString(kQuit) << false << QString();
  QTest::newRow("plain, Yes closes") << 0 << true << QString::fromStdString(kQuit) << true
                                     << QStringLiteral("Closing Application.");
  QTest::newRow("outstanding, No keeps") << 1 << false << QString::fromStdString(kOutstanding) << false
                                         << QStringLiteral("Tried to quit before saving. Result: 0");
  QTest::newRow("outstanding, Yes closes") << 1 << true << QString::fromStdString(kOutstanding) << true
                                           << QStringLiteral("Closing Application.");
  QTest::newRow("cancelled, no question") << 2 << false << QString() << true << QStringLiteral("Closing Application.");
  QTest::newRow("cancelling, refused") << 3 << true << QString() << false << QString();
}

void WizardPanelsTest::closingAsksTheRightQuestion() {
  QFETCH(int, state);
  QFETCH(bool, yes);
  QFETCH(QString, question);
  QFETCH(bool, closes);
  QFETCH(QString, logLine);
  WizardHarness h;
  h.StartService();
  auto window = h.Start();
  const std::string id = window->TransactionID();
  window->State().UnsavedRecovery = state == 1;
  window->State().Cancelled = state == 2;
  window->State().Cancelling = state == 3;
  h.prompt.boxes.clear();
  h.prompt.answer = [yes](const auto&) { return yes ? util::PromptAnswer::Yes : util::PromptAnswer::No; };
  window->show();

  QCOMPARE(window->close(), closes);
  QCOMPARE(window->isVisible(), !closes);
  QCOMPARE(h.BoxTexts(), question.isEmpty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{question.toStdString()});
  if (state == 1) {
    const auto logs = h.Logs(id);
    const std::vector<std::string> quitLine = {"150", std::string("Tried to quit before saving. Result: ") +
                                                          (yes ? "1" : "0")};
    QVERIFY(std::find(logs.begin(), logs.end(), quitLine) != logs.end());
  }
  if (!logLine.isEmpty()) QCOMPARE(h.Logs(id).back()[1], logLine.toStdString());
  if (logLine.isEmpty()) QVERIFY(h.Logs(id).back()[1] != "Closing Application.");
  window->State().Cancelled = true;
  window->State().Cancelling = false;
}

namespace {

// An object whose event handler fails the way a handler of the program might.
class Thrower : public QObject {
 public:
  bool lowMemory = false;
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    if (lowMemory) throw std::bad_alloc();
    throw std::runtime_error("Invalid pointer operation\r\nin the tree");
  }
};

}  // namespace

void WizardPanelsTest::headerLinksOpenHelpSupportAndAbout() {
  WizardHarness h;
  h.StartService();
  auto window = h.Start();
  const std::string id = window->TransactionID();
  QStringList pages;
  // The browser window loads its page a second after it is shown; it is closed once the page is there.
  h.driver.actions[QStringLiteral("frm_WebBrowser")] = [&pages](QDialog& dialog) {
    auto* view = dialog.findChild<widgets::TPageView*>();
    QTRY_VERIFY_WITH_TIMEOUT(!view->toPlainText().isEmpty(), 5000);
    pages << view->toPlainText();
    dialog.accept();
  };
  h.driver.actions[QStringLiteral("frm_About")] = [](QDialog& dialog) {
    QTest::mouseClick(dialog.findChild<QLabel*>(QStringLiteral("lbl_WebAddress")), Qt::LeftButton);
    dialog.findChild<QPushButton*>(QStringLiteral("pb_Ok"))->click();
  };
  for (const char* link : {"lbl_Help", "lbl_Support", "lbl_About"}) {
    QTest::mouseClick(Control<QLabel>(*window, link), Qt::LeftButton);
  }
  QCOMPARE(pages.size(), 2);
  QVERIFY(pages[0].startsWith(QStringLiteral("Trellmond help")));
  QVERIFY(pages[1].startsWith(QStringLiteral("Trellmond support")));
  QCOMPARE(h.browsed, (std::vector<std::string>{window->Addresses().BaseURL}));
  const auto logs = h.Logs(id);
  const std::vector<std::vector<std::string>> browser(logs.end() - 4, logs.end());
  QCOMPARE(browser, (std::vector<std::vector<std::string>>{
                        {"82", "Internal WebBrowser requested: " + window->Addresses().HelpURL},
                        {"83", "Internal WebBrowser closed."},
                        {"82", "Internal WebBrowser requested: " + window->Addresses().SupportURL},
                        {"83", "Internal WebBrowser closed."}}));
  window->State().Cancelled = true;
}

void WizardPanelsTest::escapedExceptionIsLoggedAndProgramGoesOn() {
  WizardHarness h;
  h.StartService();
  auto window = h.Start();
  h.prompt.boxes.clear();
  Thrower thrower;
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  const auto logs = h.Logs(window->TransactionID());
  QCOMPARE(logs.back()[0], std::string("-99"));
  QVERIFY(logs.back()[1].starts_with("Invalid pointer operation<BR>in the tree<BR><BR>"));
  QVERIFY(h.prompt.boxes.empty());  // the facility's own error dialog is not shown
  QVERIFY(Shown(*window, "pnl_Registration"));
  window->State().Cancelled = true;
}

void WizardPanelsTest::lowMemoryExceptionAdvisesFewerTypes() {
  WizardHarness h;
  h.StartService();
  auto window = h.Start();
  h.prompt.boxes.clear();
  Thrower thrower;
  thrower.lowMemory = true;
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  QCOMPARE(h.BoxTexts(), (std::vector<std::string>{wizard::LowMemoryText()}));
  QVERIFY(h.Logs(window->TransactionID()).back()[1].starts_with("System Error. Code: 14.<BR>"));
  window->State().Cancelled = true;
}

int main(int argc, char** argv) {
  // The program's own application object, so exceptions reach the facility as they do in the program.
  wizard::TrellmondApplication app(argc, argv);
  WizardPanelsTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "WizardPanelsTest.moc"
