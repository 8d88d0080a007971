// Building the three trees: roots, files, folders found by key, and clearing.

#include "wizard/ResultTreeStore.h"

#include "util/Text.h"
#include "wizard/TreeKeys.h"

namespace wizard {

// Nodes never move once made, so twins and views may point at them; they are made in
// chunks because a large scan run brings hundreds of thousands of them.
class ResultTreeStore::NodePool {
 public:
  TreeNode* New() {
    if (m_chunks.empty() || m_used == kChunk) {
      m_chunks.push_back(std::make_unique<TreeNode[]>(kChunk));
      m_used = 0;
    }
    return &m_chunks.back()[m_used++];
  }
  void Clear() {
    m_chunks.clear();
    m_used = 0;
  }

 private:
  static constexpr std::size_t kChunk = 1024;
  std::vector<std::unique_ptr<TreeNode[]>> m_chunks;
  std::size_t m_used = 0;
};

ResultTreeStore::ResultTreeStore() : m_pool(std::make_unique<NodePool>()) {
  for (int i = 0; i < kTreeCount; ++i) {
    m_trees[static_cast<std::size_t>(i)].root.Tree = static_cast<TreeKind>(i);
    m_trees[static_cast<std::size_t>(i)].root.Data.IsFolder = true;
  }
}

ResultTreeStore::~ResultTreeStore() = default;

void ResultTreeStore::ClearResults() {
  for (Tree& tree : m_trees) {
    if (tree.listener) tree.listener->AboutToClear();
  }
  m_files.clear();
  for (Tree& tree : m_trees) {
    tree.root.Children.clear();
    tree.root.Announced = 0;
    tree.folders.clear();
    tree.folderList.clear();
  }
  // Frees every node with its thumbnail copy.
  m_pool->Clear();
  m_texts.Clear();
  m_images.DropThumbnails();
  for (Tree& tree : m_trees) {
    if (tree.listener) tree.listener->Cleared();
  }
}

void ResultTreeStore::AddRootFolders() {
  TreeNode& pathRoot = Root(TreeKind::Path);
  AddFolder(TreeKind::Path, &pathRoot, kUndeleteRootName, kUndeletePrefix);
  AddFolder(TreeKind::Path, &pathRoot, kLowScanRootName, kLowScanPrefix);
  for (std::string_view band : kSizeBands) AddFolder(TreeKind::Size, &Root(TreeKind::Size), band, band);
}

TreeNode* ResultTreeStore::AppendNode(TreeKind tree, TreeNode* parent) {
  TreeNode* node = m_pool->New();
  node->Tree = tree;
  node->Parent = parent;
  node->Row = static_cast<std::int32_t>(parent->Children.size());
  parent->Children.push_back(node);
  return node;
}

TreeNode* ResultTreeStore::AddFolder(TreeKind tree, TreeNode* parent, std::string_view name, std::string_view key) {
  TreeNode* folder = AppendNode(tree, parent);
  folder->Data.Name = m_texts.Intern(name);
  folder->Data.Icon = kIconFolderClosed;
  folder->Data.IsFolder = true;
  folder->Data.Key = m_texts.Intern(key);
  Tree& owner = TreeOf(tree);
  // The first folder of a key is the one a later lookup finds, as a walk in tree order would.
  owner.folders.try_emplace(util::UpperCase(folder->Data.Key), folder);
  owner.folderList.push_back(folder);
  if (owner.listener) owner.listener->ChildAppended(parent);
  return folder;
}

TreeNode* ResultTreeStore::FindDirectoryNode(TreeKind tree, std::string_view path) const {
  const auto& folders = m_trees[Index(tree)].folders;
  const auto found = folders.find(util::UpperCase(path));
  return found == folders.end() ? nullptr : found->second;
}

TreeNode* ResultTreeStore::GetInsertionNode(TreeKind tree, std::string_view path) {
  TreeNode* found = nullptr;
  std::string head(path);
  while (found == nullptr && !head.empty()) {
    found = FindDirectoryNode(tree, head);
    if (found == nullptr) head = ReducePath(head);
  }
  // Nothing found leaves `head` empty, so the whole key is made below.
  std::string rest(path.substr(head.size()));
  for (std::string name = GetFirstDirectory(rest); !name.empty(); name = GetFirstDirectory(rest)) {
    rest.erase(0, name.size() + 1);
    head += name + "\\";
    found = AddFolder(tree, found == nullptr ? &Root(tree) : found, name, head);
  }
  return found;
}

TreeNode* ResultTreeStore::AddFileNode(TreeKind tree, TreeNode* parent, const FileNode& common, std::string_view key) {
  TreeNode* node = AppendNode(tree, parent == nullptr ? &Root(tree) : parent);
  FileNode& data = node->Data;
  data.Name = common.Name;
  data.Extension = common.Extension;
  data.Path = common.Path;
  data.Key = key;
  data.ID = common.ID;
  data.ImageIndex = common.ImageIndex;
  data.Size = common.Size;
  if (TreeListener* listener = TreeOf(tree).listener) listener->ChildAppended(node->Parent);
  return node;
}

void ResultTreeStore::AddTreeEntry(util::TScanType xSource, const std::string& sID, const std::string& sFullName,
                                   const std::string& sExtension, const std::string& sPrefix, std::int64_t iSize,
                                   const util::TMemoryStream* xImage, util::TFileType xType) {
  FileNode common;
  common.Path = m_texts.Intern(TreePath(xSource, sFullName, sPrefix));
  common.Name = m_texts.Keep(FileNamePart(sFullName));
  common.Extension = m_texts.Intern(sExtension);
  common.ID = m_texts.Keep(sID);
  common.Size = iSize;
  if (xImage != nullptr) {
    // A picture that does not load leaves the file with its type icon.
    try {
      common.ImageIndex = m_images.AddThumbnail(*xImage);
    } catch (...) {
      common.ImageIndex = -1;
    }
  }
  if (common.ImageIndex < 0) {
    common.ImageIndex = xType == util::ftImage ? kIconImage : xType == util::ftMedia ? kIconMedia : kIconDocument;
  }
  TreeNode* pathParent = GetInsertionNode(TreeKind::Path, common.Path);
  TreeNode* typeParent = GetInsertionNode(TreeKind::Type, TypeKey(sExtension));
  const std::string_view band = SizeBand(iSize);
  TreeNode* sizeParent = GetInsertionNode(TreeKind::Size, band);

  TreeNode* pathNode = AddFileNode(TreeKind::Path, pathParent, common, common.Path);
  TreeNode* typeNode = AddFileNode(TreeKind::Type, typeParent, common, m_texts.Intern(util::UpperCase(sExtension)));
  TreeNode* sizeNode = AddFileNode(TreeKind::Size, sizeParent, common, band);
  pathNode->Data.TypeNode = typeNode;
  pathNode->Data.SizeNode = sizeNode;
  typeNode->Data.PathNode = pathNode;
  typeNode->Data.SizeNode = sizeNode;
  sizeNode->Data.PathNode = pathNode;
  sizeNode->Data.TypeNode = typeNode;
  if (xImage != nullptr && m_imageHintCount < m_maxImageHints) {
    try {
      auto copy = std::make_unique<util::TMemoryStream>();
      copy->Assign(xImage->Bytes());
      pathNode->Data.Thumbnail = std::move(copy);
      ++m_imageHintCount;
    } catch (...) {
      // Without the copy the file only loses its preview.
    }
  }
  m_files.try_emplace(pathNode->Data.ID, pathNode);
}

TreeNode* ResultTreeStore::FindFile(std::string_view id) const {
  const auto found = m_files.find(id);
  return found == m_files.end() ? nullptr : found->second;
}

}  // namespace wizard
