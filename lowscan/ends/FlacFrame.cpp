#include "lowscan/ends/FlacFrame.h"

#include <algorithm>
#include <array>
#include <bit>

namespace lowscan::ends {
namespace {

using Result = TFlacFrame::Result;

template <typename T, unsigned kWidth>
constexpr std::array<T, 256> CrcTable(T polynomial) {
  std::array<T, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    T crc = static_cast<T>(i << (kWidth - 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<T>((crc & (T{1} << (kWidth - 1))) ? (crc << 1) ^ polynomial : crc << 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr auto kCrc8 = CrcTable<std::uint8_t, 8>(0x07);
constexpr auto kCrc16 = CrcTable<std::uint16_t, 16>(0x8005);

std::uint8_t Crc8(std::span<const unsigned char> bytes) {
  std::uint8_t crc = 0;
  for (const unsigned char byte : bytes) crc = kCrc8[crc ^ byte];
  return crc;
}

std::uint16_t Crc16(std::span<const unsigned char> bytes) {
  std::uint16_t crc = 0;
  for (const unsigned char byte : bytes) crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16[(crc >> 8) ^ byte]);
  return crc;
}

// Big-endian bits of a span; reading past its end yields zeros and marks the reader short.
class TBits {
 public:
  explicit TBits(std::span<const unsigned char> bytes) : m_data(bytes.data()), m_end(bytes.size() * 8) {}

  bool Short() const { return m_short; }
  std::uint64_t Pos() const { return m_pos; }

  std::uint32_t Read(unsigned n) {  // n <= 32
    if (n > m_end - m_pos) return Exhaust();
    std::uint32_t value = 0;
    while (n > 0) {
      const unsigned offset = m_pos & 7, take = std::min(8 - offset, n);
      value = (value << take) | ((m_data[m_pos >> 3] >> (8 - offset - take)) & ((1u << take) - 1));
      m_pos += take;
      n -= take;
    }
    return value;
  }

  void Skip(std::uint64_t n) {
    if (n > m_end - m_pos) Exhaust();
    else m_pos += n;
  }

  // The zero bits before the next one bit, which is taken too.
  std::uint64_t Unary() {
    std::uint64_t zeros = 0;
    while (m_pos < m_end) {
      const unsigned offset = m_pos & 7;
      const auto byte = static_cast<std::uint8_t>(m_data[m_pos >> 3] << offset);
      if (byte != 0) {
        const auto lead = static_cast<unsigned>(std::countl_zero(byte));
        m_pos += lead + 1;
        return zeros + lead;
      }
      zeros += 8 - offset;
      m_pos += 8 - offset;
    }
    Exhaust();
    return zeros;
  }

  void Align() { Skip((8 - (m_pos & 7)) & 7); }

 private:
  std::uint32_t Exhaust() {
    m_short = true;
    m_pos = m_end;
    return 0;
  }

  const unsigned char* m_data;
  std::uint64_t m_end;
  std::uint64_t m_pos = 0;
  bool m_short = false;
};

struct Header {
  std::size_t length = 0;
  std::uint32_t blockSize = 0;
  unsigned channels = 0;
  unsigned bits = 0;
  unsigned assignment = 0;
};

// The UTF-8-like coded frame or sample number: its length in bytes, 0 when malformed.
std::size_t CodedNumberLength(std::span<const unsigned char> b, std::size_t at) {
  const auto first = static_cast<std::uint8_t>(b[at]);
  if (first < 0x80) return 1;
  const auto ones = static_cast<std::size_t>(std::countl_one(first));
  if (ones < 2 || ones > 7) return 0;
  if (at + ones > b.size()) return ones;  // the caller finds it short
  for (std::size_t i = 1; i < ones; ++i) {
    if ((b[at + i] & 0xC0) != 0x80) return 0;
  }
  return ones;
}

Result ReadHeader(std::span<const unsigned char> b, const TFlacStream& stream, Header& h) {
  if (b.size() < 5) return b.size() >= 2 && (b[0] != 0xFF || (b[1] & 0xFE) != 0xF8) ? Result::kNoFrame : Result::kShort;
  const unsigned sizeCode = b[2] >> 4, rateCode = b[2] & 15, bitsCode = (b[3] >> 1) & 7;
  h.assignment = b[3] >> 4;
  if (b[0] != 0xFF || (b[1] & 0xFE) != 0xF8 || sizeCode == 0 || rateCode == 15 || h.assignment > 10 ||
      bitsCode == 3 || (b[3] & 1) != 0) {
    return Result::kNoFrame;
  }
  const std::size_t number = CodedNumberLength(b, 4);
  if (number == 0) return Result::kNoFrame;
  std::size_t at = 4 + number;
  const std::size_t sizeBytes = sizeCode == 6 ? 1 : sizeCode == 7 ? 2 : 0;
  const std::size_t rateBytes = rateCode == 12 ? 1 : rateCode >= 13 ? 2 : 0;
  if (at + sizeBytes + rateBytes + 1 > b.size()) return Result::kShort;
  if (sizeCode == 1) h.blockSize = 192;
  else if (sizeCode <= 5) h.blockSize = 576u << (sizeCode - 2);
  else if (sizeCode == 6) h.blockSize = b[at] + 1u;
  else if (sizeCode == 7) h.blockSize = ((unsigned{b[at]} << 8) | b[at + 1]) + 1u;
  else h.blockSize = 256u << (sizeCode - 8);
  at += sizeBytes + rateBytes;
  if (Crc8(b.first(at)) != b[at]) return Result::kNoFrame;
  static constexpr unsigned kBits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
  h.bits = bitsCode == 0 ? stream.bits : kBits[bitsCode];
  h.channels = h.assignment < 8 ? h.assignment + 1 : 2;
  h.length = at + 1;
  return h.channels == stream.channels && h.bits >= 4 ? Result::kFrame : Result::kNoFrame;
}

// Rice-coded residual of one subframe; false when its fields cannot hold.
bool SkipResidual(TBits& r, std::uint32_t blockSize, unsigned order) {
  const unsigned method = r.Read(2);
  if (method > 1) return false;
  const unsigned parameterBits = method == 0 ? 4 : 5, escape = (1u << parameterBits) - 1;
  const unsigned partitionOrder = r.Read(4);
  const std::uint32_t partitions = 1u << partitionOrder;
  if (blockSize % partitions != 0 || (blockSize >> partitionOrder) < order) return false;
  for (std::uint32_t p = 0; p < partitions && !r.Short(); ++p) {
    const std::uint32_t count = (blockSize >> partitionOrder) - (p == 0 ? order : 0);
    const unsigned parameter = r.Read(parameterBits);
    if (parameter == escape) {
      r.Skip(std::uint64_t{count} * r.Read(5));
      continue;
    }
    for (std::uint32_t i = 0; i < count && !r.Short(); ++i) {
      r.Unary();
      r.Skip(parameter);
    }
  }
  return true;
}

bool SkipSubframe(TBits& r, std::uint32_t blockSize, unsigned bits) {
  if (r.Read(1) != 0) return false;
  const unsigned type = r.Read(6);
  if (r.Read(1) != 0) {
    const std::uint64_t wasted = r.Unary() + 1;
    if (wasted >= bits) return false;
    bits -= static_cast<unsigned>(wasted);
  }
  if (type == 0) {
    r.Skip(bits);
    return true;
  }
  if (type == 1) {
    r.Skip(std::uint64_t{blockSize} * bits);
    return true;
  }
  if (type >= 8 && type <= 12) {
    const unsigned order = type - 8;
    r.Skip(std::uint64_t{order} * bits);
    return order <= blockSize && SkipResidual(r, blockSize, order);
  }
  if (type < 32) return false;
  const unsigned order = type - 31;
  r.Skip(std::uint64_t{order} * bits);
  const unsigned precision = r.Read(4) + 1;
  if (precision == 16 || order > blockSize) return false;
  r.Skip(5 + std::uint64_t{order} * precision);
  return SkipResidual(r, blockSize, order);
}

}  // namespace

TFlacFrame ReadFlacFrame(std::span<const unsigned char> bytes, const TFlacStream& stream) {
  Header h;
  const Result header = ReadHeader(bytes, stream, h);
  if (header != Result::kFrame) return {header, 0, 0};
  TBits r(bytes);
  r.Skip(h.length * 8);
  for (unsigned channel = 0; channel < h.channels; ++channel) {
    // The side channel of a stereo pair carries one bit more.
    const bool side = (h.assignment == 8 || h.assignment == 10) ? channel == 1 : h.assignment == 9 && channel == 0;
    const bool sound = SkipSubframe(r, h.blockSize, h.bits + (side ? 1 : 0));
    if (r.Short()) return {Result::kShort, 0, 0};
    if (!sound) return {Result::kDamaged, 0, 0};
  }
  r.Align();
  r.Skip(16);
  if (r.Short()) return {Result::kShort, 0, 0};
  const auto length = static_cast<std::size_t>(r.Pos() / 8);
  if (Crc16(bytes.first(length)) != 0) return {Result::kDamaged, 0, 0};
  return {Result::kFrame, length, h.blockSize};
}

}  // namespace lowscan::ends
