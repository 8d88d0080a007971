// Walking, searching, expanding and sorting the result trees.

#include "wizard/ResultTreeStore.h"

#include "util/Text.h"

#include <algorithm>

namespace wizard {
namespace {

// Ordinal comparison of the ASCII upper-cased texts.
int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    auto upper = [](char c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); };
    const unsigned char x = upper(a[i]);
    const unsigned char y = upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Whether `text` holds `upperPart` (already upper-cased) without regard to case.
bool ContainsUpper(std::string_view text, std::string_view upperPart) {
  auto same = [](char c, char upper) { return (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == upper; };
  return std::search(text.begin(), text.end(), upperPart.begin(), upperPart.end(), same) != text.end();
}

}  // namespace

TreeNode* ResultTreeStore::FirstNode(TreeKind tree) const {
  const TreeNode& root = Root(tree);
  return root.Children.empty() ? nullptr : root.Children.front();
}

TreeNode* ResultTreeStore::NextInTreeOrder(const TreeNode* node) {
  if (!node->Children.empty()) return node->Children.front();
  while (node->Parent != nullptr) {
    const TreeNode* parent = node->Parent;
    const auto next = static_cast<std::size_t>(node->Row) + 1;
    if (next < parent->Children.size()) return parent->Children[next];
    node = parent;
  }
  return nullptr;
}

TreeNode* ResultTreeStore::SearchTreeForText(const TreeNode* start, std::string_view text) {
  if (text.empty() || start == nullptr) return nullptr;
  const std::string wanted = util::UpperCase(text);
  for (TreeNode* node = NextInTreeOrder(start); node != nullptr; node = NextInTreeOrder(node)) {
    if (ContainsUpper(node->Data.Name, wanted) || ContainsUpper(node->Data.Path, wanted)) return node;
  }
  return nullptr;
}

void ResultTreeStore::Notify(TreeKind tree, const std::vector<TreeNode*>& nodes, TreeListener::Change change) {
  TreeListener* listener = TreeOf(tree).listener;
  if (listener != nullptr && !nodes.empty()) listener->NodesChanged(nodes, change);
}

void ResultTreeStore::SortChildren(TreeNode& parent, bool bySize) {
  // Stable, so files of one size or one name keep the order in which they arrived.
  if (bySize) {
    std::stable_sort(parent.Children.begin(), parent.Children.end(),
                     [](const TreeNode* a, const TreeNode* b) { return a->Data.Size > b->Data.Size; });
  } else {
    std::stable_sort(parent.Children.begin(), parent.Children.end(), [](const TreeNode* a, const TreeNode* b) {
      return CompareNoCase(a->Data.Name, b->Data.Name) < 0;
    });
  }
  for (std::size_t i = 0; i < parent.Children.size(); ++i) parent.Children[i]->Row = static_cast<std::int32_t>(i);
}

bool ResultTreeStore::SetExpanded(TreeNode* folder, bool expanded) {
  if (folder == nullptr || folder->Parent == nullptr || !folder->Data.IsFolder) return false;
  if (folder->Expanded == expanded || (expanded && folder->Children.empty())) return false;
  folder->Expanded = expanded;
  folder->Data.Icon = expanded ? kIconFolderOpen : kIconFolderClosed;
  Notify(folder->Tree, {folder}, TreeListener::Change::Icon);
  if (expanded && folder->Tree == TreeKind::Size) {
    TreeListener* listener = TreeOf(TreeKind::Size).listener;
    if (listener) listener->AboutToReorder({folder});
    SortChildren(*folder, true);
    if (listener) listener->Reordered({folder});
  }
  return true;
}

std::vector<TreeNode*> ResultTreeStore::ExpandAllFolders(TreeKind tree) {
  Tree& owner = TreeOf(tree);
  std::vector<TreeNode*> opened;
  for (TreeNode* folder : owner.folderList) {
    if (folder->Expanded || folder->Children.empty()) continue;
    folder->Expanded = true;
    folder->Data.Icon = kIconFolderOpen;
    opened.push_back(folder);
  }
  Notify(tree, opened, TreeListener::Change::Icon);
  if (tree == TreeKind::Size && !opened.empty()) {
    if (owner.listener) owner.listener->AboutToReorder(opened);
    for (TreeNode* band : opened) SortChildren(*band, true);
    if (owner.listener) owner.listener->Reordered(opened);
  }
  return opened;
}

std::size_t ResultTreeStore::CollapseAllFolders(TreeKind tree) {
  std::vector<TreeNode*> closed;
  for (TreeNode* folder : TreeOf(tree).folderList) {
    if (!folder->Expanded) continue;
    folder->Expanded = false;
    folder->Data.Icon = kIconFolderClosed;
    closed.push_back(folder);
  }
  Notify(tree, closed, TreeListener::Change::Icon);
  return closed.size();
}

void ResultTreeStore::SortTypeTree() {
  Tree& owner = TreeOf(TreeKind::Type);
  if (owner.listener) owner.listener->AboutToReorder({});
  SortChildren(owner.root, false);
  for (TreeNode* folder : owner.folderList) SortChildren(*folder, false);
  if (owner.listener) owner.listener->Reordered({});
}

}  // namespace wizard
