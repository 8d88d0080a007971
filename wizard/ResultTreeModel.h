#pragma once
// ResultTreeModel: one result tree of a ResultTreeStore as a Qt item model,
// five columns (name, size, thumbnail, type, full path). Rows appended to the
// store reach the views in batches: Flush() announces everything appended
// since the last call, one insertion per parent. Check boxes sit in column 0;
// ticking goes through the store, which keeps folders tri-state and passes the
// change to the twins in the other trees. The model registers itself as the
// store's listener for its tree and must not outlive the store.

#include "wizard/ResultTreeStore.h"

#include <QAbstractItemModel>
#include <QList>
#include <QModelIndex>

#include <vector>

namespace wizard {

class ResultTreeModel : public QAbstractItemModel, public TreeListener {
  Q_OBJECT
 public:
  enum Column { kNameColumn = 0, kSizeColumn, kThumbnailColumn, kTypeColumn, kPathColumn, kColumnCount };
  enum Role {
    // The unformatted value: name, size as a 64-bit number, image index, extension, path.
    RawValueRole = Qt::UserRole + 1,
    IdRole,       // "F…"/"L…" for files, empty for folders
    IsFolderRole  // bool
  };

  ResultTreeModel(ResultTreeStore& store, TreeKind tree, QObject* parent = nullptr);
  ~ResultTreeModel() override;

  TreeKind Tree() const { return m_tree; }
  ResultTreeStore& Store() const { return m_store; }
  // The node behind an index of any column; none for an invalid index.
  TreeNode* NodeAt(const QModelIndex& index) const;
  // Invalid for the root and for a node not announced yet.
  QModelIndex IndexOf(const TreeNode* node, int column = 0) const;
  // Announces the rows appended since the last call.
  void Flush();
  bool HasPendingRows() const { return !m_pending.empty(); }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  void ChildAppended(TreeNode* parent) override;
  void NodesChanged(const std::vector<TreeNode*>& nodes, Change change) override;
  void AboutToReorder(const std::vector<TreeNode*>& parents) override;
  void Reordered(const std::vector<TreeNode*>& parents) override;
  void AboutToClear() override;
  void Cleared() override;

 private:
  bool IsAnnounced(const TreeNode* node) const;
  QList<QPersistentModelIndex> ParentIndexes(const std::vector<TreeNode*>& parents) const;
  QVariant DisplayText(const FileNode& data, int column) const;
  QVariant RawValue(const FileNode& data, int column) const;

  ResultTreeStore& m_store;
  TreeKind m_tree;
  // Parents with appended, unannounced children, in the order they were first touched.
  std::vector<TreeNode*> m_pending;
  QModelIndexList m_reordering;
};

}  // namespace wizard
