#pragma once
// ResultTreeStore: the nodes of the three result trees (by path, by file type,
// by size band) and everything that happens to them. Each found file has one
// node in every tree and the three point at one another; folders, type groups
// and size bands are tri-state. The store owns the nodes and the shared image
// list; one ResultTreeModel per tree shows them (it registers as the tree's
// listener). The store reaches the scanners and the file-type table only
// through the callbacks in `Events`. GUI thread only; a QGuiApplication must
// exist (the image list renders its icons).

#include "util/MemoryStream.h"
#include "util/Types.h"
#include "wizard/TextPool.h"
#include "wizard/TreeImages.h"

#include <Qt>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wizard {

enum class TreeKind : int { Path = 0, Type = 1, Size = 2 };
inline constexpr int kTreeCount = 3;

struct TreeNode;

// The data of every node of the three trees. Its texts belong to the store, which keeps
// each once for all nodes that show it; they stay valid until ClearResults.
struct FileNode {
  std::string_view Name;       // file name, folder name, type group or band name
  std::string_view Extension;  // files only, as the scanner reported it
  std::string_view Path;       // files only: the folder key in the path tree
  std::string_view Key;        // folders: full key ("Undelete\DCIM\"); files: path, upper-case extension or band
  std::string_view ID;         // files only: "F" or "L" and the scanner's index
  std::string_view Note;       // files only: why the file is left unticked ("still on the drive"), if it is
  std::int32_t Icon = kIconFile;  // folders: 1 collapsed, 2 expanded
  std::int32_t ImageIndex = -1;   // files: thumbnail or 3, 4, 5
  std::int64_t Size = 0;
  bool IsFolder = false;
  // The twins of a file in the other two trees; none for the node's own tree and for folders.
  TreeNode* PathNode = nullptr;
  TreeNode* TypeNode = nullptr;
  TreeNode* SizeNode = nullptr;
  // Path-tree file nodes only: the kept copy of the picture-check bitmap, for previews.
  std::unique_ptr<util::TMemoryStream> Thumbnail;
};

struct TreeNode {
  FileNode Data;
  TreeNode* Parent = nullptr;  // the tree's invisible root for top-level nodes, none for the root
  std::vector<TreeNode*> Children;
  std::int32_t Row = 0;        // index in Parent->Children
  std::int32_t Announced = 0;  // children the tree's model has told its views about
  Qt::CheckState State = Qt::Checked;
  TreeKind Tree = TreeKind::Path;
  bool Expanded = false;
};

// What a tree's model hears of changes to its nodes.
class TreeListener {
 public:
  enum class Change { CheckState, Icon };
  virtual ~TreeListener() = default;
  // A child was appended to `parent`; the model may announce it later, in a batch.
  virtual void ChildAppended(TreeNode* parent) = 0;
  virtual void NodesChanged(const std::vector<TreeNode*>& nodes, Change change) = 0;
  // The children of `parents` (of every node when empty) are about to be, or have been, reordered.
  virtual void AboutToReorder(const std::vector<TreeNode*>& parents) = 0;
  virtual void Reordered(const std::vector<TreeNode*>& parents) = 0;
  virtual void AboutToClear() = 0;
  virtual void Cleared() = 0;
};

// The store's way out to the scanners and the totals; unset callbacks are skipped.
struct ResultTreeEvents {
  // The owning scanner's save flag of file `index`.
  std::function<void(util::TScanType scanner, std::int64_t index, bool save)> SetSaveFlag;
  std::function<void(util::TScanType scanner, bool save)> SetAllSaveFlags;
  // The file-type table: "EXT:n" tokens and the table's mode (2 tick counts, 3 none, 4 all).
  std::function<void(const std::string& data, int mode)> UpdateFileTypesTable;
  std::function<void(bool showWarning)> UpdateClickStatus;
  // True while a scan run is going on; tick changes are refused then.
  std::function<bool()> Scanning;
};

class ResultTreeStore {
 public:
  ResultTreeStore();
  ~ResultTreeStore();
  ResultTreeStore(const ResultTreeStore&) = delete;
  ResultTreeStore& operator=(const ResultTreeStore&) = delete;

  ResultTreeEvents Events;

  void SetListener(TreeKind tree, TreeListener* listener) { m_trees[Index(tree)].listener = listener; }
  TreeNode& Root(TreeKind tree) { return m_trees[Index(tree)].root; }
  const TreeNode& Root(TreeKind tree) const { return m_trees[Index(tree)].root; }
  const TreeImageList& Images() const { return m_images; }

  // Empties the three trees and drops the thumbnails of the last run (the six icons stay).
  void ClearResults();
  // The roots of a scan run: "Undelete Scan Results" and "Low Level Scan Results" in the path
  // tree, the five size bands in the size tree; all checked.
  void AddRootFolders();
  // One reported file into the three trees, with `sID` already "F"/"L"-prefixed and `sPrefix`
  // "Undelete\" or "LowScan\". `xImage` is the picture-check bitmap or none.
  void AddTreeEntry(util::TScanType xSource, const std::string& sID, const std::string& sFullName,
                    const std::string& sExtension, const std::string& sPrefix, std::int64_t iSize,
                    const util::TMemoryStream* xImage, util::TFileType xType);
  // The folder a file with key `path` belongs under, created as needed; none for the top level.
  TreeNode* GetInsertionNode(TreeKind tree, std::string_view path);
  // The folder whose key equals `path` without regard to case.
  TreeNode* FindDirectoryNode(TreeKind tree, std::string_view path) const;
  // The path-tree node of a file by its identifier.
  TreeNode* FindFile(std::string_view id) const;
  std::size_t FileCount() const { return m_files.size(); }

  // Kept thumbnail copies: counted per run and capped by MaxImageHints.
  std::int64_t ImageHintCount() const { return m_imageHintCount; }
  void SetImageHintCount(std::int64_t count) { m_imageHintCount = count; }
  std::int64_t MaxImageHints() const { return m_maxImageHints; }
  void SetMaxImageHints(std::int64_t count) { m_maxImageHints = count; }

  // A tick or untick by the user (or a view): refused while scanning. A folder passes the state to
  // everything below it; the twins of each changed file follow without changing the folders above
  // them; save flags, type counts and totals are updated once for the whole change. A mixed state
  // asked for counts as checked (the next state after unchecked). False when refused.
  bool SetCheckState(TreeNode* node, Qt::CheckState requested);
  // Sets states directly, without tick consequences: every node of the tree for an empty `id`,
  // else only the tree's node of that file.
  void CheckVTree(TreeKind tree, std::string_view id, bool checked);
  // A file the program itself leaves unticked, with the reason shown beside its name; allowed during a
  // scan run. Its three nodes, the folders above them, its save flag and its type's count follow.
  void MarkFile(std::string_view id, std::string_view note);
  // "Select All / None": every save flag, every node of the three trees, the type table, the totals.
  void SelectAll(bool checked);

  // The first node after `start` in its tree's order (depth first, expanded or not; `start` itself
  // is not looked at) whose name, or else path, holds `text` without regard to case. Empty text
  // never matches; nor does anything after no start.
  static TreeNode* SearchTreeForText(const TreeNode* start, std::string_view text);
  TreeNode* FirstNode(TreeKind tree) const;
  static TreeNode* NextInTreeOrder(const TreeNode* node);

  // Expansion as the views show it: the folder icon follows, and a size band sorts its files by
  // size, largest first, each time it expands. Folders without children stay collapsed.
  bool SetExpanded(TreeNode* folder, bool expanded);
  // Every folder of the tree; the folders that opened, in creation order (parents first), or
  // the number that closed.
  std::vector<TreeNode*> ExpandAllFolders(TreeKind tree);
  std::size_t CollapseAllFolders(TreeKind tree);
  // The whole type tree by name, ascending, without regard to case.
  void SortTypeTree();

 private:
  struct Tree {
    TreeNode root;
    TreeListener* listener = nullptr;
    // Folders by upper-cased key, and in creation order.
    std::unordered_map<std::string, TreeNode*> folders;
    std::vector<TreeNode*> folderList;
  };
  class NodePool;

  static std::size_t Index(TreeKind tree) { return static_cast<std::size_t>(tree); }
  Tree& TreeOf(TreeKind tree) { return m_trees[Index(tree)]; }
  TreeNode* AppendNode(TreeKind tree, TreeNode* parent);
  TreeNode* AddFolder(TreeKind tree, TreeNode* parent, std::string_view name, std::string_view key);
  TreeNode* AddFileNode(TreeKind tree, TreeNode* parent, const FileNode& common, std::string_view key);
  void SortChildren(TreeNode& parent, bool bySize);
  void ApplyTicks(TreeKind tree, const std::vector<TreeNode*>& changed);
  void Notify(TreeKind tree, const std::vector<TreeNode*>& nodes, TreeListener::Change change);

  std::array<Tree, kTreeCount> m_trees;
  std::unique_ptr<NodePool> m_pool;
  // Path-tree file nodes by identifier; the key views the node's own ID.
  std::unordered_map<std::string_view, TreeNode*> m_files;
  TextPool m_texts;
  TreeImageList m_images;
  std::int64_t m_imageHintCount = 0;
  std::int64_t m_maxImageHints = 0;
  bool m_syncing = false;
};

}  // namespace wizard
