// The node store of the result trees: where each reported file lands in the
// path, type and size trees, thumbnails and their kept copies, ticking with its
// twins, save flags and type counts, search order and the sort rules.

#include "tests/wizard/TreeFixture.h"
#include "wizard/ResultTreeStore.h"
#include "wizard/TreeImages.h"
#include "wizard/TreeKeys.h"

#include <QTest>

using testsupport::AddFat;
using testsupport::AddLow;
using testsupport::Child;
using testsupport::Key;
using testsupport::ChildNames;
using wizard::TreeKind;
using wizard::TreeNode;

namespace {

using Names = std::vector<std::string>;

TreeNode* PathRoot(wizard::ResultTreeStore& store, std::string_view name) {
  return Child(store.Root(TreeKind::Path), name);
}

}  // namespace

class ResultTreeStoreTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void keyFunctions_data();
  void keyFunctions();
  void sizeBands_data();
  void sizeBands();
  void undeletedFileGetsFoldersKeysAndTwins();
  void foldersMatchWithoutRegardToCase();
  void fileWithoutExtensionSitsAtTypeTopLevel();
  void carvedFileSitsUnderLowScanRoot();
  void keptCopiesStopAtMaxImageHints();
  void thumbnailIsCentredAndUpright();
  void portraitThumbnailHasSideMargins();
  void untickingUndeleteRootReachesEveryTwin();
  void tickingTypeGroupLeavesOtherFoldersAlone();
  void folderOfTenThousandUpdatesTotalsOnce();
  void ticksRefusedWhileScanning();
  void selectAllAndCheckVTree();
  void searchLooksAfterStartAtNameThenPath();
  void sortRules();
  void clearingDropsThumbnails();

 private:
  std::unique_ptr<wizard::ResultTreeStore> m_store;
  testsupport::TreeRecorder m_recorder;
};

void ResultTreeStoreTest::init() {
  m_store = std::make_unique<wizard::ResultTreeStore>();
  m_recorder = {};
  m_recorder.Bind(m_store->Events);
  m_store->AddRootFolders();
}

void ResultTreeStoreTest::keyFunctions_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("reduced");
  QTest::addColumn<QString>("first");
  QTest::newRow("three levels") << "Undelete\\DCIM\\100CANON\\" << "Undelete\\DCIM\\" << "Undelete";
  QTest::newRow("one level") << "Undelete\\" << "" << "Undelete";
  QTest::newRow("no trailing backslash") << "A\\B\\C" << "A\\" << "A";
  QTest::newRow("second-last first") << "\\A\\" << "" << "";
  QTest::newRow("no backslash") << "< 1KB" << "" << "";
  QTest::newRow("empty extension key") << "\\" << "" << "";
  QTest::newRow("empty") << "" << "" << "";
}

void ResultTreeStoreTest::keyFunctions() {
  QFETCH(QString, path);
  QFETCH(QString, reduced);
  QFETCH(QString, first);
  QCOMPARE(QString::fromStdString(wizard::ReducePath(path.toStdString())), reduced);
  QCOMPARE(QString::fromStdString(wizard::GetFirstDirectory(path.toStdString())), first);
}

void ResultTreeStoreTest::sizeBands_data() {
  QTest::addColumn<qint64>("size");
  QTest::addColumn<QString>("band");
  QTest::newRow("0") << qint64{0} << "< 1KB";
  QTest::newRow("1000") << qint64{1000} << "< 1KB";
  QTest::newRow("1001") << qint64{1001} << "1KB - 100KB";
  QTest::newRow("100000") << qint64{100000} << "1KB - 100KB";
  QTest::newRow("100001") << qint64{100001} << "100KB - 1MB";
  QTest::newRow("1000001") << qint64{1000001} << "1MB - 10MB";
  QTest::newRow("10000000") << qint64{10000000} << "1MB - 10MB";
  QTest::newRow("10000001") << qint64{10000001} << "> 10MB";
  QTest::newRow("4 GiB + 500") << qint64{4294967296LL + 500} << "> 10MB";
}

void ResultTreeStoreTest::sizeBands() {
  QFETCH(qint64, size);
  QFETCH(QString, band);
  AddFat(*m_store, 0, "E:\\a.dat", "dat", size);
  QCOMPARE(ChildNames(m_store->Root(TreeKind::Size)),
           (Names{"< 1KB", "1KB - 100KB", "100KB - 1MB", "1MB - 10MB", "> 10MB"}));
  for (const TreeNode* node : m_store->Root(TreeKind::Size).Children) {
    QCOMPARE(node->Children.size(), std::size_t(node->Data.Name == band.toStdString() ? 1 : 0));
  }
  const TreeNode* file = m_store->FindFile("F0")->Data.SizeNode;
  QCOMPARE(QString::fromUtf8(file->Data.Key.data(), static_cast<int>(file->Data.Key.size())), band);
  QCOMPARE(file->Data.Size, size);
}

void ResultTreeStoreTest::undeletedFileGetsFoldersKeysAndTwins() {
  AddFat(*m_store, 3, "E:\\DCIM\\100CANON\\IMG_1.JPG", "JPG", 2000);
  AddFat(*m_store, 4, "E:\\root.txt", "txt", 10);
  TreeNode* undelete = PathRoot(*m_store, "Undelete Scan Results");
  QCOMPARE(ChildNames(m_store->Root(TreeKind::Path)), (Names{"Undelete Scan Results", "Low Level Scan Results"}));
  QCOMPARE(ChildNames(*undelete), (Names{"DCIM", "root.txt"}));
  TreeNode* dcim = Child(*undelete, "DCIM");
  TreeNode* canon = Child(*dcim, "100CANON");
  QCOMPARE(dcim->Data.Key, "Undelete\\DCIM\\");
  QCOMPARE(canon->Data.Key, "Undelete\\DCIM\\100CANON\\");
  QCOMPARE(canon->Data.Icon, wizard::kIconFolderClosed);
  QCOMPARE(canon->Data.ImageIndex, -1);

  const TreeNode* path = m_store->FindFile("F3");
  QCOMPARE(path->Parent, canon);
  QCOMPARE(path->Data.Name, "IMG_1.JPG");
  QCOMPARE(path->Data.Path, "Undelete\\DCIM\\100CANON\\");
  QCOMPARE(path->Data.Key, "Undelete\\DCIM\\100CANON\\");
  QCOMPARE(path->Data.ImageIndex, wizard::kIconDocument);
  QCOMPARE(path->Data.Icon, wizard::kIconFile);
  const TreeNode* type = path->Data.TypeNode;
  const TreeNode* size = path->Data.SizeNode;
  QCOMPARE(type->Parent->Data.Name, "JPG");
  QCOMPARE(type->Parent->Data.Key, "JPG\\");
  QCOMPARE(type->Data.Key, "JPG");
  QCOMPARE(size->Parent->Data.Name, "1KB - 100KB");
  QCOMPARE(size->Data.Key, "1KB - 100KB");
  QCOMPARE(type->Data.PathNode, path);
  QCOMPARE(type->Data.SizeNode, size);
  QCOMPARE(size->Data.PathNode, path);
  QCOMPARE(size->Data.TypeNode, type);
  QVERIFY(path->Data.PathNode == nullptr && type->Data.TypeNode == nullptr && size->Data.SizeNode == nullptr);
  for (const TreeNode* twin : {type, size}) {
    QCOMPARE(twin->Data.Name, path->Data.Name);
    QCOMPARE(twin->Data.Path, path->Data.Path);
    QCOMPARE(twin->Data.ID, "F3");
    QCOMPARE(twin->Data.Extension, "JPG");
  }
  QCOMPARE(m_store->FindFile("F4")->Parent, undelete);
  QCOMPARE(m_store->FindFile("F4")->Data.Path, "Undelete\\");
}

void ResultTreeStoreTest::foldersMatchWithoutRegardToCase() {
  AddFat(*m_store, 0, "E:\\DCIM\\a.jpg", "jpg", 10);
  AddFat(*m_store, 1, "E:\\dcim\\b.jpg", "JPG", 10);
  TreeNode* undelete = PathRoot(*m_store, "Undelete Scan Results");
  QCOMPARE(ChildNames(*undelete), (Names{"DCIM"}));
  QCOMPARE(ChildNames(*Child(*undelete, "DCIM")), (Names{"a.jpg", "b.jpg"}));
  // Both extensions fall into one type group too.
  QCOMPARE(ChildNames(m_store->Root(TreeKind::Type)), (Names{"JPG"}));
  QCOMPARE(m_store->FindDirectoryNode(TreeKind::Path, "undelete\\Dcim\\"), Child(*undelete, "DCIM"));
}

void ResultTreeStoreTest::fileWithoutExtensionSitsAtTypeTopLevel() {
  AddFat(*m_store, 0, "E:\\a.jpg", "jpg", 10);
  AddFat(*m_store, 1, "E:\\README", "", 10);
  QCOMPARE(ChildNames(m_store->Root(TreeKind::Type)), (Names{"JPG", "README"}));
  const TreeNode* type = m_store->FindFile("F1")->Data.TypeNode;
  QCOMPARE(type->Parent, &m_store->Root(TreeKind::Type));
  QVERIFY(!type->Data.IsFolder);
}

void ResultTreeStoreTest::carvedFileSitsUnderLowScanRoot() {
  AddLow(*m_store, 7, "avi", 5'000'000, util::ftMedia);
  const TreeNode* path = m_store->FindFile("L7");
  QVERIFY(path != nullptr);
  QCOMPARE(path->Parent, PathRoot(*m_store, "Low Level Scan Results"));
  QCOMPARE(path->Parent->Data.Key, "LowScan\\");
  QCOMPARE(path->Data.Name, "file_7.avi");
  QCOMPARE(path->Data.Path, "LowScan\\");
  QCOMPARE(path->Data.ImageIndex, wizard::kIconMedia);
}

void ResultTreeStoreTest::keptCopiesStopAtMaxImageHints() {
  const util::TMemoryStream bitmap = testsupport::CheckedPicture(64, 48);
  m_store->SetMaxImageHints(2);
  for (int i = 0; i < 5; ++i) AddLow(*m_store, i, "jpg", 5000, util::ftImage, &bitmap);
  QCOMPARE(m_store->ImageHintCount(), 2);
  QCOMPARE(m_store->Images().Count(), wizard::kFixedIconCount + 5);
  for (int i = 0; i < 5; ++i) {
    const TreeNode* path = m_store->FindFile(Key('L', i));
    QCOMPARE(path->Data.ImageIndex, wizard::kFixedIconCount + i);
    QCOMPARE(path->Data.TypeNode->Data.ImageIndex, wizard::kFixedIconCount + i);
    QCOMPARE(path->Data.Thumbnail != nullptr, i < 2);
    if (path->Data.Thumbnail) QCOMPARE(path->Data.Thumbnail->View(), bitmap.View());
    QVERIFY(path->Data.TypeNode->Data.Thumbnail == nullptr && path->Data.SizeNode->Data.Thumbnail == nullptr);
  }
  // Data that is no bitmap keeps its type icon, and its copy while the limit allows.
  util::TMemoryStream png;
  png.Assign(std::string_view("\x89PNG\r\n\x1a\n not a bitmap"));
  m_store->SetMaxImageHints(10);
  AddLow(*m_store, 9, "png", 30, util::ftImage, &png);
  QCOMPARE(m_store->FindFile("L9")->Data.ImageIndex, wizard::kIconImage);
  QVERIFY(m_store->FindFile("L9")->Data.Thumbnail != nullptr);
  QCOMPARE(m_store->Images().Count(), wizard::kFixedIconCount + 5);
}

void ResultTreeStoreTest::thumbnailIsCentredAndUpright() {
  // 400 x 300 is checked down to 172 x 129; the thumbnail is 33 wide and 24 high, from y 4 to 28.
  const util::TMemoryStream bitmap = testsupport::CheckedPicture(400, 300);
  QCOMPARE(bitmap.View().substr(0, 2), "BM");
  AddLow(*m_store, 0, "jpg", 5000, util::ftImage, &bitmap);
  const QImage thumbnail = m_store->Images().Image(wizard::kFixedIconCount).toImage();
  QCOMPARE(thumbnail.size(), QSize(33, 33));
  for (int x : {0, 16, 32}) {
    QCOMPARE(qAlpha(thumbnail.pixel(x, 3)), 0);
    QCOMPARE(qAlpha(thumbnail.pixel(x, 4)), 255);
    QCOMPARE(qAlpha(thumbnail.pixel(x, 27)), 255);
    QCOMPARE(qAlpha(thumbnail.pixel(x, 28)), 0);
  }
  // The red half on top: bitmap rows are stored bottom row first.
  QVERIFY(qRed(thumbnail.pixel(16, 6)) > 200 && qBlue(thumbnail.pixel(16, 6)) < 60);
  QVERIFY(qBlue(thumbnail.pixel(16, 25)) > 200 && qRed(thumbnail.pixel(16, 25)) < 60);
}

void ResultTreeStoreTest::portraitThumbnailHasSideMargins() {
  // 24 x 32 grows by 3 per cent, which stays 24 x 32 in whole pixels; it is stretched over the
  // full height between x 4 and x 28.
  QImage picture(24, 32, QImage::Format_RGB32);
  picture.fill(Qt::green);
  const QImage thumbnail = wizard::MakeThumbnail(picture);
  QCOMPARE(qAlpha(thumbnail.pixel(3, 16)), 0);
  QCOMPARE(qAlpha(thumbnail.pixel(4, 0)), 255);
  QCOMPARE(qAlpha(thumbnail.pixel(27, 32)), 255);
  QCOMPARE(qAlpha(thumbnail.pixel(28, 16)), 0);
}

void ResultTreeStoreTest::untickingUndeleteRootReachesEveryTwin() {
  AddFat(*m_store, 0, "E:\\DCIM\\a.jpg", "jpg", 10);
  AddFat(*m_store, 1, "E:\\DCIM\\b.jpg", "jpg", 5000);
  AddFat(*m_store, 2, "E:\\Docs\\c.doc", "doc", 200);
  AddLow(*m_store, 0, "jpg", 900, util::ftImage);
  TreeNode* undelete = PathRoot(*m_store, "Undelete Scan Results");
  QVERIFY(m_store->SetCheckState(undelete, Qt::Unchecked));

  for (const char* id : {"F0", "F1", "F2"}) {
    const TreeNode* path = m_store->FindFile(id);
    QCOMPARE(path->State, Qt::Unchecked);
    QCOMPARE(path->Data.TypeNode->State, Qt::Unchecked);
    QCOMPARE(path->Data.SizeNode->State, Qt::Unchecked);
  }
  QCOMPARE(m_store->FindFile("L0")->State, Qt::Checked);
  QCOMPARE(m_store->FindFile("L0")->Data.TypeNode->State, Qt::Checked);
  QCOMPARE(PathRoot(*m_store, "Low Level Scan Results")->State, Qt::Checked);
  QCOMPARE(Child(*undelete, "DCIM")->State, Qt::Unchecked);
  // The folders above the twins keep showing what they showed.
  for (const TreeNode* group : m_store->Root(TreeKind::Type).Children) QCOMPARE(group->State, Qt::Checked);
  for (const TreeNode* band : m_store->Root(TreeKind::Size).Children) QCOMPARE(band->State, Qt::Checked);

  using Flag = std::tuple<util::TScanType, std::int64_t, bool>;
  QCOMPARE(m_recorder.saveFlags, (std::vector<Flag>{{util::stFATScan, 0, false},
                                                    {util::stFATScan, 1, false},
                                                    {util::stFATScan, 2, false}}));
  QCOMPARE(m_recorder.tableUpdates, (std::vector<std::pair<std::string, int>>{{"jpg:-2", 2}, {"doc:-1", 2}}));
  QCOMPARE(m_recorder.clickStatus, 1);
}

void ResultTreeStoreTest::tickingTypeGroupLeavesOtherFoldersAlone() {
  AddFat(*m_store, 0, "E:\\DCIM\\a.jpg", "jpg", 10);
  AddFat(*m_store, 1, "E:\\DCIM\\b.avi", "avi", 10);
  TreeNode* jpg = Child(m_store->Root(TreeKind::Type), "JPG");
  QVERIFY(m_store->SetCheckState(jpg, Qt::Unchecked));
  const TreeNode* path = m_store->FindFile("F0");
  QCOMPARE(path->State, Qt::Unchecked);
  QCOMPARE(path->Data.SizeNode->State, Qt::Unchecked);
  QCOMPARE(path->Parent->State, Qt::Checked);
  // Ticking in the path tree afterwards brings the folder in line with its children there.
  QVERIFY(m_store->SetCheckState(m_store->FindFile("F1"), Qt::Unchecked));
  QCOMPARE(path->Parent->State, Qt::Unchecked);
  QCOMPARE(PathRoot(*m_store, "Undelete Scan Results")->State, Qt::Unchecked);
  // A mixed state asked for counts as checked.
  QVERIFY(m_store->SetCheckState(m_store->FindFile("F1"), Qt::PartiallyChecked));
  QCOMPARE(m_store->FindFile("F1")->State, Qt::Checked);
  QCOMPARE(path->Parent->State, Qt::PartiallyChecked);
  QCOMPARE(PathRoot(*m_store, "Undelete Scan Results")->State, Qt::PartiallyChecked);
  QCOMPARE(m_recorder.tableUpdates.back(), (std::pair<std::string, int>{"avi:1", 2}));
}

void ResultTreeStoreTest::folderOfTenThousandUpdatesTotalsOnce() {
  const char* const types[] = {"jpg", "avi", "doc", "a b"};
  for (int i = 0; i < 10000; ++i) AddFat(*m_store, i, "E:\\Big\\f" + std::to_string(i), types[i % 4], i);
  AddFat(*m_store, 10000, "E:\\Small\\x.jpg", "jpg", 1);
  QVERIFY(m_store->SetCheckState(m_store->FindDirectoryNode(TreeKind::Path, "Undelete\\Big\\"), Qt::Unchecked));
  QCOMPARE(m_recorder.clickStatus, 1);
  QCOMPARE(m_recorder.saveFlags.size(), std::size_t(10000));
  // One call per extension with the summed count; one the token format cannot carry goes per file.
  std::size_t verbatim = 0;
  std::vector<std::string> summed;
  for (const auto& [data, mode] : m_recorder.tableUpdates) {
    QCOMPARE(mode, 2);
    if (data == "a b:-1") {
      ++verbatim;
    } else {
      summed.push_back(data);
    }
  }
  QCOMPARE(summed, (std::vector<std::string>{"jpg:-2500", "avi:-2500", "doc:-2500"}));
  QCOMPARE(verbatim, std::size_t(2500));
  QCOMPARE(PathRoot(*m_store, "Undelete Scan Results")->State, Qt::PartiallyChecked);
}

void ResultTreeStoreTest::ticksRefusedWhileScanning() {
  AddFat(*m_store, 0, "E:\\a.jpg", "jpg", 10);
  m_recorder.scanning = true;
  QVERIFY(!m_store->SetCheckState(m_store->FindFile("F0"), Qt::Unchecked));
  QCOMPARE(m_store->FindFile("F0")->State, Qt::Checked);
  QVERIFY(m_recorder.saveFlags.empty() && m_recorder.clickStatus == 0);
  m_recorder.scanning = false;
  QVERIFY(m_store->SetCheckState(m_store->FindFile("F0"), Qt::Unchecked));
}

void ResultTreeStoreTest::selectAllAndCheckVTree() {
  AddFat(*m_store, 0, "E:\\a.jpg", "jpg", 10);
  AddLow(*m_store, 0, "avi", 10, util::ftMedia);
  m_store->SelectAll(false);
  QCOMPARE(m_recorder.allSaveFlags, (std::vector<std::pair<util::TScanType, bool>>{{util::stLowScan, false},
                                                                                  {util::stFATScan, false}}));
  QCOMPARE(m_recorder.tableUpdates, (std::vector<std::pair<std::string, int>>{{"", 3}}));
  QCOMPARE(m_recorder.clickStatus, 1);
  for (TreeKind tree : {TreeKind::Path, TreeKind::Type, TreeKind::Size}) {
    for (const TreeNode* node = m_store->FirstNode(tree); node; node = wizard::ResultTreeStore::NextInTreeOrder(node)) {
      QCOMPARE(node->State, Qt::Unchecked);
    }
  }
  QVERIFY(m_recorder.saveFlags.empty());
  m_store->SelectAll(true);
  QCOMPARE(m_recorder.tableUpdates.back(), (std::pair<std::string, int>{"", 4}));
  QCOMPARE(PathRoot(*m_store, "Low Level Scan Results")->State, Qt::Checked);

  // One node of one tree, with no consequences.
  m_recorder.Reset();
  m_store->CheckVTree(TreeKind::Type, "L0", false);
  QCOMPARE(m_store->FindFile("L0")->Data.TypeNode->State, Qt::Unchecked);
  QCOMPARE(m_store->FindFile("L0")->State, Qt::Checked);
  QCOMPARE(m_store->FindFile("L0")->Data.TypeNode->Parent->State, Qt::Checked);
  QVERIFY(m_recorder.saveFlags.empty() && m_recorder.tableUpdates.empty() && m_recorder.clickStatus == 0);
}

void ResultTreeStoreTest::searchLooksAfterStartAtNameThenPath() {
  AddFat(*m_store, 0, "E:\\Holiday\\beach.jpg", "jpg", 10);
  AddFat(*m_store, 1, "E:\\Work\\holiday plan.doc", "doc", 10);
  AddLow(*m_store, 2, "jpg", 10, util::ftImage);
  using Store = wizard::ResultTreeStore;
  const TreeNode* first = m_store->FirstNode(TreeKind::Path);
  // The folder matches by name, its file by path, the other file by name.
  const TreeNode* hit = Store::SearchTreeForText(first, "HOLIDAY");
  QCOMPARE(hit->Data.Name, "Holiday");
  hit = Store::SearchTreeForText(hit, "holiday");
  QCOMPARE(hit->Data.Name, "beach.jpg");
  hit = Store::SearchTreeForText(hit, "holiday");
  QCOMPARE(hit->Data.Name, "holiday plan.doc");
  QVERIFY(Store::SearchTreeForText(hit, "holiday") == nullptr);
  // The start node itself is never looked at, and an empty text never matches.
  QVERIFY(Store::SearchTreeForText(first, "Undelete Scan") == nullptr);
  QVERIFY(Store::SearchTreeForText(first, "") == nullptr);
  QCOMPARE(Store::SearchTreeForText(first, "file_2")->Data.ID, "L2");
}

void ResultTreeStoreTest::sortRules() {
  AddFat(*m_store, 0, "E:\\b.jpg", "jpg", 5000);
  AddFat(*m_store, 1, "E:\\A.jpg", "jpg", 7000);
  AddFat(*m_store, 2, "E:\\c.avi", "avi", 5000);
  AddFat(*m_store, 3, "E:\\a.jpg", "jpg", 9000);
  AddFat(*m_store, 4, "E:\\noext", "", 2);
  m_store->SortTypeTree();
  QCOMPARE(ChildNames(m_store->Root(TreeKind::Type)), (Names{"AVI", "JPG", "noext"}));
  // Names equal but for case keep the order they came in.
  QCOMPARE(ChildNames(*Child(m_store->Root(TreeKind::Type), "JPG")), (Names{"A.jpg", "a.jpg", "b.jpg"}));

  TreeNode* band = Child(m_store->Root(TreeKind::Size), "1KB - 100KB");
  QCOMPARE(ChildNames(*band), (Names{"b.jpg", "A.jpg", "c.avi", "a.jpg"}));
  QVERIFY(m_store->SetExpanded(band, true));
  QCOMPARE(ChildNames(*band), (Names{"a.jpg", "A.jpg", "b.jpg", "c.avi"}));
  QCOMPARE(band->Data.Icon, wizard::kIconFolderOpen);
  for (std::size_t row = 0; row < band->Children.size(); ++row) QCOMPARE(band->Children[row]->Row, int(row));
  QVERIFY(m_store->SetExpanded(band, false));
  QCOMPARE(band->Data.Icon, wizard::kIconFolderClosed);
  // A band without files has nothing to expand.
  QVERIFY(!m_store->SetExpanded(Child(m_store->Root(TreeKind::Size), "> 10MB"), true));
  QCOMPARE(m_store->ExpandAllFolders(TreeKind::Size).size(), std::size_t(2));
  QCOMPARE(m_store->CollapseAllFolders(TreeKind::Size), std::size_t(2));
}

void ResultTreeStoreTest::clearingDropsThumbnails() {
  const util::TMemoryStream bitmap = testsupport::CheckedPicture(64, 48);
  m_store->SetMaxImageHints(5);
  AddLow(*m_store, 0, "jpg", 10, util::ftImage, &bitmap);
  QCOMPARE(m_store->Images().Count(), wizard::kFixedIconCount + 1);
  m_store->ClearResults();
  QCOMPARE(m_store->Images().Count(), wizard::kFixedIconCount);
  QVERIFY(m_store->FindFile("L0") == nullptr);
  for (TreeKind tree : {TreeKind::Path, TreeKind::Type, TreeKind::Size}) QVERIFY(m_store->Root(tree).Children.empty());
  QVERIFY(m_store->FindDirectoryNode(TreeKind::Path, "Undelete\\") == nullptr);
  m_store->AddRootFolders();
  AddLow(*m_store, 0, "jpg", 10, util::ftImage, &bitmap);
  QCOMPARE(m_store->FindFile("L0")->Data.ImageIndex, wizard::kFixedIconCount);
}

QTEST_MAIN(ResultTreeStoreTest)
#include "ResultTreeStoreTest.moc"
