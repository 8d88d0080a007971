// Windows bitmap decoding for the picture check: core and info headers, 1 to 32
// bits per pixel, uncompressed or with bit-field masks. Every field is checked
// against the data before use.

#include <bit>

#include "lowscan/imagecheck/ImageCheckInternal.h"
#include "util/ByteReader.h"

namespace lowscan::imagecheck {
namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kBitFields = 3;

struct BmpHeader {
  std::uint32_t pixelOffset = 0;
  std::uint32_t headerSize = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // negative: rows from the top
  unsigned bitCount = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t coloursUsed = 0;
  std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  std::uint64_t paletteOffset = 0;
  unsigned paletteEntryBytes = 4;
};

bool ReadHeader(const util::ByteReader& r, BmpHeader& h) {
  if (r.U8(0) != 'B' || r.U8(1) != 'M') return false;
  const auto offset = r.ReadU32LE(10);
  const auto size = r.ReadU32LE(14);
  if (!offset || !size) return false;
  h.pixelOffset = *offset;
  h.headerSize = *size;
  h.paletteOffset = 14ull + h.headerSize;
  if (h.headerSize == 12) {
    const auto w = r.ReadU16LE(18), ht = r.ReadU16LE(20), bpp = r.ReadU16LE(24);
    if (!w || !ht || !bpp) return false;
    h.width = *w;
    h.height = *ht;
    h.bitCount = *bpp;
    h.paletteEntryBytes = 3;
    return true;
  }
  if (h.headerSize != 16 && h.headerSize != 40 && h.headerSize != 52 && h.headerSize != 56 && h.headerSize != 64 &&
      h.headerSize != 108 && h.headerSize != 124) {
    return false;
  }
  const auto w = r.ReadU32LE(18), ht = r.ReadU32LE(22), comp = r.ReadU32LE(30), used = r.ReadU32LE(46);
  const auto bpp = r.ReadU16LE(28);
  if (!w || !ht || !bpp || !comp || !used) return false;
  h.width = static_cast<std::int32_t>(*w);
  h.height = static_cast<std::int32_t>(*ht);
  h.bitCount = *bpp;
  h.compression = *comp;
  h.coloursUsed = *used;
  if (h.compression == kBitFields) {
    for (int i = 0; i < 3; ++i) {
      const auto mask = r.ReadU32LE(54 + 4 * static_cast<std::uint64_t>(i));
      if (!mask) return false;
      h.masks[i] = *mask;
    }
    if (h.headerSize == 40) h.paletteOffset += 12;
  } else if (h.bitCount == 32) {
    h.masks[0] = 0xFF0000;
    h.masks[1] = 0xFF00;
    h.masks[2] = 0xFF;
  }
  return true;
}

std::uint8_t Channel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const std::uint32_t v = (value & mask) >> shift;
  return static_cast<std::uint8_t>(bits >= 8 ? v >> (bits - 8) : v * 255 / ((1u << bits) - 1));
}

}  // namespace

Decode DecodeBmp(std::span<const std::byte> data, RgbImage& out) {
  const util::ByteReader r(data);
  BmpHeader h;
  if (!ReadHeader(r, h)) return Decode::kCorrupt;
  if (h.compression > 6) return Decode::kCorrupt;
  if (h.compression != kRgb && h.compression != kBitFields) return Decode::kUnsupported;  // RLE, JPEG, PNG inside
  const unsigned bpp = h.bitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return Decode::kCorrupt;
  const std::int64_t height = h.height < 0 ? -h.height : h.height;
  if (h.width <= 0 || height <= 0 || h.width > 65535 || height > 65535 || h.width * height > kMaxPixels) {
    return Decode::kCorrupt;
  }
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.width) * bpp + 31) / 32 * 4;
  if (h.pixelOffset > data.size() || static_cast<std::uint64_t>(height) > (data.size() - h.pixelOffset) / rowBytes) {
    return Decode::kCorrupt;  // cut short
  }
  const std::uint32_t paletteSize = bpp <= 8 ? (h.coloursUsed != 0 ? h.coloursUsed : 1u << bpp) : 0;
  if (paletteSize > 256) return Decode::kCorrupt;
  out.Width = static_cast<int>(h.width);
  out.Height = static_cast<int>(height);
  out.Pixels.assign(static_cast<std::size_t>(h.width * height) * 3, 0);
  for (std::int64_t row = 0; row < height; ++row) {
    const std::int64_t y = h.height < 0 ? row : height - 1 - row;
    const std::uint64_t base = h.pixelOffset + static_cast<std::uint64_t>(row) * rowBytes;
    for (std::int64_t x = 0; x < h.width; ++x) {
      std::uint8_t* p = out.Pixels.data() + static_cast<std::size_t>(y * h.width + x) * 3;
      if (bpp <= 8) {
        const std::uint64_t bit = static_cast<std::uint64_t>(x) * bpp;
        const unsigned byte = r.U8(base + bit / 8);
        const unsigned index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        if (index >= paletteSize) return Decode::kCorrupt;
        const std::uint64_t entry = h.paletteOffset + static_cast<std::uint64_t>(index) * h.paletteEntryBytes;
        if (!r.ReadU8(entry + 2)) return Decode::kCorrupt;
        p[0] = r.U8(entry + 2);
        p[1] = r.U8(entry + 1);
        p[2] = r.U8(entry);
      } else if (bpp == 24) {
        const std::uint64_t at = base + static_cast<std::uint64_t>(x) * 3;
        p[0] = r.U8(at + 2);
        p[1] = r.U8(at + 1);
        p[2] = r.U8(at);
      } else {
        const std::uint64_t at = base + static_cast<std::uint64_t>(x) * (bpp / 8);
        const std::uint32_t value = bpp == 16 ? r.U16(at) : r.U32(at);
        for (int c = 0; c < 3; ++c) p[c] = Channel(value, h.masks[c]);
      }
    }
  }
  return Decode::kDecoded;
}

}  // namespace lowscan::imagecheck
