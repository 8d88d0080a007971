#pragma once
// Texts of the result-tree nodes, kept once for a whole scan run. A file's
// name and identifier are shared by its three nodes; folder paths, extensions
// and keys recur across thousands of files and are kept once each. The views
// handed out stay valid until Clear().

#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace wizard {

class TextPool {
 public:
  // A copy of `text` owned by the pool.
  std::string_view Keep(std::string_view text);
  // The same, but equal texts share one copy.
  std::string_view Intern(std::string_view text);
  void Clear();

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  std::vector<std::unique_ptr<char[]>> m_chunks;
  std::size_t m_left = 0;
  char* m_next = nullptr;
  std::unordered_set<std::string_view> m_interned;
};

}  // namespace wizard
