#include "wizard/ResultTreeModel.h"

#include <QColor>

#include "util/SizeText.h"

#include <unordered_map>

namespace wizard {
namespace {

// Every node below a newly announced row comes with it.
void AnnounceSubtree(TreeNode* node) {
  std::vector<TreeNode*> pending{node};
  while (!pending.empty()) {
    TreeNode* current = pending.back();
    pending.pop_back();
    current->Announced = static_cast<std::int32_t>(current->Children.size());
    for (TreeNode* child : current->Children) {
      if (!child->Children.empty()) pending.push_back(child);
    }
  }
}

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

ResultTreeModel::ResultTreeModel(ResultTreeStore& store, TreeKind tree, QObject* parent)
    : QAbstractItemModel(parent), m_store(store), m_tree(tree) {
  m_store.SetListener(tree, this);
  // Whatever the store holds already is shown at once.
  AnnounceSubtree(&m_store.Root(tree));
}

ResultTreeModel::~ResultTreeModel() { m_store.SetListener(m_tree, nullptr); }

TreeNode* ResultTreeModel::NodeAt(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<TreeNode*>(index.internalPointer());
}

bool ResultTreeModel::IsAnnounced(const TreeNode* node) const {
  for (; node->Parent != nullptr; node = node->Parent) {
    if (node->Row >= node->Parent->Announced) return false;
  }
  return true;
}

QModelIndex ResultTreeModel::IndexOf(const TreeNode* node, int column) const {
  if (node == nullptr || node->Parent == nullptr || node->Tree != m_tree || !IsAnnounced(node)) return {};
  return createIndex(node->Row, column, const_cast<TreeNode*>(node));
}

QModelIndex ResultTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= kColumnCount || (parent.isValid() && parent.column() != 0)) return {};
  const TreeNode* owner = parent.isValid() ? NodeAt(parent) : &m_store.Root(m_tree);
  if (owner == nullptr || row >= owner->Announced) return {};
  return createIndex(row, column, owner->Children[static_cast<std::size_t>(row)]);
}

QModelIndex ResultTreeModel::parent(const QModelIndex& child) const {
  const TreeNode* node = NodeAt(child);
  if (node == nullptr || node->Parent == nullptr || node->Parent->Parent == nullptr) return {};
  return createIndex(node->Parent->Row, 0, node->Parent);
}

int ResultTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return m_store.Root(m_tree).Announced;
  if (parent.column() != 0) return 0;
  const TreeNode* node = NodeAt(parent);
  return node == nullptr ? 0 : node->Announced;
}

int ResultTreeModel::columnCount(const QModelIndex&) const { return kColumnCount; }

bool ResultTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant ResultTreeModel::DisplayText(const FileNode& data, int column) const {
  switch (column) {
    case kNameColumn:
      return data.Note.empty() ? Text(data.Name) : Text(data.Name) + QStringLiteral("  \u2014 ") + Text(data.Note);
    case kSizeColumn:
      return data.Size > 0 ? Text(util::GetSizeDescription(data.Size)) : QString();
    case kTypeColumn:
      return Text(data.Extension);
    case kPathColumn:
      return Text(data.Path);
    default:
      return {};
  }
}

QVariant ResultTreeModel::RawValue(const FileNode& data, int column) const {
  switch (column) {
    case kNameColumn:
      return Text(data.Name);
    case kSizeColumn:
      return QVariant::fromValue<qint64>(data.Size);
    case kThumbnailColumn:
      return data.ImageIndex;
    case kTypeColumn:
      return Text(data.Extension);
    default:
      return Text(data.Path);
  }
}

QVariant ResultTreeModel::data(const QModelIndex& index, int role) const {
  const TreeNode* node = NodeAt(index);
  if (node == nullptr) return {};
  const FileNode& data = node->Data;
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return DisplayText(data, column);
    case Qt::DecorationRole:
      // A file shows the desktop's icon for its type; its thumbnail where the picture was read.
      if (column == kNameColumn) {
        return data.IsFolder ? m_store.Images().Image(data.Icon)
                             : m_store.Images().TypeIcon(data.Extension, data.ImageIndex < kFixedIconCount
                                                                             ? data.ImageIndex
                                                                             : static_cast<int>(kIconImage));
      }
      if (column == kThumbnailColumn && data.ImageIndex >= kFixedIconCount) {
        return m_store.Images().Image(data.ImageIndex);
      }
      if (column == kThumbnailColumn && data.ImageIndex >= 0) {
        return m_store.Images().TypeIcon(data.Extension, data.ImageIndex);
      }
      return {};
    case Qt::ForegroundRole:
      // A file left unticked by the program reads as secondary.
      if (!data.Note.empty()) return QColor(Qt::darkGray);
      return {};
    case Qt::CheckStateRole:
      return column == kNameColumn ? QVariant(static_cast<int>(node->State)) : QVariant();
    case RawValueRole:
      return RawValue(data, column);
    case IdRole:
      return Text(data.ID);
    case IsFolderRole:
      return data.IsFolder;
    default:
      return {};
  }
}

bool ResultTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TreeNode* node = NodeAt(index);
  if (node == nullptr || role != Qt::CheckStateRole || index.column() != kNameColumn) return false;
  return m_store.SetCheckState(node, static_cast<Qt::CheckState>(value.toInt()));
}

Qt::ItemFlags ResultTreeModel::flags(const QModelIndex& index) const {
  const TreeNode* node = NodeAt(index);
  if (node == nullptr) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kNameColumn) flags |= Qt::ItemIsUserCheckable | Qt::ItemIsUserTristate;
  if (!node->Data.IsFolder) flags |= Qt::ItemNeverHasChildren;
  return flags;
}

QVariant ResultTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kFirst[kTreeCount] = {"Path / Name", "File Type / Name", "File Size / Name"};
  static const char* const kOthers[] = {"Size", "Thumbnail", "Type", "Full Path"};
  if (section == kNameColumn) return QString::fromLatin1(kFirst[static_cast<int>(m_tree)]);
  if (section > kNameColumn && section < kColumnCount) return QString::fromLatin1(kOthers[section - 1]);
  return {};
}

void ResultTreeModel::ChildAppended(TreeNode* parent) {
  if (m_pending.empty() || m_pending.back() != parent) m_pending.push_back(parent);
}

void ResultTreeModel::Flush() {
  std::vector<TreeNode*> pending;
  pending.swap(m_pending);
  for (TreeNode* parent : pending) {
    const int shown = parent->Announced;
    const int total = static_cast<int>(parent->Children.size());
    // A parent not shown yet comes with the rows of the folder above it.
    if (shown >= total || !IsAnnounced(parent)) continue;
    beginInsertRows(IndexOf(parent), shown, total - 1);
    for (int row = shown; row < total; ++row) AnnounceSubtree(parent->Children[static_cast<std::size_t>(row)]);
    parent->Announced = total;
    endInsertRows();
  }
}

void ResultTreeModel::NodesChanged(const std::vector<TreeNode*>& nodes, Change change) {
  Flush();
  // One range per parent, from the first to the last changed row.
  std::vector<TreeNode*> parents;
  std::unordered_map<TreeNode*, std::pair<int, int>> ranges;
  for (const TreeNode* node : nodes) {
    if (node->Parent == nullptr) continue;
    const auto [at, added] = ranges.try_emplace(node->Parent, node->Row, node->Row);
    if (added) {
      parents.push_back(node->Parent);
    } else {
      at->second.first = std::min(at->second.first, node->Row);
      at->second.second = std::max(at->second.second, node->Row);
    }
  }
  const QList<int> roles{change == Change::CheckState ? Qt::CheckStateRole : Qt::DecorationRole};
  for (TreeNode* parent : parents) {
    const auto [first, last] = ranges[parent];
    const TreeNode* top = parent->Children[static_cast<std::size_t>(first)];
    const TreeNode* bottom = parent->Children[static_cast<std::size_t>(last)];
    emit dataChanged(IndexOf(top, kNameColumn), IndexOf(bottom, kNameColumn), roles);
  }
}

QList<QPersistentModelIndex> ResultTreeModel::ParentIndexes(const std::vector<TreeNode*>& parents) const {
  QList<QPersistentModelIndex> indexes;
  for (const TreeNode* parent : parents) indexes.append(QPersistentModelIndex(IndexOf(parent)));
  return indexes;
}

void ResultTreeModel::AboutToReorder(const std::vector<TreeNode*>& parents) {
  Flush();
  emit layoutAboutToBeChanged(ParentIndexes(parents), QAbstractItemModel::VerticalSortHint);
  m_reordering = persistentIndexList();
}

void ResultTreeModel::Reordered(const std::vector<TreeNode*>& parents) {
  QModelIndexList moved;
  moved.reserve(m_reordering.size());
  for (const QModelIndex& old : m_reordering) moved.append(IndexOf(NodeAt(old), old.column()));
  changePersistentIndexList(m_reordering, moved);
  m_reordering.clear();
  emit layoutChanged(ParentIndexes(parents), QAbstractItemModel::VerticalSortHint);
}

void ResultTreeModel::AboutToClear() {
  beginResetModel();
  m_pending.clear();
}

void ResultTreeModel::Cleared() {
  m_store.Root(m_tree).Announced = 0;
  endResetModel();
}

}  // namespace wizard
