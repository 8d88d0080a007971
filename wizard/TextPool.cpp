#include "wizard/TextPool.h"

#include <algorithm>
#include <cstring>

namespace wizard {

std::string_view TextPool::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > m_left) {
    // A text longer than a chunk gets a chunk of its own; the current chunk stays in use.
    const std::size_t size = std::max(kChunk, text.size());
    m_chunks.push_back(std::make_unique<char[]>(size));
    if (size > kChunk) {
      std::memcpy(m_chunks.back().get(), text.data(), text.size());
      std::string_view kept(m_chunks.back().get(), text.size());
      return kept;
    }
    m_next = m_chunks.back().get();
    m_left = size;
  }
  std::memcpy(m_next, text.data(), text.size());
  std::string_view kept(m_next, text.size());
  m_next += text.size();
  m_left -= text.size();
  return kept;
}

std::string_view TextPool::Intern(std::string_view text) {
  const auto found = m_interned.find(text);
  if (found != m_interned.end()) return *found;
  const std::string_view kept = Keep(text);
  m_interned.insert(kept);
  return kept;
}

void TextPool::Clear() {
  m_interned.clear();
  m_chunks.clear();
  m_next = nullptr;
  m_left = 0;
}

}  // namespace wizard
