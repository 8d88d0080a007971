#pragma once
// A set of two-byte marker prefixes and the scan that finds where one of them
// starts in a text. It answers exactly (a 65536-bit table); a vector pre-test
// over 32 bytes at a time, where the processor offers one, only skips the
// stretches of a read step in which no prefix can start. A one-byte marker is a
// prefix with any second byte. Built once per scan, then read-only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lowscan {

class TPrefixFilter {
 public:
  TPrefixFilter();

  // Adds the prefix first+second, or first followed by any byte.
  void Add(std::uint8_t first, std::optional<std::uint8_t> second);
  bool Empty() const { return m_count == 0; }
  // The prefix of the two bytes at p is in the set.
  bool Contains(const char* p) const {
    const unsigned key = static_cast<unsigned char>(p[0]) | (static_cast<unsigned>(static_cast<unsigned char>(p[1])) << 8);
    return ((m_bits[key >> 6] >> (key & 63)) & 1u) != 0;
  }
  // The first position i in [from, end) whose bytes i and i+1 form a prefix of
  // the set, or `end`. The caller guarantees that data[end] may be read.
  std::size_t Find(const char* data, std::size_t from, std::size_t end) const;

 private:
  std::size_t FindScalar(const char* data, std::size_t from, std::size_t end) const;
#if defined(__x86_64__)
  std::size_t FindAvx2(const char* data, std::size_t from, std::size_t end) const;
#endif

  std::vector<std::uint64_t> m_bits;  // 65536 prefixes, first byte in the low half
  // Nibble tables of the pre-test: bit b of entry n is set when some prefix of
  // bucket b has that nibble (low/high of the first/second byte).
  std::array<std::uint8_t, 16> m_low1{}, m_high1{}, m_low2{}, m_high2{};
  unsigned m_count = 0;
};

}  // namespace lowscan
