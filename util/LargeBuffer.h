#pragma once
// Zero-filled memory of megabytes that lives for a whole scan (the read step and its
// carry-over). Aligned and advised so the kernel backs it with huge pages: a handful of
// page faults instead of one per 4 KiB, which on virtual machines costs a small drive's
// scan more than reading it. Move-only.

#include <cstddef>
#include <span>

namespace util {

class TLargeBuffer {
 public:
  TLargeBuffer() = default;
  explicit TLargeBuffer(std::size_t size);
  ~TLargeBuffer();
  TLargeBuffer(TLargeBuffer&& other) noexcept;
  TLargeBuffer& operator=(TLargeBuffer&& other) noexcept;
  TLargeBuffer(const TLargeBuffer&) = delete;
  TLargeBuffer& operator=(const TLargeBuffer&) = delete;

  std::byte* data() { return m_data; }
  const std::byte* data() const { return m_data; }
  std::size_t size() const { return m_size; }
  std::span<std::byte> Bytes() { return {m_data, m_size}; }

 private:
  std::byte* m_data = nullptr;
  std::size_t m_size = 0;
};

}  // namespace util
