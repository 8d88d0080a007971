#include "util/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace util {

void TMemoryStream::SetSize(std::int64_t size) {
  m_bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), std::byte{0});
  m_position = std::min(m_position, Size());
}

void TMemoryStream::Clear() {
  m_bytes.clear();
  m_bytes.shrink_to_fit();
  m_position = 0;
}

std::int64_t TMemoryStream::Read(void* out, std::int64_t count) {
  if (count <= 0 || m_position >= Size()) return 0;
  const std::int64_t n = std::min(count, Size() - m_position);
  std::memcpy(out, m_bytes.data() + m_position, static_cast<std::size_t>(n));
  m_position += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* data, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = m_position + count;
  if (end > Size()) m_bytes.resize(static_cast<std::size_t>(end), std::byte{0});
  std::memcpy(m_bytes.data() + m_position, data, static_cast<std::size_t>(count));
  m_position = end;
  return count;
}

void TMemoryStream::Assign(std::span<const std::byte> bytes) {
  m_bytes.assign(bytes.begin(), bytes.end());
  m_position = 0;
}

void TMemoryStream::Assign(std::string_view text) {
  Assign(std::as_bytes(std::span(text.data(), text.size())));
}

}  // namespace util
