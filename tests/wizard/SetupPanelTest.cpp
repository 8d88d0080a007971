// The Setup panel against the real service with real card images attached as
// drives: the drive list, the judgement of the selected drive, the Low Level
// Scan recommendation, the file-type choices and their log lines, and cards
// inserted and removed while the wizard runs.

#include "drives/ZubDrvListBox.h"
#include "filetypes/frm_FileTypes.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/Volume.h"
#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/ImageContainers.h"
#include "tests/support/NtfsImage.h"
#include "tests/wizard/WizardHarness.h"
#include "util/SizeText.h"
#include "util/Text.h"
#include "widgets/frm_Loading.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <filesystem>

using testsupport::Control;
using testsupport::WizardHarness;

namespace {

const std::string kRecommend =
    "You have chosen not to perform a Low Scan. \r\nFor smaller drives (< 4GB) we recommend that you use the Low "
    "Scan\r\nas it will maximise the chances of finding your files.\r\n\r\nWould you like to enable it now ?";

// Five cards of the kinds users bring: FAT16, FAT32, NTFS, exFAT (every SDXC card) and one
// never formatted, plus an empty card reader slot (a device with nothing to read).
struct Cards {
  explicit Cards(WizardHarness& h) {
    testsupport::FatImage fat16(h.dir / "fat16.img", {.fatBits = 16, .label = "HOLIDAY"});
    fat16.AddFile("/beach.jpg", std::string(20000, 'b'));
    testsupport::FatImage fat32(h.dir / "fat32.img", {.fatBits = 32, .label = "CAMERA"});
    testsupport::NtfsImage ntfs(h.dir / "ntfs.img", {.sizeMiB = 16, .label = "BACKUP"});
    testsupport::WriteFileBytes(h.dir / "blank.img", std::string(4 << 20, '\0'));
    testsupport::WriteFileBytes(h.dir / "slot.img", "");
    testsupport::RunOrThrow({"truncate", "-s", "32M", (h.dir / "exfat.img").string()});
    testsupport::RunOrThrow({"mkfs.exfat", "-L", "SDXC", (h.dir / "exfat.img").string()});
    h.SetDrives("E=" + (h.dir / "fat16.img").string() + ";F=" + (h.dir / "fat32.img").string() +
                ";G=" + (h.dir / "ntfs.img").string() + ";H=" + (h.dir / "blank.img").string() +
                ";I=" + (h.dir / "slot.img").string() + ";J=" + (h.dir / "exfat.img").string());
  }
};

std::unique_ptr<wizard::Tfrm_Main> OnSetupPanel(WizardHarness& h) {
  auto window = h.Start();
  Control<QPushButton>(*window, "pb_Setup")->click();
  return window;
}

bool GroupEnabled(QWidget& window, const char* name) { return Control<QGroupBox>(window, name)->isEnabled(); }

std::vector<std::string> LogsWithAction(WizardHarness& h, const std::string& id, const std::string& action) {
  std::vector<std::string> messages;
  for (const auto& row : h.Logs(id)) {
    if (row[0] == action) messages.push_back(row[1]);
  }
  return messages;
}

QStringList ListedLetters(QWidget& window, const char* list) {
  QStringList letters;
  auto* drives = Control<drives::TZubDrvListBox>(window, list);
  for (int row = 0; row < drives->count(); ++row) {
    letters << QString::fromStdString(util::GetField(drives->ItemText(row).toStdString(), 3, ';'));
  }
  return letters;
}

}  // namespace

class SetupPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void listShowsEachDriveWithNameSizeAndFree();
  void selectedDriveDecidesScansAndAnalyse_data();
  void selectedDriveDecidesScansAndAnalyse();
  void untickingLowScanOnSmallCardAsks();
  void optionsWriteSelectionsAndSummaries();
  void drivesAvailableLineAndNoDrivesBox();
  void refreshKeepsTheSelectedDrive();
  void attachedImageBecomesNextDrive_data();
  void attachedImageBecomesNextDrive();
  void cardInsertedAndRemovedWhileRunning_data();
  void cardInsertedAndRemovedWhileRunning();
};

void SetupPanelTest::listShowsEachDriveWithNameSizeAndFree() {
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  auto* list = Control<drives::TZubDrvListBox>(*window, "Drives");
  QVERIFY(list->currentRow() == -1 || list->selectedItems().isEmpty());
  struct Expected {
    char letter;
    std::string name;
  };
  for (const Expected& e : {Expected{'E', "HOLIDAY (E:)"}, Expected{'F', "CAMERA (F:)"}, Expected{'G', "BACKUP (G:)"},
                            Expected{'H', "Removable Disk (H:)"}, Expected{'I', "Removable Disk (I:)"},
                            Expected{'J', "SDXC (J:)"}}) {
    int row = ListedLetters(*window, "Drives").indexOf(QString(QChar(e.letter)));
    QVERIFY2(row >= 0, &e.letter);
    const std::string text = list->ItemText(row).toStdString();
    const std::int64_t size = platform::GetDiskSize(static_cast<std::uint8_t>(e.letter - 64));
    const std::int64_t free = platform::GetDiskFree(static_cast<std::uint8_t>(e.letter - 64));
    QCOMPARE(text, e.name + ";" + util::GetSizeDescription(size) + ";" + e.letter + ";" +
                       util::GetSizeDescription(free));
    QCOMPARE(list->item(row)->data(drives::kDriveKindRole).toInt(), 2);
  }
  // The cards as fsck and mkfs made them; the empty slot has nothing to read.
  QVERIFY(platform::GetDiskSize(5) > 10'000'000);
  QCOMPARE(util::GetField(list->ItemText(ListedLetters(*window, "Drives").indexOf("I")).toStdString(), 2, ';'),
           std::string("[no disk]"));
  // The scanned drive and drives without a folder to write into cannot take the files.
  QVERIFY(!ListedLetters(*window, "Drives_Available").contains("E"));
  QVERIFY(ListedLetters(*window, "Drives_Available").contains("C"));

  // A device this user may not read is marked, with the reason as its tip.
  list->MayRead = [](char letter) { return letter != 'F'; };
  list->UpdateDrives();
  const int f = ListedLetters(*window, "Drives").indexOf("F");
  QVERIFY(list->item(f)->data(drives::kUnreadableRole).toBool());
  QVERIFY(list->item(f)->toolTip().contains("Run as Administrator"));
  QVERIFY(!list->item(0)->data(drives::kUnreadableRole).toBool());
  window->State().Cancelled = true;
}

void SetupPanelTest::selectedDriveDecidesScansAndAnalyse_data() {
  QTest::addColumn<char>("letter");
  QTest::addColumn<bool>("undelete");
  QTest::addColumn<bool>("low");
  QTest::addColumn<bool>("analyse");
  QTest::newRow("small FAT16 card") << 'E' << true << true << true;
  QTest::newRow("FAT32 card") << 'F' << true << true << true;
  QTest::newRow("NTFS disk") << 'G' << true << true << true;
  QTest::newRow("never formatted") << 'H' << false << true << true;
  QTest::newRow("exFAT card") << 'J' << true << true << true;
  QTest::newRow("card reader without card") << 'I' << false << false << false;
}

void SetupPanelTest::selectedDriveDecidesScansAndAnalyse() {
  QFETCH(char, letter);
  QFETCH(bool, undelete);
  QFETCH(bool, low);
  QFETCH(bool, analyse);
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  QVERIFY(!Control<QPushButton>(*window, "pb_Analyse")->isEnabled());
  auto* cxLow = Control<QCheckBox>(*window, "cx_Low");
  QVERIFY(testsupport::SelectDrive(*window, letter));
  QCOMPARE(GroupEnabled(*window, "grp_Undelete"), undelete);
  QCOMPARE(GroupEnabled(*window, "grp_LowLevel"), low);
  QCOMPARE(Control<QPushButton>(*window, "pb_Analyse")->isEnabled(), analyse);
  // Every one of these is below 4200 MB: the Low Level Scan is recommended by its tick.
  QVERIFY(cxLow->isChecked());
  QCOMPARE(window->GetDriveSizeMB(), platform::GetDiskSize(static_cast<std::uint8_t>(letter - 64)) / 1000000 < 0
                                         ? 0
                                         : platform::GetDiskSize(static_cast<std::uint8_t>(letter - 64)) / 1000000);
  if (low) {
    QVERIFY(Control<QPushButton>(*window, "pb_LowFileSelection")->isEnabled());
    QVERIFY(Control<QCheckBox>(*window, "cx_UseClusterBoundaries")->isEnabled());
  }
  window->State().Cancelled = true;
}

void SetupPanelTest::untickingLowScanOnSmallCardAsks() {
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  QVERIFY(testsupport::SelectDrive(*window, 'E'));
  auto* cxLow = Control<QCheckBox>(*window, "cx_Low");
  auto* cxFat = Control<QCheckBox>(*window, "cx_FAT");
  auto* analyse = Control<QPushButton>(*window, "pb_Analyse");

  h.prompt.boxes.clear();
  h.prompt.answer = [](const auto&) { return util::PromptAnswer::Yes; };
  cxLow->click();
  QCOMPARE(h.BoxTexts(), std::vector<std::string>{kRecommend});
  QVERIFY(cxLow->isChecked());

  h.prompt.answer = [](const auto&) { return util::PromptAnswer::No; };
  cxLow->click();
  QVERIFY(!cxLow->isChecked());
  QVERIFY(!Control<QPushButton>(*window, "pb_LowFileSelection")->isEnabled());
  QVERIFY(analyse->isEnabled());  // the Undelete scan still has its types
  // Any new look at a small card ticks the Low Level Scan again.
  cxFat->click();
  QVERIFY(cxLow->isChecked() && analyse->isEnabled());
  window->State().Cancelled = true;
}

void SetupPanelTest::optionsWriteSelectionsAndSummaries() {
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  const std::string id = window->TransactionID();
  QVERIFY(testsupport::SelectDrive(*window, 'E'));
  // The first Setup panel: the catalogue's default low-level types, and "all types" for Undelete.
  const auto& low = window->State().LowSelection;
  QVERIFY(low.size() > 3);
  QCOMPARE(low[0], std::string("0"));
  QVERIFY(std::find(low.begin(), low.end(), "jpg;0;JPG") != low.end());
  QCOMPARE(Control<QLabel>(*window, "lbl_FATSearch")->text(), QStringLiteral("ALL file types"));

  // Undelete: only PDF and DOC files, deleted files only.
  h.driver.actions[QStringLiteral("frm_FileTypeSelection")] = [](QDialog& d) {
    d.findChild<QRadioButton*>(QStringLiteral("rb_FindSelected"))->setChecked(true);
    auto* business = d.findChild<QListWidget*>(QStringLiteral("clb_Business"));
    for (int row = 0; row < business->count(); ++row) {
      const QString ext = business->item(row)->text().section(QLatin1Char(';'), 0, 0);
      if (ext == "pdf" || ext == "doc") business->item(row)->setCheckState(Qt::Checked);
    }
    d.findChild<QPushButton*>(QStringLiteral("pb_Save"))->click();
  };
  Control<QPushButton>(*window, "pb_FATFileSelection")->click();
  QCOMPARE(window->State().FATSelection,
           (std::vector<std::string>{"0", "1", "", "doc;2;JPG-OLE", "pdf;2;JPG-PDF"}));
  QCOMPARE(Control<QLabel>(*window, "lbl_FATSearch")->text(), QStringLiteral("doc   pdf"));
  QVERIFY(!Control<QLabel>(*window, "lbl_DeletedOnly")->isHidden());

  // Low Level: every type unticked gives the red summary and a disabled box.
  h.driver.actions[QStringLiteral("frm_FileTypeSelection")] = [](QDialog& d) {
    for (const char* name : {"clb_Image", "clb_Media", "clb_Business"}) {
      auto* list = d.findChild<QListWidget*>(QString::fromLatin1(name));
      for (int row = 0; row < list->count(); ++row) list->item(row)->setCheckState(Qt::Unchecked);
    }
    d.findChild<QPushButton*>(QStringLiteral("pb_Save"))->click();
  };
  h.driver.seen.clear();
  Control<QPushButton>(*window, "pb_LowFileSelection")->click();
  QCOMPARE(window->State().LowSelection, (std::vector<std::string>{"0", "1", ""}));
  QCOMPARE(Control<QLabel>(*window, "lbl_LowSearch")->text(),
           QStringLiteral("No file types selected. Please click on 'Options...'"));
  QVERIFY(!Control<QCheckBox>(*window, "cx_Low")->isEnabled());
  QVERIFY(Control<QPushButton>(*window, "pb_Analyse")->isEnabled());  // the Undelete scan goes on
  Control<QCheckBox>(*window, "cx_FAT")->click();
  QVERIFY(!Control<QPushButton>(*window, "pb_Analyse")->isEnabled());  // nothing left to scan

  const auto typeLines = LogsWithAction(h, id, "35");
  QVERIFY(std::find(typeLines.begin(), typeLines.end(), "FAT - File Types Selected: doc   pdf") != typeLines.end());
  QCOMPARE(typeLines.back(), std::string("Low - File Types Selected: "));
  QVERIFY(typeLines.front().rfind("Low - File Types Selected: bmp", 0) == 0);
  window->State().Cancelled = true;
}

void SetupPanelTest::drivesAvailableLineAndNoDrivesBox() {
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  const auto lines = LogsWithAction(h, window->TransactionID(), "20");
  QCOMPARE(lines.size(), std::size_t{1});
  const std::string& line = lines[0];
  QVERIFY(line.rfind("Drives Available: <br>C:    ", 0) == 0);
  const std::string e = "<br>E:    " + util::GetSizeDescription(platform::GetDiskSize(5)) + "    FAT";
  QVERIFY2(line.find(e + "<br>") != std::string::npos, line.c_str());
  QVERIFY2(line.find("    FAT32<br>") != std::string::npos, line.c_str());
  QVERIFY2(line.find("    NTFS<br>") != std::string::npos, line.c_str());
  QVERIFY2(line.find("<br>I:    [no disk]    ") != std::string::npos, line.c_str());
  QVERIFY2(line.find("    exFAT") != std::string::npos, line.c_str());

  // A list of only empty slots: the advice box.
  auto* list = Control<drives::TZubDrvListBox>(*window, "Drives");
  list->clear();
  h.prompt.boxes.clear();
  QCOMPARE(window->LogAvailableDrives(), 0);
  QCOMPARE(h.prompt.boxes.size(), std::size_t{1});
  QVERIFY(h.prompt.boxes[0].text.rfind("No drives or memory cards are currently attached.", 0) == 0);
  window->State().Cancelled = true;
}

void SetupPanelTest::refreshKeepsTheSelectedDrive() {
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  QVERIFY(testsupport::SelectDrive(*window, 'H'));
  Control<QPushButton>(*window, "pb_Update")->click();
  auto* list = Control<drives::TZubDrvListBox>(*window, "Drives");
  QCOMPARE(drives::LetterOfItemText(list->ItemText(list->currentRow())), 'H');
  QVERIFY(!GroupEnabled(*window, "grp_Undelete") && GroupEnabled(*window, "grp_LowLevel"));
  window->State().Cancelled = true;
}

void SetupPanelTest::attachedImageBecomesNextDrive_data() {
  QTest::addColumn<QString>("form");
  QTest::newRow("raw image") << QStringLiteral("raw");
  QTest::newRow("Expert Witness image") << QStringLiteral("E01");
  QTest::newRow("split raw image") << QStringLiteral("001");
}

void SetupPanelTest::attachedImageBecomesNextDrive() {
  QFETCH(QString, form);
  if (form == QStringLiteral("E01") && !testsupport::ExpertWitnessUnavailable().empty()) QSKIP("no ewfacquire here");
  WizardHarness h;
  h.StartService();
  Cards cards(h);
  auto window = OnSetupPanel(h);
  testsupport::FatImage extra(h.dir / "extra.dd", {.fatBits = 12, .label = "EXTRA"});
  const std::filesystem::path chosen =
      form == QStringLiteral("E01")   ? testsupport::MakeExpertWitness(extra.Path(), h.dir / "extra", 1 << 20)
      : form == QStringLiteral("001") ? testsupport::MakeSplitRaw(extra.Path(), h.dir / "extra", 300000)
                                      : extra.Path();
  window->ChooseImageFile = [&] { return chosen.string(); };
  Control<QPushButton>(*window, "pb_AttachImage")->click();
  auto* list = Control<drives::TZubDrvListBox>(*window, "Drives");
  // The medium the image holds: its label, and its size rather than the file's.
  QCOMPARE(list->ItemText(list->currentRow()).section(QLatin1Char(';'), 0, 0), QStringLiteral("EXTRA (D:)"));
  const auto volume = platform::Volume::Choose('D');
  QVERIFY(volume);
  QCOMPARE(volume->Size(), std::filesystem::file_size(extra.Path()));
  QVERIFY(GroupEnabled(*window, "grp_Undelete"));
  QVERIFY(Control<QPushButton>(*window, "pb_Analyse")->isEnabled());
  window->State().Cancelled = true;
}

void SetupPanelTest::cardInsertedAndRemovedWhileRunning_data() {
  QTest::addColumn<bool>("polling");
  QTest::newRow("device events") << false;
  QTest::newRow("one-second poll") << true;
}

void SetupPanelTest::cardInsertedAndRemovedWhileRunning() {
  QFETCH(bool, polling);
  WizardHarness h;
  if (polling) setenv("TRELLMOND_DEVICE_EVENTS", "poll", 1);
  h.StartService();
  testsupport::FatImage card(h.dir / "card.img", {.fatBits = 16, .label = "LATECARD"});
  const auto slot = h.dir / "slot" / "card.img";
  std::filesystem::create_directories(slot.parent_path());
  h.SetDrives("J=" + slot.string());
  auto window = OnSetupPanel(h);
  QVERIFY(!ListedLetters(*window, "Drives").contains("J"));
  std::vector<QString> notices;
  h.driver.actions[QStringLiteral("frm_Loading")] = [&](QDialog& d) {
    notices.push_back(static_cast<widgets::Tfrm_Loading&>(d).Message());
  };

  std::filesystem::copy_file(card.Path(), slot);
  QTRY_VERIFY_WITH_TIMEOUT(ListedLetters(*window, "Drives").contains("J"), 3000);
  QCOMPARE(notices, std::vector<QString>{QStringLiteral("Media has been inserted into drive J:\\")});
  QVERIFY(ListedLetters(*window, "Drives_Available").contains("C"));

  h.driver.actions[QStringLiteral("frm_Loading")] = [&](QDialog& d) {
    notices.push_back(static_cast<widgets::Tfrm_Loading&>(d).Message());
  };
  std::filesystem::remove(slot);
  QTRY_VERIFY_WITH_TIMEOUT(!ListedLetters(*window, "Drives").contains("J"), 3000);
  QCOMPARE(notices.back(), QStringLiteral("Media has been removed from drive J:\\"));
  window->State().Cancelled = true;
}

QTEST_MAIN(SetupPanelTest)
#include "SetupPanelTest.moc"
