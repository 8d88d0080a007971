// The small widgets and dialogs on their own: layout helpers, the check list
// menu, the flashing label, the loading notice, the size warning, the proxy
// dialog with its settings.

#include "online/Requests.h"
#include "tests/online/ScriptedPrompt.h"
#include "tests/support/TempDir.h"
#include "widgets/CommonDraw.h"
#include "widgets/GuiHelpers.h"
#include "widgets/MekCheckListBox.h"
#include "widgets/MekFlashingLabel.h"
#include "widgets/ModalResults.h"
#include "widgets/frm_Loading.h"
#include "widgets/frm_Proxy.h"
#include "widgets/frm_SizeWarning.h"

#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>

namespace {

QString LabelText(QWidget& dialog, const char* name) {
  return dialog.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

bool LabelShown(QWidget& dialog, const char* name) {
  return !dialog.findChild<QLabel*>(QString::fromLatin1(name))->isHidden();
}

}  // namespace

class WidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void redistributeSpreadsVisibleChildren();
  void centraliseLeavesEdgeAlignedChildren();
  void checkListMenuTicksEveryItem();
  void flashingLabelBlinksAndEndsVisible();
  void loadingNoticeRunsItsStepOnceShown();
  void sizeWarningFillsItsLabels();
  void proxyPortsAreStoredAsNumbers_data();
  void proxyPortsAreStoredAsNumbers();
  void proxyFirstStartAndUntickedBox();
  void proxyTestWithoutDigitsFails();
  void twoColumnItemWithoutSeparator();
};

void WidgetsTest::redistributeSpreadsVisibleChildren() {
  QWidget panel;
  panel.resize(400, 30);
  std::vector<QPushButton*> buttons;
  for (int i = 0; i < 4; ++i) {
    buttons.push_back(new QPushButton(&panel));
    buttons.back()->setFixedWidth(75);
  }
  buttons[2]->hide();
  widgets::RedistributeChildren(panel);
  QCOMPARE(buttons[0]->x(), 35);
  QCOMPARE(buttons[1]->x(), 145);
  QCOMPARE(buttons[3]->x(), 255);
}

void WidgetsTest::centraliseLeavesEdgeAlignedChildren() {
  QWidget panel;
  panel.resize(767, 464);
  auto* fixed = new QWidget(&panel);
  fixed->setGeometry(0, 0, 601, 422);
  auto* filling = new QWidget(&panel);
  filling->setGeometry(0, 0, 767, 464);
  widgets::SetAlignedToEdge(*filling, true);
  widgets::CentraliseChildren(panel);
  QCOMPARE(fixed->pos(), QPoint(83, 21));
  QCOMPARE(filling->pos(), QPoint(0, 0));
}

void WidgetsTest::checkListMenuTicksEveryItem() {
  widgets::TMekCheckListBox list;
  for (const char* text : {"jpg;JPEG", "png;PNG", "doc;Word"}) list.AddCheckItem(QString::fromLatin1(text));
  const QList<QAction*> actions = list.PopupMenu().actions();
  QCOMPARE(actions.size(), 2);
  QCOMPARE(actions[0]->text(), QStringLiteral("Select All"));
  actions[0]->trigger();
  for (int i = 0; i < list.count(); ++i) QCOMPARE(list.item(i)->checkState(), Qt::Checked);
  QCOMPARE(list.currentRow(), 2);
  list.setCurrentRow(0);
  actions[1]->trigger();
  for (int i = 0; i < list.count(); ++i) QCOMPARE(list.item(i)->checkState(), Qt::Unchecked);
  QCOMPARE(list.currentRow(), 2);
}

void WidgetsTest::flashingLabelBlinksAndEndsVisible() {
  // Counts the label's hide events: ticks 1, 3, ... 11 hide it, the end shows it again.
  struct HideCounter : QObject {
    int hides = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::HideToParent) ++hides;
      return false;
    }
  };
  QWidget parent;
  widgets::TMekFlashingLabel label(&parent);
  HideCounter counter;
  label.installEventFilter(&counter);
  label.SetFlashSpeed(10);
  label.StartFlashing();
  QTest::qWait(25);
  label.StartFlashing();  // a restart counts afresh
  counter.hides = 0;
  QTRY_VERIFY_WITH_TIMEOUT(!label.IsFlashing(), 2000);
  QVERIFY(!label.isHidden());
  QVERIFY2(counter.hides == 6 || counter.hides == 5, "eleven toggles after the restart");

  label.StartFlashing();
  label.StopFlashing();
  QVERIFY(!label.isHidden());
  QVERIFY(!label.IsFlashing());
}

void WidgetsTest::loadingNoticeRunsItsStepOnceShown() {
  widgets::Tfrm_Loading withStep;
  bool shownWhenRun = false;
  withStep.SetMessage(QStringLiteral("Loading..."));
  withStep.SetStep([&] { shownWhenRun = withStep.isVisible(); });
  QCOMPARE(withStep.exec(), widgets::kResultOk);
  QVERIFY(shownWhenRun);

  widgets::Tfrm_Loading notice;
  notice.SetMessage(QStringLiteral("Media has been inserted into drive E:\\"));
  notice.SetTimeLimit(50);
  QElapsedTimer clock;
  clock.start();
  QCOMPARE(notice.exec(), widgets::kResultOk);
  QVERIFY(clock.elapsed() < 900);
  QCOMPARE(notice.Message(), QStringLiteral("Media has been inserted into drive E:\\"));
}

void WidgetsTest::sizeWarningFillsItsLabels() {
  widgets::Tfrm_SizeWarning warning;
  warning.Number = 12;
  warning.Required = 2'000'000;
  warning.Available = 5'000'000;
  warning.FillLabels();
  QCOMPARE(LabelText(warning, "lbl_Number"), QStringLiteral("12"));
  QCOMPARE(LabelText(warning, "lbl_Required"), QStringLiteral("[2 MB]"));
  QCOMPARE(LabelText(warning, "lbl_Shortfall"), QStringLiteral("[3 MB]"));
  QVERIFY(LabelShown(warning, "lbl_NoDrive"));
  for (const char* hidden : {"lbl_MaxDrive", "lbl_MaxDriveFree", "lbl_Max1", "lbl_Max2", "lbl_Max3", "lbl_Available"}) {
    QVERIFY2(!LabelShown(warning, hidden), hidden);
  }
  // GCC 12 at -O3 reports a false -Wrestrict for a short literal assigned to a std::string
  // (GCC bug 105329); only this statement is exempted.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
  warning.MaxDrive = "F";
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic pop
#endif
  warning.MaxDriveFree = 1'500'000'000;
  warning.FillLabels();
  QVERIFY(!LabelShown(warning, "lbl_NoDrive"));
  QCOMPARE(LabelText(warning, "lbl_MaxDrive"), QStringLiteral("F:"));
  QCOMPARE(LabelText(warning, "lbl_MaxDriveFree"), QStringLiteral("[2 GB]"));
}

void WidgetsTest::proxyPortsAreStoredAsNumbers_data() {
  QTest::addColumn<QString>("port");
  QTest::addColumn<int>("stored");
  QTest::addColumn<int>("handed");
  QTest::addColumn<bool>("closeBox");
  QTest::newRow("four digits and a blank") << QStringLiteral("3128 ") << 3128 << 3128 << false;
  QTest::newRow("five digits") << QStringLiteral("12345") << 12345 << 12345 << false;
  QTest::newRow("close box stores like OK") << QStringLiteral("8081") << 8081 << 8081 << true;
  QTest::newRow("no digits") << QString() << 8080 << 0 << false;
}

void WidgetsTest::proxyPortsAreStoredAsNumbers() {
  QFETCH(QString, port);
  QFETCH(int, stored);
  QFETCH(int, handed);
  QFETCH(bool, closeBox);
  testsupport::TempDir dir;
  platform::SettingsStore store((dir / "Trellmond.conf").string());
  testsupport::ScriptedPrompt prompt;
  online::THttpClient client;
  widgets::Tfrm_Proxy dialog(store, prompt);
  dialog.SetHTTP(&client);
  dialog.show();
  dialog.cx_Proxy->setChecked(true);
  dialog.df_Proxy->setText(QStringLiteral("proxy.lan"));
  dialog.df_Port->setText(port);
  if (closeBox) {
    dialog.close();
  } else {
    dialog.pb_Ok->click();
  }
  QCOMPARE(store.ReadInteger("ProxyPort").value_or(-1), stored);
  QCOMPARE(store.ReadBool("ProxyActive").value_or(false), true);
  QCOMPARE(store.ReadString("ProxyName").value_or(""), std::string("proxy.lan"));
  QCOMPARE(dialog.Port(), handed);
  QCOMPARE(dialog.ProxyName(), std::string("proxy.lan"));
}

void WidgetsTest::proxyFirstStartAndUntickedBox() {
  testsupport::TempDir dir;
  platform::SettingsStore store((dir / "Trellmond.conf").string());
  testsupport::ScriptedPrompt prompt;
  online::THttpClient client;
  {
    widgets::Tfrm_Proxy dialog(store, prompt);
    dialog.GetRegistryValues();
    QVERIFY(!dialog.Active());
    QCOMPARE(dialog.Port(), 8080);
    QVERIFY(dialog.ProxyName().empty());
    QVERIFY(!dialog.df_Proxy->isEnabled());
  }
  store.WriteBool("ProxyActive", true);
  store.WriteString("ProxyName", "cache.lan");
  store.WriteInteger("ProxyPort", 3128);
  widgets::Tfrm_Proxy dialog(store, prompt);
  dialog.SetHTTP(&client);
  dialog.show();
  QVERIFY(dialog.cx_Proxy->isChecked());
  QVERIFY(dialog.df_Proxy->isEnabled() && dialog.df_Port->isEnabled());
  dialog.cx_Proxy->setChecked(false);
  QVERIFY(!dialog.df_Proxy->isEnabled());
  dialog.pb_Ok->click();
  QCOMPARE(store.ReadBool("ProxyActive").value_or(true), false);
  QCOMPARE(store.ReadString("ProxyName").value_or(""), std::string("cache.lan"));
  QCOMPARE(store.ReadInteger("ProxyPort").value_or(0), 3128);
  QCOMPARE(dialog.Port(), 0);
  QVERIFY(dialog.ProxyName().empty());
}

void WidgetsTest::proxyTestWithoutDigitsFails() {
  testsupport::TempDir dir;
  platform::SettingsStore store((dir / "Trellmond.conf").string());
  testsupport::ScriptedPrompt prompt;
  online::THttpClient client;
  client.SetProxy("old.lan", 8000);
  widgets::Tfrm_Proxy dialog(store, prompt);
  dialog.SetHTTP(&client);
  dialog.show();
  dialog.cx_Proxy->setChecked(true);
  dialog.df_Port->setText(QString());
  dialog.pb_Try->click();
  QCOMPARE(prompt.boxes.size(), std::size_t{1});
  QCOMPARE(prompt.boxes[0].text, std::string("There still appears to be an issue with the connection."));
  QVERIFY(client.ProxyHost().empty());
  QCOMPARE(client.ProxyPort(), 0);
}

void WidgetsTest::twoColumnItemWithoutSeparator() {
  QImage image(200, 20, QImage::Format_RGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  QPalette palette;
  palette.setColor(QPalette::Base, Qt::white);
  widgets::DrawSimpleTwoColumnItem(painter, image.rect(), QStringLiteral("Whole text"), 25, false, palette);
  painter.end();
  // The second column is filled and holds no text: every pixel from its start is the window colour.
  for (int x = 31; x < 200; ++x) {
    for (int y = 0; y < 20; ++y) QCOMPARE(image.pixelColor(x, y), QColor(Qt::white));
  }
  QVERIFY(image.pixelColor(2, 2) != QColor(Qt::magenta));
}

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
