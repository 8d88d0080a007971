// The wizard as a person meets it on a camera card with lost and kept photos:
// Start Again after a stopped scan, the side column keeping its places while a
// scan runs, carved copies of files the user already has marked and left
// unticked, and thumbnails for every picture type the desktop decodes.

#include "tests/support/FatImage.h"
#include "tests/wizard/WizardHarness.h"
#include "wizard/FileTypesTable.h"
#include "wizard/FolderTree.h"
#include "wizard/ImagePreview.h"
#include "wizard/ResultTreeStore.h"
#include "wizard/ResultTrees.h"
#include "wizard/TreeImages.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

using testsupport::Control;
using testsupport::WizardHarness;
namespace fs = std::filesystem;

namespace {

std::string Sample(const std::string& name) {
  return testsupport::ReadFileBytes(fs::path(TRELLMOND_SOURCE) / "tests" / "data" / "samples" / name);
}

// Three lost files and two kept ones, as a camera and a laptop leave a card.
fs::path MakeCard(WizardHarness& h, const fs::path& out) {
  testsupport::FatImage card(h.dir / "camera.img", {.fatBits = 32, .label = "CAMERA"});
  card.MakeDir("/DCIM");
  card.MakeDir("/DCIM/100CANON");
  card.MakeDir("/Docs");
  card.AddFile("/DCIM/100CANON/IMG_0001.jpg", Sample("sample.jpg"));
  card.AddFile("/DCIM/100CANON/IMG_0002.jpg", Sample("sample.exif.jpg"));
  card.AddFile("/DCIM/100CANON/IMG_0003.png", Sample("sample.png"));
  card.AddFile("/DCIM/100CANON/IMG_0004.gif", Sample("sample.gif"));
  card.AddFile("/Docs/plan.pdf", Sample("sample.pdf"));
  card.Delete("/DCIM/100CANON/IMG_0001.jpg");
  card.Delete("/DCIM/100CANON/IMG_0003.png");
  card.Delete("/Docs/plan.pdf");
  h.SetDrives("E=" + card.Path().string() + ";F=" + out.string());
  return card.Path();
}

// Runs `step` at every turn of the event loop while a scan runs (the scanners let the window
// process its messages), until it returns true.
void WhileScanning(wizard::Tfrm_Main& window, std::function<bool()> step) {
  auto* timer = new QTimer(&window);
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
    if (step()) timer->deleteLater();
  });
  timer->start();
}

// On the Recovery panel: the folder chosen in the tree as a click would, then "Recover >>".
void SaveTo(wizard::Tfrm_Main& window, const QString& path) {
  auto* tree = Control<wizard::TFolderTree>(window, "ShellTree");
  QVERIFY2(tree->SelectPath(path), qPrintable(path));
  emit tree->pathChosen();
  Control<QPushButton>(window, "pb_Feedback")->click();
}

// The side column's rows and the bottom buttons, in window coordinates.
std::map<QString, QRect> Places(wizard::Tfrm_Main& window) {
  std::map<QString, QRect> places;
  auto* status = Control<QWidget>(window, "pnl_Status");
  // The captions in their order (a caption's text may change: "Progress:" becomes "Status:").
  int caption = 0;
  for (QLabel* label : status->findChildren<QLabel*>()) {
    if (!label->objectName().isEmpty() || label->isHidden() || label->text().isEmpty()) continue;
    places[QStringLiteral("caption %1 (%2)").arg(caption++).arg(label->text())] =
        QRect(label->mapTo(&window, QPoint(0, 0)), label->size());
  }
  for (const char* name : {"lbl_Progress", "lbl_Drive", "lbl_FilesFound", "lbl_ResultSelected", "lbl_ResultRequired",
                           "lbl_ResultAvailable", "pnl_FileTypes", "pnl_SaveDrives", "pb_Quit", "pb_SetupBack",
                           "pb_ToRecovery"}) {
    auto* widget = Control<QWidget>(window, name);
    places[QString::fromLatin1(name)] = QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
  }
  return places;
}

// The places that differ, for the failure message.
QString Moved(const std::map<QString, QRect>& from, const std::map<QString, QRect>& to) {
  QStringList moved;
  for (const auto& [name, rect] : from) {
    const auto other = to.find(name);
    if (other == to.end()) {
      moved << name + QStringLiteral(" gone");
    } else if (other->second != rect) {
      moved << QStringLiteral("%1 %2,%3 %4x%5 -> %6,%7 %8x%9")
                   .arg(name)
                   .arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height())
                   .arg(other->second.x()).arg(other->second.y())
                   .arg(other->second.width()).arg(other->second.height());
    }
  }
  for (const auto& [name, rect] : to) {
    if (from.count(name) == 0) moved << name + QStringLiteral(" new");
  }
  return moved.join(QStringLiteral("; "));
}

}  // namespace

class ScanRoadTest : public QObject {
  Q_OBJECT

 private slots:
  void startAgainAfterAStoppedScanReturnsToSetup();
  void sideColumnKeepsItsPlacesWhileScanning();
  void carvedCopiesOfKnownFilesAreMarkedAndLeftUnticked();
  void everyDecodablePictureGetsAThumbnail();
};

void ScanRoadTest::startAgainAfterAStoppedScanReturnsToSetup() {
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out";
  fs::create_directories(out);
  MakeCard(h, out);
  auto window = testsupport::Analyse(h, 'E', [](wizard::Tfrm_Main& w) {
    // Stop once the first file is in the trees.
    WhileScanning(w, [&w] {
      if (w.GetFileCount() == 0) return false;
      Control<QPushButton>(w, "pb_Stop")->click();
      return true;
    });
  });
  QVERIFY(window->State().Cancelled);
  QVERIFY(window->GetFileCount() > 0);
  const std::string oldID = window->TransactionID();
  Control<QPushButton>(*window, "pb_ToRecovery")->click();
  SaveTo(*window, QStringLiteral("F:\\"));
  QVERIFY(!Control<QWidget>(*window, "pnl_Feedback")->isHidden());
  QSignalSpy ended(window.get(), &wizard::Tfrm_Main::terminateRequested);
  Control<QCheckBox>(*window, "cx_OpenRecovered")->setChecked(false);
  Control<QPushButton>(*window, "pb_StartAgain")->click();
  QCOMPARE(ended.count(), 0);
  QVERIFY(!window->EndRequested());
  QVERIFY(!Control<QWidget>(*window, "pnl_Setup")->isHidden());
  QVERIFY(window->TransactionID() != oldID);
  window->State().Cancelled = true;
}

void ScanRoadTest::sideColumnKeepsItsPlacesWhileScanning() {
  for (const QSize size : {QSize(1024, 768), QSize(1280, 900)}) {
    WizardHarness h;
    h.StartService();
    const fs::path out = h.dir / "out";
    fs::create_directories(out);
    MakeCard(h, out);
    std::vector<std::map<QString, QRect>> during;
    QString pace;
    auto window = testsupport::Analyse(h, 'E', [&](wizard::Tfrm_Main& w) {
      w.setWindowState(Qt::WindowNoState);
      w.resize(size);
      w.show();
    });
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const auto before = Places(*window);
    Control<QPushButton>(*window, "pb_SetupBack")->click();
    WhileScanning(*window, [&] {
      if (Control<QPushButton>(*window, "pb_Stop")->isHidden()) return false;
      during.push_back(Places(*window));
      const QString format = Control<QProgressBar>(*window, "Progress")->format();
      if (format.contains(QStringLiteral("MB/s"))) pace = format;
      return false;
    });
    Control<QPushButton>(*window, "pb_Analyse")->click();
    const auto after = Places(*window);
    QVERIFY(!during.empty());
    QVERIFY2(after == before, qPrintable(Moved(before, after)));
    for (const auto& places : during) QVERIFY2(places == before, qPrintable(Moved(before, places)));
    // Rows stand one below the other, none squashed onto the next.
    std::vector<QRect> rows;
    for (const auto& [name, rect] : before) {
      if (name.startsWith(QStringLiteral("caption"))) rows.push_back(rect);
    }
    std::sort(rows.begin(), rows.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    for (std::size_t i = 1; i < rows.size(); ++i) QVERIFY(rows[i].top() > rows[i - 1].bottom());
    // The Low Level Scan's pace, as the command line shows it.
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+%  \\d+\\.\\d MB/s")).match(pace).hasMatch(), qPrintable(pace));
    window->State().Cancelled = true;
  }
}

void ScanRoadTest::carvedCopiesOfKnownFilesAreMarkedAndLeftUnticked() {
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out";
  fs::create_directories(out);
  MakeCard(h, out);
  auto window = testsupport::Analyse(h, 'E');
  wizard::ResultTreeStore& store = window->Trees()->Store();
  const wizard::TreeNode* low = store.FindDirectoryNode(wizard::TreeKind::Path, "LowScan\\");
  QVERIFY(low != nullptr && !low->Children.empty());
  std::map<std::string, int> notes;
  for (const wizard::TreeNode* file : low->Children) {
    const std::string note(file->Data.Note);
    ++notes[note];
    // Marked files are unticked in every view; the others stay ticked.
    const Qt::CheckState expected = note.empty() ? Qt::Checked : Qt::Unchecked;
    for (const wizard::TreeNode* node : {file, static_cast<const wizard::TreeNode*>(file->Data.TypeNode),
                                         static_cast<const wizard::TreeNode*>(file->Data.SizeNode)}) {
      QCOMPARE(node->State, expected);
    }
  }
  // The two deleted pictures and the document, then the two kept pictures.
  QCOMPARE(notes["also found by the Undelete scan"], 3);
  QCOMPARE(notes["still on the drive"], 2);
  QCOMPARE(notes[""], 0);
  QCOMPARE(low->State, Qt::Unchecked);
  // Each lost file once, under its own name.
  QCOMPARE(window->SelectedFiles(), std::int64_t{3});
  auto* table = Control<wizard::TFileTypesTable>(*window, "tbl_FileTypes");
  const int jpg = table->GetFileTypeRow("JPG");
  QVERIFY(jpg >= 0);
  QCOMPARE(table->Cell(jpg, 2), std::string("1"));

  // Through the Recovery panel: the three files under their names, nothing else.
  Control<QPushButton>(*window, "pb_ToRecovery")->click();
  SaveTo(*window, QStringLiteral("F:\\"));
  std::vector<std::string> saved;
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    if (entry.is_regular_file()) saved.push_back(fs::relative(entry.path(), out).string());
  }
  std::sort(saved.begin(), saved.end());
  std::string names;
  for (const std::string& name : saved) names += name + " ";
  const std::vector<std::string> lost = {"DCIM/100CANON/xMG_0001.jpg", "DCIM/100CANON/xMG_0003.png", "Docs/xlan.pdf"};
  QVERIFY2(saved == lost, names.c_str());
  window->State().Cancelled = true;
}

void ScanRoadTest::everyDecodablePictureGetsAThumbnail() {
  WizardHarness h;
  h.StartService();
  const fs::path out = h.dir / "out";
  fs::create_directories(out);
  testsupport::FatImage card(h.dir / "pictures.img", {.fatBits = 32, .label = "PICTURES"});
  card.MakeDir("/DCIM");
  const std::vector<std::string> types = {"png", "tif", "webp", "cr2", "orf", "rw2", "raf", "jpg"};
  for (const std::string& type : types) card.AddFile("/DCIM/photo." + type, Sample("sample." + type));
  for (const std::string& type : types) card.Delete("/DCIM/photo." + type);
  h.SetDrives("E=" + card.Path().string() + ";F=" + out.string());
  auto window = testsupport::Analyse(h, 'E');
  wizard::ResultTreeStore& store = window->Trees()->Store();
  const wizard::TreeNode* folder = store.FindDirectoryNode(wizard::TreeKind::Path, "Undelete\\DCIM\\");
  QVERIFY(folder != nullptr);
  QCOMPARE(folder->Children.size(), types.size());
  for (const wizard::TreeNode* file : folder->Children) {
    QVERIFY2(file->Data.ImageIndex >= wizard::kFixedIconCount, file->Data.Name.data());
    QVERIFY(file->Data.Thumbnail != nullptr);
  }
  // The Low Level Scan's PNG, carved with its picture kept, is shown too.
  const wizard::TreeNode* low = store.FindDirectoryNode(wizard::TreeKind::Path, "LowScan\\");
  QVERIFY(low != nullptr);
  bool carvedPng = false;
  for (const wizard::TreeNode* file : low->Children) {
    if (file->Data.Extension != "png") continue;
    carvedPng = true;
    QVERIFY(file->Data.ImageIndex >= wizard::kFixedIconCount);
  }
  QVERIFY(carvedPng);
  // A double-click shows the picture large, with the file's details.
  QWidget* details = window->Preview()->ShowDetails(folder->Children.front());
  QVERIFY(details != nullptr);
  QVERIFY(details->findChild<QLabel*>(QStringLiteral("img_Large")) != nullptr);
  details->close();
  window->State().Cancelled = true;
}

QTEST_MAIN(ScanRoadTest)
#include "ScanRoadTest.moc"
