#include "util/ByteReader.h"

namespace util {

std::optional<std::uint64_t> ByteReader::ReadUnsigned(std::uint64_t offset, unsigned width) const {
  if (width == 0 || width > 8 || !Has(offset, width)) return std::nullopt;
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    value |= static_cast<std::uint64_t>(std::to_integer<std::uint8_t>(m_bytes[offset + i])) << (8 * i);
  }
  return value;
}

std::optional<std::int64_t> ByteReader::ReadSigned(std::uint64_t offset, unsigned width) const {
  auto raw = ReadUnsigned(offset, width);
  if (!raw) return std::nullopt;
  if (width < 8 && (*raw & (std::uint64_t{1} << (8 * width - 1))) != 0) {
    *raw |= ~((std::uint64_t{1} << (8 * width)) - 1);
  }
  return static_cast<std::int64_t>(*raw);
}

std::string ByteReader::Text(std::uint64_t offset, std::uint64_t length) const {
  if (!Has(offset, length)) return {};
  return std::string(reinterpret_cast<const char*>(m_bytes.data() + offset), static_cast<std::size_t>(length));
}

}  // namespace util
