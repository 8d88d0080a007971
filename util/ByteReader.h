#pragma once
// Bounded little-endian reading of on-disk bytes. Every read checks the span first;
// an out-of-range read yields std::nullopt (or the fallback of the *Or variants),
// never touches memory outside the span.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace util {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::byte> bytes) : m_bytes(bytes) {}
  ByteReader(const void* data, std::size_t size)
      : m_bytes(static_cast<const std::byte*>(data), size) {}

  std::size_t Size() const { return m_bytes.size(); }
  std::span<const std::byte> Bytes() const { return m_bytes; }

  // True when [offset, offset + length) lies inside the span; never overflows.
  bool Has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= m_bytes.size() && length <= m_bytes.size() - offset;
  }

  std::optional<std::uint8_t> ReadU8(std::uint64_t offset) const { return Read<std::uint8_t>(offset); }
  std::optional<std::uint16_t> ReadU16LE(std::uint64_t offset) const { return Read<std::uint16_t>(offset); }
  std::optional<std::uint32_t> ReadU32LE(std::uint64_t offset) const { return Read<std::uint32_t>(offset); }
  std::optional<std::uint64_t> ReadU64LE(std::uint64_t offset) const { return Read<std::uint64_t>(offset); }

  std::uint8_t U8(std::uint64_t offset, std::uint8_t fallback = 0) const { return ReadU8(offset).value_or(fallback); }
  std::uint16_t U16(std::uint64_t offset, std::uint16_t fallback = 0) const {
    return ReadU16LE(offset).value_or(fallback);
  }
  std::uint32_t U32(std::uint64_t offset, std::uint32_t fallback = 0) const {
    return ReadU32LE(offset).value_or(fallback);
  }
  std::uint64_t U64(std::uint64_t offset, std::uint64_t fallback = 0) const {
    return ReadU64LE(offset).value_or(fallback);
  }

  // Little-endian unsigned value of 1..8 bytes (NTFS run lists use odd widths).
  std::optional<std::uint64_t> ReadUnsigned(std::uint64_t offset, unsigned width) const;
  // Little-endian two's-complement value of 1..8 bytes, sign-extended.
  std::optional<std::int64_t> ReadSigned(std::uint64_t offset, unsigned width) const;

  // A sub-range; std::nullopt when it does not fit.
  std::optional<ByteReader> Sub(std::uint64_t offset, std::uint64_t length) const {
    if (!Has(offset, length)) return std::nullopt;
    return ByteReader(m_bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
  }
  // The bytes as 8-bit text; empty when out of range.
  std::string Text(std::uint64_t offset, std::uint64_t length) const;

 private:
  template <typename T>
  std::optional<T> Read(std::uint64_t offset) const {
    if (!Has(offset, sizeof(T))) return std::nullopt;
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      value |= static_cast<T>(static_cast<T>(std::to_integer<std::uint8_t>(m_bytes[offset + i])) << (8 * i));
    }
    return value;
  }

  std::span<const std::byte> m_bytes;
};

}  // namespace util
