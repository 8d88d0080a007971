// Whole scan runs through the wizard on real FAT16, NTFS and quick-formatted
// card images against the real service: every file in its folder, type group
// and size band of the three trees, the file-type table's counts, folder ticks
// reaching the scanners in all three views, the log and statistics of the run,
// and the preview pop-up on the thumbnail column.

#include "tests/support/Command.h"
#include "tests/support/FatImage.h"
#include "tests/support/NtfsImage.h"
#include "tests/wizard/WizardHarness.h"
#include "util/Text.h"
#include "wizard/FileTypesTable.h"
#include "wizard/ImagePreview.h"
#include "wizard/ResultTrees.h"
#include "wizard/TreeKeys.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <set>

using testsupport::Control;
using testsupport::WizardHarness;
using wizard::TreeKind;
using wizard::TreeNode;

namespace {

std::string Sample(const std::string& name) {
  return testsupport::ReadFileBytes(std::filesystem::path(TRELLMOND_SOURCE) / "tests" / "data" / "samples" / name);
}

// A deleted file the Undelete scan is to find: its folder key in the path tree and its name.
struct Expected {
  std::string folder;
  std::string name;
  std::int64_t size = 0;
};

struct CardImage {
  std::string drives;          // TRELLMOND_DRIVES
  std::vector<Expected> undelete;
  int carvedPhotos = 0;        // JPEGs the Low Level Scan must find whole
  std::int64_t photoBytes = 0; // their total size
};

using ImageMaker = std::function<CardImage(const std::filesystem::path&)>;

CardImage Fat16Card(const std::filesystem::path& dir) {
  testsupport::FatImage card(dir / "fat16.img", {.fatBits = 16, .label = "HOLIDAY"});
  const std::string photo = Sample("sample.exif.jpg"), doc = Sample("sample.doc"), song = Sample("sample.mp3");
  card.MakeDir("/Holiday");
  card.MakeDir("/Holiday/Beach");
  card.MakeDir("/Music");
  card.AddFile("/Holiday/Beach/Sunset at the pier.jpg", photo);
  card.AddFile("/Holiday/Beach/kept.jpg", Sample("sample.jpg"));
  card.AddFile("/Holiday/Packing list.doc", doc);
  card.AddFile("/Music/Song.mp3", song);
  card.Delete("/Holiday/Beach/Sunset at the pier.jpg");
  card.Delete("/Holiday/Packing list.doc");
  card.Delete("/Music/Song.mp3");
  const auto size = [](const std::string& s) { return static_cast<std::int64_t>(s.size()); };
  return {"E=" + card.Path().string(),
          {{"Undelete\\Holiday\\Beach\\", "Sunset at the pier.jpg", size(photo)},
           {"Undelete\\Holiday\\", "Packing list.doc", size(doc)},
           {"Undelete\\Music\\", "Song.mp3", size(song)}},
          0,
          0};
}

CardImage NtfsCard(const std::filesystem::path& dir) {
  testsupport::NtfsImage disk(dir / "ntfs.img", {.sizeMiB = 16, .label = "LAPTOP"});
  const std::string photo = Sample("sample.jpg"), pdf = Sample("sample.pdf");
  disk.AddFile("/Family photo.jpg", photo);
  disk.AddFile("/Tax return.pdf", pdf);
  disk.AddFile("/still here.txt", "not deleted");
  disk.MarkDeleted(disk.RecordNumber("/Family photo.jpg"));
  disk.MarkDeleted(disk.RecordNumber("/Tax return.pdf"));
  const auto size = [](const std::string& s) { return static_cast<std::int64_t>(s.size()); };
  return {"E=" + disk.Path().string(),
          {{"Undelete\\", "Family photo.jpg", size(photo)}, {"Undelete\\", "Tax return.pdf", size(pdf)}},
          0,
          0};
}

// Photos in DCIM, then a quick format: nothing is left to undelete, the carver finds every photo whole.
CardImage FormattedCard(const std::filesystem::path& dir) {
  testsupport::FatImage card(dir / "formatted.img", {.fatBits = 32, .label = "CAMERA"});
  card.MakeDir("/DCIM");
  card.MakeDir("/DCIM/100CANON");
  const std::string photos[] = {Sample("sample.exif.jpg"), Sample("sample.jpg")};
  std::int64_t bytes = 0;
  for (std::size_t i = 0; i < std::size(photos); ++i) {
    card.AddFile("/DCIM/100CANON/IMG_000" + std::to_string(i + 1) + ".JPG", photos[i]);
    bytes += static_cast<std::int64_t>(photos[i].size());
  }
  testsupport::RunOrThrow({"mkfs.fat", "-F", "32", "-n", "NEWCARD", card.Path().string()});
  return {"E=" + card.Path().string(), {}, static_cast<int>(std::size(photos)), bytes};
}

std::vector<TreeNode*> Files(TreeNode& node) {
  std::vector<TreeNode*> out;
  for (TreeNode* child : node.Children) {
    if (child->Data.IsFolder) {
      const auto below = Files(*child);
      out.insert(out.end(), below.begin(), below.end());
    } else {
      out.push_back(child);
    }
  }
  return out;
}

std::string Lower(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower().toStdString(); }

std::unique_ptr<wizard::Tfrm_Main> Analyse(WizardHarness& h, const std::string& drives,
                                           const std::function<void(wizard::Tfrm_Main&)>& before = {}) {
  h.SetDrives(drives);
  return testsupport::Analyse(h, 'E', before);
}

// Rests the mouse on a cell of a tree as the tree's hint event sees it.
void RestOn(QTreeView* view, const QModelIndex& index) {
  view->scrollTo(index);
  const QPoint at = view->visualRect(index).center();
  QHelpEvent hint(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
  QCoreApplication::sendEvent(view->viewport(), &hint);
}

}  // namespace

Q_DECLARE_METATYPE(ImageMaker)

class ScanRunImagesTest : public QObject {
  Q_OBJECT

 private slots:
  void everyFileInItsPlaceAndTicksFollow_data();
  void everyFileInItsPlaceAndTicksFollow();
  void previewOnTheThumbnailColumn();
  void showImagesUntickedLeavesUndeletedPicturesWithoutThumbnails();
};

void ScanRunImagesTest::everyFileInItsPlaceAndTicksFollow_data() {
  QTest::addColumn<ImageMaker>("make");
  QTest::newRow("FAT16 card with folders") << ImageMaker(Fat16Card);
  QTest::newRow("NTFS disk") << ImageMaker(NtfsCard);
  QTest::newRow("quick-formatted camera card") << ImageMaker(FormattedCard);
}

void ScanRunImagesTest::everyFileInItsPlaceAndTicksFollow() {
  QFETCH(ImageMaker, make);
  WizardHarness h;
  h.StartService();
  const CardImage image = make(h.dir.Path());
  auto window = Analyse(h, image.drives);
  const std::string id = window->TransactionID();
  wizard::ResultTrees& trees = *window->Trees();
  wizard::ResultTreeStore& store = trees.Store();
  for (const TreeKind tree : {TreeKind::Path, TreeKind::Type, TreeKind::Size}) {
    QAbstractItemModelTester tester(trees.Model(tree), QAbstractItemModelTester::FailureReportingMode::QtTest);
  }

  // Every file in all three trees: its folder, its type group and its size band.
  const std::vector<TreeNode*> files = Files(store.Root(TreeKind::Path));
  QCOMPARE(static_cast<int>(files.size()), window->GetFileCount());
  std::map<std::string, int> perType, ticked;
  for (const TreeNode* file : files) {
    // Carved copies of files the Undelete scan lists, or of live files, arrive unticked.
    if (file->State == Qt::Checked) ++ticked[util::UpperCase(file->Data.Extension)];
    QCOMPARE(file->Parent->Data.Key, file->Data.Path);
    QVERIFY(file->Data.TypeNode != nullptr && file->Data.SizeNode != nullptr);
    QCOMPARE(file->Data.TypeNode->Parent->Data.Key, std::string_view(wizard::TypeKey(file->Data.Extension)));
    QCOMPARE(file->Data.SizeNode->Parent->Data.Name, wizard::SizeBand(file->Data.Size));
    QCOMPARE(file->Data.TypeNode->Data.PathNode, file);
    QCOMPARE(file->Data.SizeNode->Data.PathNode, file);
    ++perType[util::UpperCase(file->Data.Extension)];
  }
  for (const Expected& e : image.undelete) {
    const TreeNode* folder = store.FindDirectoryNode(TreeKind::Path, e.folder);
    QVERIFY2(folder != nullptr, e.folder.c_str());
    bool found = false;
    for (const TreeNode* file : Files(const_cast<TreeNode&>(*folder))) {
      found = found || (Lower(file->Data.Name) == Lower(e.name) && file->Data.Size == e.size);
    }
    QVERIFY2(found, (e.folder + e.name).c_str());
  }
  int photos = 0;
  std::int64_t photoBytes = 0;
  for (const TreeNode* file : files) {
    if (file->Data.ID.front() != 'L' || Lower(file->Data.Extension) != "jpg") continue;
    QCOMPARE(file->Data.Path, std::string_view("LowScan\\"));
    ++photos;
    photoBytes += file->Data.Size;
  }
  if (image.carvedPhotos > 0) {
    QCOMPARE(photos, image.carvedPhotos);
    QCOMPARE(photoBytes, image.photoBytes);
  }
  // The table counts what the trees hold, found and selected.
  auto* table = Control<wizard::TFileTypesTable>(*window, "tbl_FileTypes");
  for (const auto& [type, count] : perType) {
    const int row = table->GetFileTypeRow(type);
    QVERIFY2(row >= 0, type.c_str());
    QCOMPARE(table->Cell(row, 1), std::to_string(count));
    QCOMPARE(table->Cell(row, 2), std::to_string(ticked[type]));
  }

  // A folder's tick reaches its files in every view and the scanners' selection and save size.
  const std::int64_t allSelected = window->SelectedFiles(), allBytes = window->GetRequiredSaveSpace();
  std::int64_t tickedFiles = 0;
  for (const auto& [type, count] : ticked) tickedFiles += count;
  QCOMPARE(allSelected, tickedFiles);
  TreeNode* folder = files.front()->Parent;
  const auto inFolder = Files(*folder);
  std::int64_t folderBytes = 0;
  for (const TreeNode* file : inFolder) folderBytes += file->Data.Size;
  wizard::ResultTreeModel* model = trees.Model(TreeKind::Path);
  QVERIFY(model->setData(model->IndexOf(folder, 0), Qt::Unchecked, Qt::CheckStateRole));
  for (const TreeNode* file : inFolder) {
    QCOMPARE(file->State, Qt::Unchecked);
    QCOMPARE(file->Data.TypeNode->State, Qt::Unchecked);
    QCOMPARE(file->Data.SizeNode->State, Qt::Unchecked);
  }
  QCOMPARE(window->SelectedFiles(), allSelected - static_cast<std::int64_t>(inFolder.size()));
  QCOMPARE(window->GetRequiredSaveSpace(), allBytes - folderBytes);
  QCOMPARE(Control<QLabel>(*window, "lbl_ResultSelected")->text(), QString::number(window->SelectedFiles()));
  QVERIFY(model->setData(model->IndexOf(folder, 0), Qt::Checked, Qt::CheckStateRole));
  QCOMPARE(window->SelectedFiles(), allSelected);
  QCOMPARE(window->GetRequiredSaveSpace(), allBytes);

  // The service holds the run: the drive, the scans, their statistics and the summary.
  const auto logs = h.Logs(id);
  std::vector<std::string> actions;
  for (const auto& row : logs) {
    if (row[0] == "30" || row[0] == "50" || row[0] == "55" || (row[0] == "46" && row[1].rfind("Performing", 0) == 0) ||
        (row[0] == "45" && row[1].rfind("Performing", 0) == 0)) {
      actions.push_back(row[0]);
    }
  }
  const std::string summary = files.empty() ? "55" : "50";
  QCOMPARE(actions, (std::vector<std::string>{"30", "46", "45", summary}));
  const auto stats = h.Rows("SELECT scantype, number, cancelled FROM statistics WHERE trans = '" + id + "' ORDER BY id");
  QCOMPARE(stats.size(), std::size_t{2});
  const std::int64_t undeleted = std::count_if(files.begin(), files.end(), [](const TreeNode* f) { return f->Data.ID.front() == 'F'; });
  QCOMPARE(stats[0], (std::vector<std::string>{"F-Scan", std::to_string(undeleted), "0"}));
  QCOMPARE(stats[1], (std::vector<std::string>{"L-Scan", std::to_string(files.size() - undeleted), "0"}));
  window->State().Cancelled = true;
}

void ScanRunImagesTest::previewOnTheThumbnailColumn() {
  WizardHarness h;
  h.StartService();
  testsupport::FatImage card(h.dir.Path() / "camera.img", {.fatBits = 32, .label = "CAMERA"});
  card.MakeDir("/DCIM");
  card.AddFile("/DCIM/IMG_0001.JPG", Sample("sample.exif.jpg"));
  card.AddFile("/DCIM/IMG_0002.png", Sample("sample.png"));
  card.AddFile("/DCIM/notes.pdf", Sample("sample.pdf"));
  for (const char* name : {"/DCIM/IMG_0001.JPG", "/DCIM/IMG_0002.png", "/DCIM/notes.pdf"}) card.Delete(name);
  auto window = Analyse(h, "E=" + card.Path().string());
  window->resize(1280, 900);
  window->show();
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  wizard::ResultTrees& trees = *window->Trees();
  wizard::TImagePreview* preview = window->Preview();
  QVERIFY(preview != nullptr && preview->isHidden());
  QCOMPARE(preview->Timer().interval(), 4000);

  const auto files = Files(trees.Store().Root(TreeKind::Path));
  const auto find = [&](const char* source, const char* extension) -> TreeNode* {
    for (TreeNode* f : files) {
      if (f->Data.ID.front() == source[0] && Lower(f->Data.Extension) == extension) return f;
    }
    return nullptr;
  };
  TreeNode* photo = find("F", "jpg");
  TreeNode* pdf = find("F", "pdf");
  TreeNode* carvedPng = find("L", "png");
  // The carved PNG: the engine's check keeps it as it is, the wizard shows its picture.
  QVERIFY(carvedPng != nullptr && carvedPng->Data.Thumbnail != nullptr);
  // A picture type the check leaves undecoded, reported with its data: the kept copy is no bitmap.
  util::TMemoryStream pngData;
  pngData.Assign(std::string_view(Sample("sample.png")));
  trees.AddTreeEntry(util::stLowScan, "L900", "E:\\file_900.png", "png", "LowScan\\", pngData.Size(), &pngData,
                     util::ftImage);
  trees.Refresh();
  TreeNode* undecoded = trees.Store().FindFile("L900");
  QVERIFY(undecoded != nullptr && undecoded->Data.Thumbnail != nullptr);
  const auto picture = [&] { return preview->findChild<QLabel*>(QStringLiteral("img_Hint")); };
  const auto hints = [&] {
    return !preview->findChild<QLabel*>(QStringLiteral("lbl_Hint1"))->isHidden() &&
           !preview->findChild<QLabel*>(QStringLiteral("lbl_Hint2"))->isHidden();
  };
  const auto rest = [&](TreeKind tree, const TreeNode* pathNode, int column) {
    const TreeNode* node = tree == TreeKind::Path ? pathNode
                           : tree == TreeKind::Type ? pathNode->Data.TypeNode
                                                    : pathNode->Data.SizeNode;
    trees.Tabs()->setCurrentIndex(static_cast<int>(tree));
    RestOn(trees.View(tree), trees.Model(tree)->IndexOf(node, column));
  };
  constexpr int kThumbnail = wizard::ResultTreeModel::kThumbnailColumn;

  // A photo's picture beside the mouse in every view; its size column shows nothing.
  for (const TreeKind tree : {TreeKind::Path, TreeKind::Type, TreeKind::Size}) {
    rest(tree, photo, kThumbnail);
    QVERIFY(!preview->isHidden());
    QVERIFY(!picture()->isHidden() && !picture()->pixmap().isNull());
    QVERIFY(picture()->pixmap().width() <= 194 && picture()->pixmap().height() <= 138);
    QVERIFY(!hints());
    QVERIFY(preview->Timer().isActive());
    QVERIFY(window->rect().contains(preview->geometry().translated(preview->parentWidget()->mapTo(window.get(), QPoint()))));
  }
  rest(TreeKind::Path, photo, wizard::ResultTreeModel::kSizeColumn);
  QVERIFY(preview->isHidden());
  // No kept copy: the two hint labels.
  rest(TreeKind::Path, pdf, kThumbnail);
  QVERIFY(!preview->isHidden() && hints() && picture()->isHidden());
  rest(TreeKind::Path, carvedPng, kThumbnail);
  QVERIFY(!preview->isHidden() && !picture()->isHidden() && !hints());
  // A kept copy that does not load as a bitmap: no preview at all.
  rest(TreeKind::Path, undecoded, kThumbnail);
  QVERIFY(preview->isHidden());
  // Moving on to another cell hides it at once; the timer hides it after four seconds.
  rest(TreeKind::Path, photo, kThumbnail);
  QVERIFY(!preview->isHidden());
  QTreeView* view = trees.View(TreeKind::Path);
  QTest::mouseMove(view->viewport(), view->visualRect(trees.Model(TreeKind::Path)->IndexOf(photo, 0)).center());
  QVERIFY(preview->isHidden());
  rest(TreeKind::Path, photo, kThumbnail);
  preview->tmr_PreviewTimer();
  QVERIFY(preview->isHidden() && !preview->Timer().isActive());
  window->State().Cancelled = true;
}

void ScanRunImagesTest::showImagesUntickedLeavesUndeletedPicturesWithoutThumbnails() {
  WizardHarness h;
  h.StartService();
  testsupport::FatImage card(h.dir.Path() / "camera.img", {.fatBits = 16, .label = "CAMERA"});
  card.AddFile("/IMG_0001.JPG", Sample("sample.jpg"));
  card.Delete("/IMG_0001.JPG");
  auto window = Analyse(h, "E=" + card.Path().string(), [](wizard::Tfrm_Main& w) {
    Control<QCheckBox>(w, "cx_Low")->setChecked(false);
    Control<QCheckBox>(w, "cx_ShowImages")->click();
  });
  const auto files = Files(window->Trees()->Store().Root(TreeKind::Path));
  QCOMPARE(files.size(), std::size_t{1});
  QVERIFY(files[0]->Data.Thumbnail == nullptr);
  bool logged = false;
  for (const auto& row : h.Logs(window->TransactionID())) logged = logged || row[1] == "Performing FATScan with: <BR>Show Images: 0";
  QVERIFY(logged);
  window->State().Cancelled = true;
}

QTEST_MAIN(ScanRunImagesTest)
#include "ScanRunImagesTest.moc"
