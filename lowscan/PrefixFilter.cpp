#include "lowscan/PrefixFilter.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lowscan {
namespace {

constexpr unsigned kBuckets = 8;

#if defined(__x86_64__)
bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2") != 0;
  return have;
}
#endif

}  // namespace

TPrefixFilter::TPrefixFilter() : m_bits(65536 / 64, 0) {}

void TPrefixFilter::Add(std::uint8_t first, std::optional<std::uint8_t> second) {
  const std::uint8_t bucket = static_cast<std::uint8_t>(1u << (m_count % kBuckets));
  ++m_count;
  m_low1[first & 15] |= bucket;
  m_high1[first >> 4] |= bucket;
  for (unsigned b = 0; b < 256; ++b) {
    if (second && b != *second) continue;
    const unsigned key = first | (b << 8);
    m_bits[key >> 6] |= std::uint64_t{1} << (key & 63);
  }
  for (unsigned n = 0; n < 16; ++n) {
    if (!second || (*second & 15) == n) m_low2[n] |= bucket;
    if (!second || (*second >> 4) == n) m_high2[n] |= bucket;
  }
}

std::size_t TPrefixFilter::FindScalar(const char* data, std::size_t from, std::size_t end) const {
  for (std::size_t i = from; i < end; ++i) {
    if (Contains(data + i)) return i;
  }
  return end;
}

#if defined(__x86_64__)
// Each prefix sits in one of 8 buckets; a position passes the pre-test when one
// bucket holds both nibbles of its byte and both nibbles of the next. Prefixes
// sharing a bucket let some other pairs through, which the exact table rejects.
__attribute__((target("avx2"))) std::size_t TPrefixFilter::FindAvx2(const char* data, std::size_t from,
                                                                    std::size_t end) const {
  const __m256i low1 = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m_low1.data())));
  const __m256i high1 = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m_high1.data())));
  const __m256i low2 = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m_low2.data())));
  const __m256i high2 = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m_high2.data())));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i zero = _mm256_setzero_si256();
  // Bit k of the result: position at + k passes the pre-test.
  const auto pretest = [&](std::size_t at) __attribute__((target("avx2"))) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + at + 1));
    __m256i m = _mm256_and_si256(_mm256_shuffle_epi8(low1, _mm256_and_si256(a, nibble)),
                                 _mm256_shuffle_epi8(high1, _mm256_and_si256(_mm256_srli_epi16(a, 4), nibble)));
    m = _mm256_and_si256(m, _mm256_shuffle_epi8(low2, _mm256_and_si256(b, nibble)));
    m = _mm256_and_si256(m, _mm256_shuffle_epi8(high2, _mm256_and_si256(_mm256_srli_epi16(b, 4), nibble)));
    return ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(m, zero)));
  };
  std::size_t i = from;
  // data[i + 32] is the second byte of position i + 31: readable while i + 32 <= end.
  // Two blocks per round keep the vector unit busy; hits are rare on most data.
  for (; i + 64 <= end; i += 64) {
    const std::uint64_t candidates = pretest(i) | (std::uint64_t{pretest(i + 32)} << 32);
    for (std::uint64_t c = candidates; c != 0; c &= c - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctzll(c));
      if (Contains(data + at)) return at;
    }
  }
  for (; i + 32 <= end; i += 32) {
    for (std::uint32_t c = pretest(i); c != 0; c &= c - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(c));
      if (Contains(data + at)) return at;
    }
  }
  return FindScalar(data, i, end);
}
#endif

std::size_t TPrefixFilter::Find(const char* data, std::size_t from, std::size_t end) const {
  if (m_count == 0 || from >= end) return end;
#if defined(__x86_64__)
  if (HaveAvx2()) return FindAvx2(data, from, end);
#endif
  return FindScalar(data, from, end);
}

}  // namespace lowscan
