// The scan run through the wizard against the real service on real card
// images: every reported file in the three trees and the file-type table, the
// Low Level passes of a quick and a thorough scan, Stop during the Undelete
// scan, carved files shown while a thorough scan reads and kept by Stop, and
// ticks reaching the scanners' save flags.

#include "tests/support/FatImage.h"
#include "tests/wizard/WizardHarness.h"
#include "wizard/FileTypesTable.h"
#include "wizard/ResultTrees.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

using testsupport::Control;
using testsupport::WizardHarness;

namespace {

std::string Sample(const std::string& name) {
  return testsupport::ReadFileBytes(std::filesystem::path(TRELLMOND_SOURCE) / "tests" / "data" / "samples" / name);
}

// A camera card: photos in DCIM, a document, three of them deleted.
std::filesystem::path MakeCameraCard(WizardHarness& h) {
  testsupport::FatImage card(h.dir / "camera.img", {.fatBits = 32, .label = "CAMERA"});
  card.MakeDir("/DCIM");
  card.MakeDir("/DCIM/100CANON");
  card.MakeDir("/Docs");
  card.AddFile("/DCIM/100CANON/IMG_0001.jpg", Sample("sample.jpg"));
  card.AddFile("/DCIM/100CANON/IMG_0002.jpg", Sample("sample.exif.jpg"));
  card.AddFile("/DCIM/100CANON/IMG_0003.png", Sample("sample.png"));
  card.AddFile("/Docs/plan.pdf", Sample("sample.pdf"));
  card.Delete("/DCIM/100CANON/IMG_0001.jpg");
  card.Delete("/DCIM/100CANON/IMG_0003.png");
  card.Delete("/Docs/plan.pdf");
  h.SetDrives("E=" + card.Path().string());
  return card.Path();
}

std::unique_ptr<wizard::Tfrm_Main> Analyse(WizardHarness& h, const std::function<void(wizard::Tfrm_Main&)>& before = {}) {
  return testsupport::Analyse(h, 'E', before);
}

std::vector<std::string> Messages(WizardHarness& h, const std::string& id, const std::string& action) {
  std::vector<std::string> out;
  for (const auto& row : h.Logs(id)) {
    if (row[0] == action) out.push_back(row[1]);
  }
  return out;
}

// The wizard's own pass lines among the scanners' lines of the same action.
std::vector<std::string> Passes(WizardHarness& h, const std::string& id, const std::string& action = "45",
                                const std::string& prefix = "Performing LowScan with: ") {
  std::vector<std::string> out;
  for (const auto& m : Messages(h, id, action)) {
    if (m.rfind(prefix, 0) == 0) out.push_back(m);
  }
  return out;
}

std::vector<std::string> UndeleteRuns(WizardHarness& h, const std::string& id) {
  return Passes(h, id, "46", "Performing FATScan with: ");
}

std::vector<std::vector<std::string>> Statistics(WizardHarness& h, const std::string& id) {
  return h.Rows("SELECT scantype, number, cancelled FROM statistics WHERE trans = '" + id + "' ORDER BY id");
}

}  // namespace

class AnalysisPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void scanRunFillsTreesTableAndLog();
  void lowLevelPassesFollowConflictKeys_data();
  void lowLevelPassesFollowConflictKeys();
  void stopDuringUndeleteSkipsLowLevelScan();
  void thoroughScanShowsCarvedFilesAndStopKeepsThem();
  void conflictTest_data();
  void conflictTest();
};

void AnalysisPanelTest::scanRunFillsTreesTableAndLog() {
  WizardHarness h;
  h.StartService();
  MakeCameraCard(h);
  auto window = Analyse(h);
  const std::string id = window->TransactionID();
  QVERIFY(!Control<QWidget>(*window, "pnl_Analysis")->isHidden());
  // Deleted files only, all types: the three deleted files, under their folders.
  const auto undelete = Statistics(h, id);
  QCOMPARE(undelete.at(0), (std::vector<std::string>{"F-Scan", "3", "0"}));
  QCOMPARE(undelete.at(1).at(0), std::string("L-Scan"));
  const int low = std::stoi(undelete.at(1).at(1));
  QCOMPARE(window->GetFileCount(), 3 + low);

  wizard::ResultTrees& trees = *window->Trees();
  QCOMPARE(trees.Store().FileCount(), static_cast<std::size_t>(3 + low));
  const wizard::TreeNode* camera = trees.Store().FindDirectoryNode(wizard::TreeKind::Path, "Undelete\\DCIM\\100CANON\\");
  QVERIFY(camera != nullptr);
  QCOMPARE(camera->Children.size(), std::size_t{2});
  const wizard::TreeNode* docs = trees.Store().FindDirectoryNode(wizard::TreeKind::Path, "undelete\\docs\\");
  QVERIFY(docs != nullptr && docs->Children.size() == 1);
  QCOMPARE(QString::fromUtf8(docs->Children[0]->Data.Extension).toLower(), QStringLiteral("pdf"));
  QVERIFY(trees.Store().FindDirectoryNode(wizard::TreeKind::Type, "PDF\\") != nullptr);
  auto* table = Control<wizard::TFileTypesTable>(*window, "tbl_FileTypes");
  const int pdf = table->GetFileTypeRow("PDF");
  QVERIFY(pdf >= 0);
  QVERIFY(std::stoi(table->Cell(pdf, 1)) >= 1);
  // The deleted plan once: the Low Level Scan's copy of it is left unticked.
  QCOMPARE(table->Cell(pdf, 2), std::string("1"));

  // Select All / None reaches both scanners.
  auto* all = Control<QCheckBox>(*window, "cx_SelectFiles");
  QVERIFY(!all->isHidden() && all->isChecked());
  all->click();
  QCOMPARE(table->Cell(pdf, 2), std::string());
  QVERIFY(!Control<QPushButton>(*window, "pb_ToRecovery")->isEnabled());
  all->click();
  QCOMPARE(table->Cell(pdf, 2), table->Cell(pdf, 1));

  const auto drive = Messages(h, id, "30");
  QCOMPARE(drive.size(), std::size_t{1});
  QVERIFY2(drive[0].rfind("Drive Selected: <br> E:<br>  Size:[", 0) == 0, drive[0].c_str());
  QVERIFY(drive[0].find("<br>  Type: FAT32<br>  Serial: 1234ABCD<br>  Volume: CAMERA") != std::string::npos);
  QCOMPARE(UndeleteRuns(h, id), std::vector<std::string>{"Performing FATScan with: <BR>Show Images: 1"});
  QCOMPARE(Passes(h, id).size(), std::size_t{1});  // a quick scan: one pass
  const auto done = Messages(h, id, "50");
  QCOMPARE(done.size(), std::size_t{1});
  QVERIFY(done[0].rfind("All Scans Complete. " + std::to_string(3 + low) + " files found in 0 minute(s) ", 0) == 0);
  window->State().Cancelled = true;
}

void AnalysisPanelTest::lowLevelPassesFollowConflictKeys_data() {
  QTest::addColumn<bool>("quick");
  QTest::addColumn<std::vector<std::string>>("types");
  QTest::addColumn<int>("passes");
  const std::vector<std::string> overlapping = {"0", "", "", "jpg;0;JPG", "tif;0;JPG-TIF", "pdf;2;PDF"};
  QTest::newRow("quick scan, five types") << true
      << std::vector<std::string>{"0", "", "", "jpg;0;JPG", "png;0;PNG", "gif;0;GIF", "pdf;2;PDF", "zip;2;ZIP"} << 1;
  QTest::newRow("thorough, keys inside each other") << false << overlapping << 2;
  QTest::newRow("thorough, separate keys") << false << std::vector<std::string>{"0", "", "", "png;0;PNG", "pdf;2;PDF"}
                                           << 1;
}

void AnalysisPanelTest::lowLevelPassesFollowConflictKeys() {
  QFETCH(bool, quick);
  QFETCH(std::vector<std::string>, types);
  QFETCH(int, passes);
  WizardHarness h;
  h.StartService();
  MakeCameraCard(h);
  auto window = Analyse(h, [&](wizard::Tfrm_Main& w) {
    Control<QCheckBox>(w, "cx_FAT")->setChecked(false);
    if (!quick) Control<QCheckBox>(w, "cx_UseClusterBoundaries")->click();
    w.State().LowSelection = types;
  });
  const std::string id = window->TransactionID();
  const auto lines = Passes(h, id);
  QCOMPARE(static_cast<int>(lines.size()), passes);
  if (passes == 2) {
    // From the last entry back: pdf and tif share no key, jpg's key is inside tif's.
    QCOMPARE(lines, (std::vector<std::string>{"Performing LowScan with: pdf;2;PDF tif;0;JPG-TIF",
                                              "Performing LowScan with: jpg;0;JPG"}));
  }
  QVERIFY(UndeleteRuns(h, id).empty());
  QCOMPARE(Statistics(h, id).size(), std::size_t{1});
  window->State().Cancelled = true;
}

void AnalysisPanelTest::stopDuringUndeleteSkipsLowLevelScan() {
  WizardHarness h;
  h.StartService();
  MakeCameraCard(h);
  auto window = Analyse(h, [](wizard::Tfrm_Main& w) {
    // Pressed as soon as the window processes its messages inside the Undelete scan.
    QTimer::singleShot(0, &w, [&w] { Control<QPushButton>(w, "pb_Stop")->click(); });
  });
  const std::string id = window->TransactionID();
  const auto stats = Statistics(h, id);
  QCOMPARE(stats.size(), std::size_t{1});
  QCOMPARE(stats[0][0], std::string("F-Scan"));
  QCOMPARE(stats[0][2], std::string("1"));
  QVERIFY(Passes(h, id).empty());
  const auto cancelled = Messages(h, id, "60");
  QCOMPARE(cancelled.size(), std::size_t{1});
  QVERIFY(cancelled[0].rfind("Scans Cancelled after 0 minute(s) ", 0) == 0);
  QVERIFY(Control<QPushButton>(*window, "pb_Stop")->isHidden());
  window->State().Cancelled = true;
}

// A thorough scan in two passes on a 32 MiB card: the first carved file reaches
// the trees while the card is still being read, and Stop keeps every file found
// by then, of either pass.
void AnalysisPanelTest::thoroughScanShowsCarvedFilesAndStopKeepsThem() {
  WizardHarness h;
  h.StartService();
  testsupport::FatImage card(h.dir / "big.img", {.fatBits = 16, .sizeKiB = 32768, .label = "CAMERA"});
  card.AddFile("/IMG_0001.jpg", Sample("sample.jpg"));
  card.AddFile("/plan.pdf", Sample("sample.pdf"));
  card.Delete("/IMG_0001.jpg");
  card.Delete("/plan.pdf");
  h.SetDrives("E=" + card.Path().string());
  int progressAtFirstFile = -1, progressEnd = 0;
  QTimer watch;
  auto window = Analyse(h, [&](wizard::Tfrm_Main& w) {
    Control<QCheckBox>(w, "cx_FAT")->setChecked(false);
    Control<QCheckBox>(w, "cx_UseClusterBoundaries")->click();
    w.State().LowSelection = {"0", "", "", "jpg;0;JPG", "tif;0;JPG-TIF", "pdf;2;PDF"};
    // Stop as soon as the trees show a file.
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, &w, [&w, &watch, &progressAtFirstFile, &progressEnd] {
      if (w.Trees()->Store().FileCount() == 0) return;
      watch.stop();
      progressAtFirstFile = Control<QProgressBar>(w, "Progress")->value();
      progressEnd = Control<QProgressBar>(w, "Progress")->maximum();
      Control<QPushButton>(w, "pb_Stop")->click();
    });
    watch.start();
  });
  const std::string id = window->TransactionID();
  QCOMPARE(Passes(h, id).size(), std::size_t{2});
  QVERIFY2(progressAtFirstFile >= 0 && progressAtFirstFile < progressEnd / 2,
           (std::to_string(progressAtFirstFile) + " of " + std::to_string(progressEnd)).c_str());
  wizard::ResultTrees& trees = *window->Trees();
  QVERIFY(trees.Store().FindDirectoryNode(wizard::TreeKind::Type, "JPG\\") != nullptr);
  QVERIFY(trees.Store().FindDirectoryNode(wizard::TreeKind::Type, "PDF\\") != nullptr);
  const auto stats = Statistics(h, id);
  QCOMPARE(stats.size(), std::size_t{1});
  QCOMPARE(stats[0][0], std::string("L-Scan"));
  QCOMPARE(stats[0][2], std::string("1"));
  QCOMPARE(stats[0][1], std::to_string(trees.Store().FileCount()));
  QCOMPARE(window->GetFileCount(), static_cast<int>(trees.Store().FileCount()));
  window->State().Cancelled = true;
}

void AnalysisPanelTest::conflictTest_data() {
  QTest::addColumn<std::vector<std::string>>("list");
  QTest::addColumn<QString>("marker");
  QTest::addColumn<bool>("conflict");
  const std::vector<std::string> list = {"jpg;0;JPG", "doc;2;", "avi;1;RIFF-AVI"};
  QTest::newRow("empty marker") << list << "" << false;
  QTest::newRow("marker inside a key") << list << "RIFF" << true;
  QTest::newRow("key inside the marker") << list << "JPG-TIF" << true;
  QTest::newRow("case matters") << list << "jpg" << false;
  QTest::newRow("no overlap") << list << "PNG" << false;
}

void AnalysisPanelTest::conflictTest() {
  QFETCH(std::vector<std::string>, list);
  QFETCH(QString, marker);
  QFETCH(bool, conflict);
  QCOMPARE(wizard::Tfrm_Main::ConflictExists(list, marker.toStdString()), conflict);
}

QTEST_MAIN(AnalysisPanelTest)
#include "AnalysisPanelTest.moc"
