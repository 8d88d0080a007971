#pragma once
// A growable byte buffer with a read/write position, the transfer buffer of the
// drive access component and the carrier of file data for picture checks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace util {

class TMemoryStream {
 public:
  std::int64_t Size() const { return static_cast<std::int64_t>(m_bytes.size()); }
  std::int64_t Position() const { return m_position; }
  // Positions beyond the end are allowed; a later write fills the gap with zeros.
  void SetPosition(std::int64_t position) { m_position = position < 0 ? 0 : position; }
  // Resizing keeps the content that fits and zero-fills growth; the position is clamped.
  void SetSize(std::int64_t size);
  void Clear();

  std::byte* Memory() { return m_bytes.data(); }
  const std::byte* Memory() const { return m_bytes.data(); }
  std::span<const std::byte> Bytes() const { return m_bytes; }
  std::span<std::byte> MutableBytes() { return m_bytes; }
  std::string_view View() const {
    return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()};
  }

  // Copies up to `count` bytes from the position; returns how many were copied.
  std::int64_t Read(void* out, std::int64_t count);
  // Writes at the position, growing the stream as needed; returns `count`.
  std::int64_t Write(const void* data, std::int64_t count);
  std::int64_t Write(std::string_view text) { return Write(text.data(), static_cast<std::int64_t>(text.size())); }
  // Replaces the whole content; the position goes to 0.
  void Assign(std::span<const std::byte> bytes);
  void Assign(std::string_view text);

 private:
  std::vector<std::byte> m_bytes;
  std::int64_t m_position = 0;
};

}  // namespace util
