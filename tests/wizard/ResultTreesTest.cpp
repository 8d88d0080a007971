// The three result-tree models and views: the model checks of Qt, rows in
// batches, columns and view settings, ticking in one view showing in the
// others, Find First / Find Next, expanding, and the coalesced "Expand All"
// ending in the view that expanding after every file gives.

#include "tests/online/ScriptedPrompt.h"
#include "tests/wizard/TreeFixture.h"
#include "util/SizeText.h"
#include "wizard/ResultTrees.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

using testsupport::AddFat;
using testsupport::AddLow;
using wizard::ResultTreeModel;
using wizard::TreeKind;
using wizard::TreeNode;

namespace {

constexpr TreeKind kTrees[] = {TreeKind::Path, TreeKind::Type, TreeKind::Size};

// A small scan run: folders, types, bands, two thumbnails, equal sizes in one band.
void AddSample(wizard::ResultTrees& trees, const util::TMemoryStream& bitmap, bool expandEachFile) {
  auto step = [&] {
    if (expandEachFile) {
      trees.ExpandAll();
    } else {
      trees.ExpandAllSoon();
    }
  };
  const char* const folders[] = {"E:\\DCIM\\100CANON\\", "E:\\dcim\\101CANON\\", "E:\\Docs\\", "E:\\"};
  const char* const types[] = {"jpg", "JPG", "doc", "avi", ""};
  for (int i = 0; i < 40; ++i) {
    const std::string extension = types[i % 5];
    const std::string name = std::string(folders[i % 4]) + "file" + std::to_string(i) + (extension.empty() ? "" : ".") +
                             extension;
    AddFat(trees, i, name, extension, 2000 + (i % 3) * 1000, i % 9 == 0 ? &bitmap : nullptr);
    step();
    if (i % 7 == 0) QCoreApplication::processEvents();
  }
  for (int i = 0; i < 6; ++i) {
    AddLow(trees, i, "mp3", 20'000'000 + i % 2, util::ftMedia);
    step();
  }
}

void EndOfRun(wizard::ResultTrees& trees) {
  trees.SortTypeTree();
  trees.CollapseTree(TreeKind::Size);
  trees.ExpandTree(TreeKind::Size);
  trees.ExpandAll();
}

// Each row of a view in tree order: depth, name, whether the view shows it expanded, its icon.
QStringList Shown(wizard::ResultTrees& trees, TreeKind tree) {
  QStringList rows;
  ResultTreeModel* model = trees.Model(tree);
  std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
    for (int row = 0; row < model->rowCount(parent); ++row) {
      const QModelIndex index = model->index(row, 0, parent);
      rows << QStringLiteral("%1 %2 %3 %4")
                  .arg(depth)
                  .arg(index.data().toString())
                  .arg(trees.View(tree)->isExpanded(index))
                  .arg(model->NodeAt(index)->Data.Icon);
      walk(index, depth + 1);
    }
  };
  walk({}, 0);
  return rows;
}

QModelIndex IndexByName(ResultTreeModel& model, const QString& name) {
  const QModelIndexList found =
      model.match(model.index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? QModelIndex() : found.front();
}

}  // namespace

class ResultTreesTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void modelsPassQtChecks();
  void rowsArriveInBatches();
  void columnsAndViewSettings();
  void tickInOneViewShowsInTheOthers();
  void clickOnCheckBoxTicksAndUnticks();
  void findFirstAndFindNext();
  void expandingFollowsIconsAndSortsBands();
  void coalescedExpandEndsInTheSameView();

 private:
  std::unique_ptr<wizard::ResultTrees> m_trees;
  testsupport::TreeRecorder m_recorder;
  testsupport::ScriptedPrompt m_prompt;
  util::TMemoryStream m_bitmap;
};

void ResultTreesTest::init() {
  m_trees = std::make_unique<wizard::ResultTrees>();
  m_recorder = {};
  m_recorder.Bind(m_trees->Events());
  m_prompt.boxes.clear();
  m_trees->SetPrompt(&m_prompt);
  m_trees->SetMaxImageHints(100);
  m_trees->resize(900, 600);
  m_trees->show();
  if (m_bitmap.Size() == 0) m_bitmap = testsupport::CheckedPicture(200, 150);
  m_trees->AddRootFolders();
}

void ResultTreesTest::cleanup() { m_trees.reset(); }

void ResultTreesTest::modelsPassQtChecks() {
  std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
  for (TreeKind tree : kTrees) {
    testers.push_back(std::make_unique<QAbstractItemModelTester>(
        m_trees->Model(tree), QAbstractItemModelTester::FailureReportingMode::QtTest));
  }
  AddSample(*m_trees, m_bitmap, false);
  QTRY_VERIFY(!m_trees->Model(TreeKind::Path)->HasPendingRows());
  EndOfRun(*m_trees);
  ResultTreeModel* path = m_trees->Model(TreeKind::Path);
  QVERIFY(path->setData(IndexByName(*path, "DCIM"), Qt::Unchecked, Qt::CheckStateRole));
  m_trees->SelectAll(true);
  m_trees->CheckVTree(TreeKind::Size, "F3", false);
  m_trees->CollapseAll();
  m_trees->ExpandAll();
  QVERIFY(m_trees->FindFirst(2, "file1"));
  m_trees->ClearResults();
  for (TreeKind tree : kTrees) QCOMPARE(m_trees->Model(tree)->rowCount(), 0);
  m_trees->AddRootFolders();
  AddSample(*m_trees, m_bitmap, true);
  m_trees->Refresh();
  QCOMPARE(m_trees->Model(TreeKind::Path)->rowCount(), 2);
  QCOMPARE(m_trees->Model(TreeKind::Size)->rowCount(), 5);
}

void ResultTreesTest::rowsArriveInBatches() {
  m_trees->Refresh();
  ResultTreeModel* path = m_trees->Model(TreeKind::Path);
  QSignalSpy inserted(path, &QAbstractItemModel::rowsInserted);
  for (int i = 0; i < 200; ++i) AddFat(*m_trees, i, "E:\\Big\\f" + std::to_string(i) + ".jpg", "jpg", 10);
  AddFat(*m_trees, 200, "E:\\f.jpg", "jpg", 10);
  // Nothing shows until the event loop comes round.
  const QModelIndex undelete = path->index(0, 0);
  QCOMPARE(path->rowCount(undelete), 0);
  QTRY_COMPARE(path->rowCount(undelete), 2);
  QCOMPARE(inserted.count(), 1);
  QCOMPARE(path->rowCount(path->index(0, 0, undelete)), 200);
  // Ticks announce what is pending before they change anything.
  AddFat(*m_trees, 201, "E:\\Big\\late.jpg", "jpg", 10);
  QVERIFY(path->setData(path->index(0, 0, undelete), Qt::Unchecked, Qt::CheckStateRole));
  QCOMPARE(path->rowCount(path->index(0, 0, undelete)), 201);
}

void ResultTreesTest::columnsAndViewSettings() {
  AddFat(*m_trees, 0, "E:\\DCIM\\photo.jpg", "jpg", 2500, &m_bitmap);
  AddFat(*m_trees, 1, "E:\\empty.txt", "txt", 0);
  m_trees->ExpandAll();
  QCOMPARE(m_trees->Tabs()->objectName(), QStringLiteral("tabs"));
  QCOMPARE(m_trees->Tabs()->tabText(0), QStringLiteral("View by Path"));
  QCOMPARE(m_trees->Tabs()->tabText(1), QStringLiteral("View by File Type"));
  QCOMPARE(m_trees->Tabs()->tabText(2), QStringLiteral("View by Size"));
  QCOMPARE(m_trees->Tabs()->currentIndex(), 0);
  const QStringList firsts{"Path / Name", "File Type / Name", "File Size / Name"};
  const char* const names[] = {"VTree", "VTreeType", "VTreeSize"};
  for (TreeKind tree : kTrees) {
    const int t = static_cast<int>(tree);
    QTreeView* view = m_trees->View(tree);
    QCOMPARE(view->objectName(), QString::fromLatin1(names[t]));
    QStringList headers;
    for (int c = 0; c < ResultTreeModel::kColumnCount; ++c) {
      headers << view->model()->headerData(c, Qt::Horizontal).toString();
    }
    QCOMPARE(headers, (QStringList{firsts[t], "Size", "Thumbnail", "Type", "Full Path"}));
    QCOMPARE(view->columnWidth(0), t == 0 ? 400 : 300);
    // The size column widens to its widest text in the font in use.
    QVERIFY(view->columnWidth(1) >= 70);
    QVERIFY(view->columnWidth(1) > view->fontMetrics().horizontalAdvance(QStringLiteral("[8,888 Bytes]")));
    for (int c : {2, 3}) QCOMPARE(view->columnWidth(c), 70);
    QCOMPARE(view->columnWidth(4), 500);
    QCOMPARE(view->header()->height(), 20);
    QVERIFY(view->uniformRowHeights());
    QVERIFY(!view->isSortingEnabled());
    QCOMPARE(view->iconSize(), QSize(33, 33));
  }
  ResultTreeModel* path = m_trees->Model(TreeKind::Path);
  const QModelIndex photo = IndexByName(*path, "photo.jpg");
  QCOMPARE(m_trees->View(TreeKind::Path)->visualRect(photo).height(), 35);
  auto cell = [&](const QModelIndex& index, int column, int role = Qt::DisplayRole) {
    return path->index(index.row(), column, index.parent()).data(role);
  };
  QCOMPARE(cell(photo, 1).toString(), QString::fromStdString(util::GetSizeDescription(2500)));
  QCOMPARE(cell(photo, 1, ResultTreeModel::RawValueRole).toLongLong(), 2500);
  QCOMPARE(cell(photo, 1, ResultTreeModel::RawValueRole).typeId(), QMetaType::LongLong);
  QCOMPARE(cell(photo, 2).toString(), QString());
  QCOMPARE(cell(photo, 2, Qt::DecorationRole).value<QPixmap>().size(), QSize(33, 33));
  QCOMPARE(cell(photo, 3).toString(), QStringLiteral("jpg"));
  QCOMPARE(cell(photo, 4).toString(), QStringLiteral("Undelete\\DCIM\\"));
  QCOMPARE(cell(photo, 0, Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QVERIFY(!cell(photo, 1, Qt::CheckStateRole).isValid());
  QCOMPARE(cell(photo, 0, ResultTreeModel::IdRole).toString(), QStringLiteral("F0"));
  QVERIFY(path->flags(photo) & Qt::ItemNeverHasChildren);
  QVERIFY(path->flags(photo) & Qt::ItemIsUserTristate);
  QCOMPARE(cell(IndexByName(*path, "empty.txt"), 1).toString(), QString());
  QVERIFY(!cell(path->index(0, 0), 2, Qt::DecorationRole).isValid());
}

void ResultTreesTest::tickInOneViewShowsInTheOthers() {
  for (int i = 0; i < 30; ++i) {
    AddFat(*m_trees, i, "E:\\Trip\\f" + std::to_string(i) + (i % 3 ? ".jpg" : ".avi"), i % 3 ? "jpg" : "avi",
           i % 2 ? 500 : 50000);
  }
  AddFat(*m_trees, 30, "E:\\Other\\g.jpg", "jpg", 500);
  m_trees->ExpandAll();
  ResultTreeModel* path = m_trees->Model(TreeKind::Path);
  ResultTreeModel* type = m_trees->Model(TreeKind::Type);
  ResultTreeModel* size = m_trees->Model(TreeKind::Size);
  QSignalSpy typeChanges(type, &QAbstractItemModel::dataChanged);
  QSignalSpy sizeChanges(size, &QAbstractItemModel::dataChanged);
  QVERIFY(path->setData(IndexByName(*path, "Trip"), Qt::Unchecked, Qt::CheckStateRole));
  // One range per parent in each of the other trees.
  QCOMPARE(typeChanges.count(), 2);
  QCOMPARE(sizeChanges.count(), 2);
  for (const QList<QVariant>& change : typeChanges) {
    QCOMPARE(change.at(2).value<QList<int>>(), QList<int>{Qt::CheckStateRole});
    QCOMPARE(change.at(0).value<QModelIndex>().parent(), change.at(1).value<QModelIndex>().parent());
  }
  QCOMPARE(IndexByName(*type, "f1.jpg").data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  QCOMPARE(IndexByName(*size, "f2.jpg").data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  QCOMPARE(IndexByName(*type, "g.jpg").data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(IndexByName(*type, "JPG").data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(m_recorder.clickStatus, 1);

  // And back from the size tree: a file's tick reaches its path twin and the folders above it there.
  QVERIFY(size->setData(IndexByName(*size, "f2.jpg"), Qt::Checked, Qt::CheckStateRole));
  QCOMPARE(IndexByName(*path, "f2.jpg").data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(IndexByName(*path, "Trip").data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  QCOMPARE(m_recorder.saveFlags.back(), (std::tuple<util::TScanType, std::int64_t, bool>{util::stFATScan, 2, true}));
  QCOMPARE(IndexByName(*size, "1KB - 100KB").data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));

  m_recorder.scanning = true;
  QVERIFY(!type->setData(IndexByName(*type, "AVI"), Qt::Unchecked, Qt::CheckStateRole));
  QCOMPARE(IndexByName(*type, "AVI").data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void ResultTreesTest::clickOnCheckBoxTicksAndUnticks() {
  AddFat(*m_trees, 0, "E:\\a.jpg", "jpg", 10);
  m_trees->ExpandAll();
  QTreeView* view = m_trees->View(TreeKind::Path);
  const QModelIndex file = IndexByName(*m_trees->Model(TreeKind::Path), "a.jpg");
  auto clickBox = [&] {
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(file);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration |
                      QStyleOptionViewItem::HasDisplay;
    option.decorationSize = view->iconSize();
    const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
  };
  clickBox();
  QCOMPARE(file.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  // The view's tri-state cycle would ask for the mixed state next; a file goes back to checked.
  clickBox();
  QCOMPARE(file.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(m_recorder.saveFlags.size(), std::size_t(2));
}

void ResultTreesTest::findFirstAndFindNext() {
  AddFat(*m_trees, 0, "E:\\Holiday\\beach.jpg", "jpg", 10);
  AddFat(*m_trees, 1, "E:\\Work\\beach plan.doc", "doc", 20);
  AddFat(*m_trees, 2, "E:\\Work\\notes.txt", "txt", 30);
  m_trees->Refresh();
  ResultTreeModel* path = m_trees->Model(TreeKind::Path);
  QTreeView* view = m_trees->View(TreeKind::Path);
  QVERIFY(m_trees->FindFirst(0, "BEACH"));
  QCOMPARE(view->currentIndex(), IndexByName(*path, "beach.jpg"));
  QCOMPARE(view->selectionModel()->selectedRows(), QModelIndexList{IndexByName(*path, "beach.jpg")});
  // The folders above a match open to show it.
  QVERIFY(view->isExpanded(IndexByName(*path, "Holiday")));
  QCOMPARE(path->NodeAt(IndexByName(*path, "Holiday"))->Data.Icon, wizard::kIconFolderOpen);
  QVERIFY(!view->isExpanded(IndexByName(*path, "Work")));
  QVERIFY(m_trees->FindNext(0, "beach"));
  QCOMPARE(view->currentIndex(), IndexByName(*path, "beach plan.doc"));
  QVERIFY(m_prompt.boxes.empty());
  QVERIFY(!m_trees->FindNext(0, "beach"));
  QCOMPARE(m_prompt.boxes.size(), std::size_t(1));
  QCOMPARE(m_prompt.boxes[0].text, "Text not found");
  QCOMPARE(m_prompt.boxes[0].buttons, util::PromptButtons::Ok);
  QCOMPARE(view->currentIndex(), IndexByName(*path, "beach plan.doc"));
  QVERIFY(!m_trees->FindFirst(0, ""));
  QVERIFY(!m_trees->FindNext(0, ""));
  QCOMPARE(m_prompt.boxes.size(), std::size_t(3));
  // Find Next without a selection starts at the top; the type tree is searched on tab 1.
  QVERIFY(m_trees->FindNext(1, "notes"));
  QCOMPARE(m_trees->View(TreeKind::Type)->currentIndex().data().toString(), QStringLiteral("notes.txt"));
  // In the size tree the band opens, and sorts, before the match is selected.
  QVERIFY(m_trees->FindFirst(2, "beach.jpg"));
  QCOMPARE(m_trees->View(TreeKind::Size)->currentIndex().data().toString(), QStringLiteral("beach.jpg"));
  QCOMPARE(m_trees->View(TreeKind::Size)->currentIndex().row(), 2);
  QVERIFY(!m_trees->FindFirst(3, "notes"));
}

void ResultTreesTest::expandingFollowsIconsAndSortsBands() {
  AddFat(*m_trees, 0, "E:\\A\\B\\small.jpg", "jpg", 2000);
  AddFat(*m_trees, 1, "E:\\A\\large.jpg", "jpg", 90000);
  AddFat(*m_trees, 2, "E:\\middle.jpg", "jpg", 50000);
  m_trees->Refresh();
  ResultTreeModel* size = m_trees->Model(TreeKind::Size);
  const QModelIndex band = IndexByName(*size, "1KB - 100KB");
  auto names = [&] {
    QStringList rows;
    for (int r = 0; r < size->rowCount(band); ++r) rows << size->index(r, 0, band).data().toString();
    return rows;
  };
  QCOMPARE(names(), (QStringList{"small.jpg", "large.jpg", "middle.jpg"}));
  // Expanded by the user in the view: the band sorts by size, largest first.
  QPersistentModelIndex small(size->index(0, 0, band));
  m_trees->View(TreeKind::Size)->expand(band);
  QCOMPARE(names(), (QStringList{"large.jpg", "middle.jpg", "small.jpg"}));
  QCOMPARE(small.row(), 2);
  QCOMPARE(size->NodeAt(band)->Data.Icon, wizard::kIconFolderOpen);
  QCOMPARE(band.data(Qt::DecorationRole).value<QPixmap>().cacheKey(),
           m_trees->Store().Images().Image(wizard::kIconFolderOpen).cacheKey());

  m_trees->ExpandAll();
  ResultTreeModel* path = m_trees->Model(TreeKind::Path);
  for (const char* folder : {"Undelete Scan Results", "A", "B"}) {
    QVERIFY2(m_trees->View(TreeKind::Path)->isExpanded(IndexByName(*path, folder)), folder);
    QCOMPARE(path->NodeAt(IndexByName(*path, folder))->Data.Icon, wizard::kIconFolderOpen);
  }
  // An empty root has nothing to open.
  QCOMPARE(path->NodeAt(IndexByName(*path, "Low Level Scan Results"))->Data.Icon, wizard::kIconFolderClosed);
  m_trees->CollapseAll();
  for (TreeKind tree : kTrees) {
    for (const TreeNode* node = m_trees->Store().FirstNode(tree); node;
         node = wizard::ResultTreeStore::NextInTreeOrder(node)) {
      QVERIFY(!m_trees->View(tree)->isExpanded(m_trees->Model(tree)->IndexOf(node)));
      if (node->Data.IsFolder) QCOMPARE(node->Data.Icon, wizard::kIconFolderClosed);
    }
  }
  // Collapsing by the user in the view closes the icon too.
  m_trees->ExpandAll();
  m_trees->View(TreeKind::Path)->collapse(IndexByName(*path, "A"));
  QCOMPARE(path->NodeAt(IndexByName(*path, "A"))->Data.Icon, wizard::kIconFolderClosed);
}

void ResultTreesTest::coalescedExpandEndsInTheSameView() {
  wizard::ResultTrees eachFile;
  eachFile.resize(900, 600);
  eachFile.show();
  eachFile.AddRootFolders();
  AddSample(*m_trees, m_bitmap, false);
  AddSample(eachFile, m_bitmap, true);
  EndOfRun(*m_trees);
  EndOfRun(eachFile);
  for (TreeKind tree : kTrees) {
    const QStringList shown = Shown(*m_trees, tree);
    QCOMPARE(shown, Shown(eachFile, tree));
    QVERIFY(!shown.isEmpty());
    // The open-folder icon exactly where the view shows a folder open.
    for (const QString& row : shown) {
      const QStringList parts = row.split(' ');
      const bool open = parts.last() == QString::number(wizard::kIconFolderOpen);
      QVERIFY2((parts[parts.size() - 2] == "1") == open, qPrintable(row));
    }
  }
  for (const TreeNode* folder = m_trees->Store().FirstNode(TreeKind::Path); folder;
       folder = wizard::ResultTreeStore::NextInTreeOrder(folder)) {
    if (folder->Data.IsFolder) QCOMPARE(folder->Expanded, !folder->Children.empty());
  }
}

QTEST_MAIN(ResultTreesTest)
#include "ResultTreesTest.moc"
