#include "wizard/ResultTrees.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace wizard {
namespace {

constexpr int kNodeHeight = 35;
constexpr int kHeaderHeight = 20;
constexpr TreeKind kTrees[] = {TreeKind::Path, TreeKind::Type, TreeKind::Size};

// Rows of the trees' node height, with a horizontal grid line under each.
class NodeDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), kNodeHeight};
  }
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(QColor(0xe0, 0xe4, 0xea));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }
};

// A tree view whose next layout can be asked for, so that many folders expand with one layout.
class TreeView : public QTreeView {
 public:
  using QTreeView::QTreeView;
  using QAbstractItemView::executeDelayedItemsLayout;
  using QAbstractItemView::scheduleDelayedItemsLayout;
};

// The rows from the top of the tree down to `node`, which order nodes as the tree does.
std::vector<int> RowPath(const TreeNode* node) {
  std::vector<int> rows;
  for (; node != nullptr && node->Parent != nullptr; node = node->Parent) rows.push_back(node->Row);
  std::reverse(rows.begin(), rows.end());
  return rows;
}

}  // namespace

ResultTrees::ResultTrees(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ResultTrees"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName(QStringLiteral("tabs"));
  layout->addWidget(m_tabs);
  const struct {
    TreeKind tree;
    const char* view;
    const char* tab;
    const char* caption;
    int firstWidth;
  } kPages[] = {{TreeKind::Path, "VTree", "tab_Path", "View by Path", 400},
                {TreeKind::Type, "VTreeType", "tab_Type", "View by File Type", 300},
                {TreeKind::Size, "VTreeSize", "tab_Size", "View by Size", 300}};
  for (const auto& page : kPages) {
    auto* tab = new QWidget(m_tabs);
    tab->setObjectName(QString::fromLatin1(page.tab));
    auto* tabLayout = new QVBoxLayout(tab);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->addWidget(MakeView(page.tree, page.view, page.firstWidth));
    m_tabs->addTab(tab, QString::fromLatin1(page.caption));
  }
  m_tabs->setCurrentIndex(0);
  m_refresh.setSingleShot(true);
  connect(&m_refresh, &QTimer::timeout, this, &ResultTrees::Refresh);
}

ResultTrees::~ResultTrees() {
  // The views, children of this widget, outlive the members; they let go of the models first.
  for (QTreeView* view : m_views) view->setModel(nullptr);
}

QTreeView* ResultTrees::MakeView(TreeKind tree, const char* name, int firstWidth) {
  m_models[Index(tree)] = std::make_unique<ResultTreeModel>(m_store, tree);
  ResultTreeModel* model = m_models[Index(tree)].get();
  auto* view = new TreeView;
  view->setObjectName(QString::fromLatin1(name));
  view->setModel(model);
  view->setItemDelegate(new NodeDelegate(view));
  view->setUniformRowHeights(true);
  view->setIconSize(QSize(kTreeImageSide, kTreeImageSide));
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setAllColumnsShowFocus(true);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSortingEnabled(false);
  view->setMouseTracking(true);
  QHeaderView* header = view->header();
  header->setFixedHeight(kHeaderHeight);
  header->setSectionsMovable(true);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setStretchLastSection(false);
  // The size column fits its widest text in the font in use, never narrower than 70.
  const int sizeWidth = std::max(70, view->fontMetrics().horizontalAdvance(QStringLiteral("[8,888 Bytes]")) + 14);
  const int widths[] = {firstWidth, sizeWidth, 70, 70, 500};
  for (int column = 0; column < ResultTreeModel::kColumnCount; ++column) view->setColumnWidth(column, widths[column]);
  connect(view, &QTreeView::expanded, this,
          [this, model](const QModelIndex& index) { m_store.SetExpanded(model->NodeAt(index), true); });
  connect(view, &QTreeView::collapsed, this,
          [this, model](const QModelIndex& index) { m_store.SetExpanded(model->NodeAt(index), false); });
  m_views[Index(tree)] = view;
  return view;
}

void ResultTrees::ClearResults() {
  m_refresh.stop();
  m_expandWanted = false;
  m_store.ClearResults();
}

void ResultTrees::AddRootFolders() {
  m_store.AddRootFolders();
  ScheduleRefresh();
}

void ResultTrees::AddTreeEntry(util::TScanType xSource, const std::string& sID, const std::string& sFullName,
                               const std::string& sExtension, const std::string& sPrefix, std::int64_t iSize,
                               const util::TMemoryStream* xImage, util::TFileType xType) {
  m_store.AddTreeEntry(xSource, sID, sFullName, sExtension, sPrefix, iSize, xImage, xType);
  ScheduleRefresh();
}

void ResultTrees::ExpandAllSoon() {
  m_expandWanted = true;
  ScheduleRefresh();
}

void ResultTrees::ScheduleRefresh() {
  if (m_refresh.isActive()) return;
  const qint64 waited = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : m_wait;
  m_refresh.start(static_cast<int>(std::max<qint64>(0, m_wait - waited)));
}

void ResultTrees::FlushRows() {
  for (const auto& model : m_models) model->Flush();
}

void ResultTrees::Refresh() {
  m_refresh.stop();
  QElapsedTimer cost;
  cost.start();
  FlushRows();
  if (m_expandWanted) {
    m_expandWanted = false;
    for (TreeKind tree : kTrees) ExpandTree(tree);
  }
  // The shown view lays out all its rows now, so the cost of a refresh can be measured; the
  // next one waits ten times as long, which keeps layouts to a tenth of the time whatever the
  // number of rows. Hidden views lay out once when they are shown.
  for (QTreeView* view : m_views) {
    if (view->isVisible()) static_cast<TreeView*>(view)->executeDelayedItemsLayout();
  }
  m_wait = m_interval == 0 ? 0 : std::max<qint64>(m_interval, 10 * cost.elapsed());
  m_sinceRefresh.start();
}

void ResultTrees::ExpandTree(TreeKind tree) {
  Model(tree)->Flush();
  // Marked in the store first, so the view's own expanded signals find nothing to do.
  const std::vector<TreeNode*> opened = m_store.ExpandAllFolders(tree);
  if (opened.empty()) return;
  // With a layout pending, each expand only notes the folder; one layout follows when the view
  // is next shown, instead of one per folder (or one per hidden view) now.
  auto* view = static_cast<TreeView*>(View(tree));
  view->scheduleDelayedItemsLayout();
  for (const TreeNode* folder : opened) view->expand(Model(tree)->IndexOf(folder));
}

void ResultTrees::CollapseTree(TreeKind tree) {
  Model(tree)->Flush();
  if (m_store.CollapseAllFolders(tree) > 0) View(tree)->collapseAll();
}

void ResultTrees::ExpandAll() {
  m_expandWanted = false;
  Refresh();
  for (TreeKind tree : kTrees) ExpandTree(tree);
}

void ResultTrees::CollapseAll() {
  Refresh();
  for (TreeKind tree : kTrees) CollapseTree(tree);
}

void ResultTrees::SortTypeTree() {
  FlushRows();
  m_store.SortTypeTree();
}

void ResultTrees::SelectAll(bool checked) {
  FlushRows();
  m_store.SelectAll(checked);
}

void ResultTrees::CheckVTree(TreeKind tree, const std::string& id, bool checked) {
  FlushRows();
  m_store.CheckVTree(tree, id, checked);
}

bool ResultTrees::FindFirst(int tab, const std::string& text) { return Find(tab, text, false); }

bool ResultTrees::FindNext(int tab, const std::string& text) { return Find(tab, text, true); }

const TreeNode* ResultTrees::FirstSelected(TreeKind tree) const {
  const TreeNode* first = nullptr;
  std::vector<int> firstRows;
  for (const QModelIndex& index : View(tree)->selectionModel()->selectedRows()) {
    const TreeNode* node = Model(tree)->NodeAt(index);
    std::vector<int> rows = RowPath(node);
    if (first == nullptr || rows < firstRows) {
      first = node;
      firstRows = std::move(rows);
    }
  }
  return first;
}

bool ResultTrees::Find(int tab, const std::string& text, bool fromSelection) {
  if (tab < 0 || tab >= kTreeCount) return false;
  const TreeKind tree = kTrees[tab];
  FlushRows();
  const TreeNode* start = fromSelection ? FirstSelected(tree) : nullptr;
  if (start == nullptr) start = m_store.FirstNode(tree);
  TreeNode* found = ResultTreeStore::SearchTreeForText(start, text);
  if (found == nullptr) {
    m_prompt->Ask("Trellmond", "Text not found", util::PromptButtons::Ok, util::PromptIcon::Information);
    return false;
  }
  Reveal(tree, found);
  return true;
}

void ResultTrees::Reveal(TreeKind tree, TreeNode* node) {
  QTreeView* view = View(tree);
  std::vector<TreeNode*> folders;
  for (TreeNode* folder = node->Parent; folder != nullptr && folder->Parent != nullptr; folder = folder->Parent) {
    folders.push_back(folder);
  }
  // From the top down: expanding a size band sorts it, which moves the rows below it.
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    m_store.SetExpanded(*folder, true);
    view->expand(Model(tree)->IndexOf(*folder));
  }
  const QModelIndex index = Model(tree)->IndexOf(node);
  view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view->scrollTo(index);
  view->setFocus();
}

}  // namespace wizard
