// Ticking in the result trees: tri-state folders, twins, save flags and totals.

#include "wizard/ResultTreeStore.h"

#include <QCursor>
#include <QGuiApplication>

#include <array>
#include <charconv>

namespace wizard {
namespace {

class WaitCursor {
 public:
  WaitCursor() : m_set(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (m_set) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~WaitCursor() {
    if (m_set) QGuiApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool m_set;
};

// `node` and everything below it take `state`; the nodes that changed are collected in tree order.
void SetSubtree(TreeNode* node, Qt::CheckState state, std::vector<TreeNode*>& changed) {
  std::vector<TreeNode*> pending{node};
  while (!pending.empty()) {
    TreeNode* current = pending.back();
    pending.pop_back();
    if (current->State != state) {
      current->State = state;
      changed.push_back(current);
    }
    for (auto child = current->Children.rbegin(); child != current->Children.rend(); ++child) {
      pending.push_back(*child);
    }
  }
}

Qt::CheckState StateFromChildren(const TreeNode& folder) {
  bool anyChecked = false;
  bool anyUnchecked = false;
  for (const TreeNode* child : folder.Children) {
    if (child->State == Qt::PartiallyChecked) return Qt::PartiallyChecked;
    (child->State == Qt::Checked ? anyChecked : anyUnchecked) = true;
    if (anyChecked && anyUnchecked) return Qt::PartiallyChecked;
  }
  return anyUnchecked ? Qt::Unchecked : Qt::Checked;
}

// The folders above a change show checked, unchecked or mixed after their children.
void UpdateAncestors(TreeNode* folder, std::vector<TreeNode*>& changed) {
  for (; folder != nullptr && folder->Parent != nullptr; folder = folder->Parent) {
    const Qt::CheckState state = StateFromChildren(*folder);
    if (state == folder->State) return;
    folder->State = state;
    changed.push_back(folder);
  }
}

// One "EXT:n" call per extension with the summed count gives the table the counts that one
// call per file would. An extension the token format cannot carry goes file by file as it is.
class TypeCounts {
 public:
  void Add(std::string_view extension, int delta) {
    if (extension.find_first_of(" :") != std::string_view::npos) {
      m_verbatim.push_back(std::string(extension) + ":" + (delta > 0 ? "1" : "-1"));
      return;
    }
    const auto [at, added] = m_index.try_emplace(extension, m_counts.size());
    if (added) m_counts.emplace_back(extension, 0);
    m_counts[at->second].second += delta;
  }
  void Send(const std::function<void(const std::string&, int)>& update) const {
    if (!update) return;
    for (const auto& [extension, count] : m_counts) {
      if (count != 0) update(std::string(extension) + ":" + std::to_string(count), 2);
    }
    for (const std::string& token : m_verbatim) update(token, 2);
  }

 private:
  std::vector<std::pair<std::string_view, std::int64_t>> m_counts;
  std::unordered_map<std::string_view, std::size_t> m_index;
  std::vector<std::string> m_verbatim;
};

}  // namespace

bool ResultTreeStore::SetCheckState(TreeNode* node, Qt::CheckState requested) {
  if (node == nullptr || node->Parent == nullptr || m_syncing) return false;
  if (Events.Scanning && Events.Scanning()) return false;
  const Qt::CheckState state = requested == Qt::Unchecked ? Qt::Unchecked : Qt::Checked;
  if (node->State == state) return true;
  WaitCursor cursor;
  // A callback that ticks again while this change is spreading is refused.
  struct Syncing {
    bool& flag;
    explicit Syncing(bool& f) : flag(f) { flag = true; }
    ~Syncing() { flag = false; }
  } syncing(m_syncing);
  std::vector<TreeNode*> changed;
  SetSubtree(node, state, changed);
  UpdateAncestors(node->Parent, changed);
  ApplyTicks(node->Tree, changed);
  return true;
}

void ResultTreeStore::ApplyTicks(TreeKind tree, const std::vector<TreeNode*>& changed) {
  std::array<std::vector<TreeNode*>, kTreeCount> twins;
  TypeCounts counts;
  for (const TreeNode* node : changed) {
    if (node->Data.IsFolder) continue;
    // Set directly: the folders above the twins keep the state they show.
    for (TreeNode* twin : {node->Data.PathNode, node->Data.TypeNode, node->Data.SizeNode}) {
      if (twin == nullptr) continue;
      twin->State = node->State;
      twins[Index(twin->Tree)].push_back(twin);
    }
    const bool checked = node->State == Qt::Checked;
    const std::string_view id = node->Data.ID;
    std::int64_t index = 0;
    const bool numbered = id.size() > 1 && std::from_chars(id.data() + 1, id.data() + id.size(), index).ec == std::errc();
    if (numbered && Events.SetSaveFlag && (id[0] == 'F' || id[0] == 'L')) {
      Events.SetSaveFlag(id[0] == 'F' ? util::stFATScan : util::stLowScan, index, checked);
    }
    counts.Add(node->Data.Extension, checked ? 1 : -1);
  }
  Notify(tree, changed, TreeListener::Change::CheckState);
  for (int other = 0; other < kTreeCount; ++other) {
    Notify(static_cast<TreeKind>(other), twins[static_cast<std::size_t>(other)], TreeListener::Change::CheckState);
  }
  counts.Send(Events.UpdateFileTypesTable);
  if (Events.UpdateClickStatus) Events.UpdateClickStatus(false);
}

void ResultTreeStore::MarkFile(std::string_view id, std::string_view note) {
  TreeNode* file = FindFile(id);
  if (file == nullptr || m_syncing) return;
  const std::string_view kept = m_texts.Intern(note);
  const bool wasTicked = file->State != Qt::Unchecked;
  std::array<std::vector<TreeNode*>, kTreeCount> changed;
  for (TreeNode* node : {file, file->Data.TypeNode, file->Data.SizeNode}) {
    if (node == nullptr) continue;
    node->Data.Note = kept;
    std::vector<TreeNode*>& list = changed[Index(node->Tree)];
    list.push_back(node);
    if (node->State == Qt::Unchecked) continue;
    node->State = Qt::Unchecked;
    UpdateAncestors(node->Parent, list);
  }
  for (int tree = 0; tree < kTreeCount; ++tree) {
    Notify(static_cast<TreeKind>(tree), changed[static_cast<std::size_t>(tree)], TreeListener::Change::CheckState);
  }
  std::int64_t index = 0;
  const std::string_view number = id.substr(1);
  if (!wasTicked || id.empty() ||
      std::from_chars(number.data(), number.data() + number.size(), index).ec != std::errc()) {
    return;
  }
  if (Events.SetSaveFlag) Events.SetSaveFlag(id[0] == 'F' ? util::stFATScan : util::stLowScan, index, false);
  TypeCounts counts;
  counts.Add(file->Data.Extension, -1);
  counts.Send(Events.UpdateFileTypesTable);
}

void ResultTreeStore::CheckVTree(TreeKind tree, std::string_view id, bool checked) {
  const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
  std::vector<TreeNode*> changed;
  if (id.empty()) {
    for (TreeNode* top : Root(tree).Children) SetSubtree(top, state, changed);
  } else if (TreeNode* file = FindFile(id)) {
    TreeNode* node = tree == TreeKind::Path ? file : tree == TreeKind::Type ? file->Data.TypeNode : file->Data.SizeNode;
    if (node != nullptr && node->State != state) {
      node->State = state;
      changed.push_back(node);
    }
  }
  Notify(tree, changed, TreeListener::Change::CheckState);
}

void ResultTreeStore::SelectAll(bool checked) {
  WaitCursor cursor;
  if (Events.SetAllSaveFlags) {
    Events.SetAllSaveFlags(util::stLowScan, checked);
    Events.SetAllSaveFlags(util::stFATScan, checked);
  }
  for (TreeKind tree : {TreeKind::Path, TreeKind::Type, TreeKind::Size}) CheckVTree(tree, "", checked);
  if (Events.UpdateFileTypesTable) Events.UpdateFileTypesTable("", checked ? 4 : 3);
  if (Events.UpdateClickStatus) Events.UpdateClickStatus(false);
}

}  // namespace wizard
