#include "util/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace util {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

TLargeBuffer::TLargeBuffer(std::size_t size) : m_size(size) {
  if (size == 0) return;
  const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  m_data = static_cast<std::byte*>(std::aligned_alloc(kHugePage, rounded));
  if (m_data == nullptr) throw std::bad_alloc();
  // Only advice: without huge pages the memory is the same, just slower to fault in.
  (void)::madvise(m_data, rounded, MADV_HUGEPAGE);
  std::memset(m_data, 0, size);
}

TLargeBuffer::~TLargeBuffer() { std::free(m_data); }

TLargeBuffer::TLargeBuffer(TLargeBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

TLargeBuffer& TLargeBuffer::operator=(TLargeBuffer&& other) noexcept {
  if (this != &other) {
    std::free(m_data);
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
  }
  return *this;
}

}  // namespace util
