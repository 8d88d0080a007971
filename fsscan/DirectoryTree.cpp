#include <unordered_set>

#include "fsscan/FileRecords.h"

namespace fsscan {

void DirectoryTree::Add(const std::string& name, std::int64_t parent, std::int64_t key) {
  m_nodes.try_emplace(key, BTreeNode{key, parent, name});
}

const BTreeNode* DirectoryTree::Find(std::int64_t key) const {
  const auto it = m_nodes.find(key);
  return it == m_nodes.end() ? nullptr : &it->second;
}

std::string DirectoryTree::PathOf(std::int64_t parent) const {
  std::vector<const std::string*> names;
  std::unordered_set<std::int64_t> seen;
  for (const BTreeNode* node = Find(parent); node != nullptr && node->Name != "."; node = Find(node->Parent)) {
    if (!seen.insert(node->Key).second) break;
    names.push_back(&node->Name);
  }
  std::string path = "\\";
  for (auto it = names.rbegin(); it != names.rend(); ++it) path += **it + "\\";
  return path;
}

}  // namespace fsscan
