// DirectDraw Surface: the 128-byte header (and the 20-byte DX10 extension), then
// the pixel data of every face or array slice, each with its mipmap levels, sized
// from the pixel format: 4x4 blocks of 8 or 16 bytes for the block-compressed
// formats, whole bytes per line for the others.

#include <algorithm>
#include <bit>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::uint32_t kMipCount = 0x20000, kDepthFlag = 0x800000;      // header flags
constexpr std::uint32_t kFourCc = 0x4;                                    // pixel format flags
constexpr std::uint32_t kCubeMap = 0x200, kFaces = 0xFC00, kVolume = 0x200000;  // caps 2
constexpr std::uint32_t kLargestSide = 1 << 16, kMostLevels = 32, kMostSlices = 1 << 12;

struct Format {
  unsigned block = 0;  // bytes per 4x4 block, for block-compressed formats
  unsigned bits = 0;   // bits per pixel, for the others
  bool pairs = false;  // packed 4:2:2 formats, which code two pixels in four bytes
};

constexpr std::uint32_t FourCc(const char (&code)[5]) {
  return std::uint32_t(static_cast<unsigned char>(code[0])) | std::uint32_t(static_cast<unsigned char>(code[1])) << 8 |
         std::uint32_t(static_cast<unsigned char>(code[2])) << 16 |
         std::uint32_t(static_cast<unsigned char>(code[3])) << 24;
}

Format ByFourCc(std::uint32_t code) {
  switch (code) {
    case FourCc("DXT1"): case FourCc("ATI1"): case FourCc("BC4U"): case FourCc("BC4S"): return {8, 0, false};
    case FourCc("DXT2"): case FourCc("DXT3"): case FourCc("DXT4"): case FourCc("DXT5"): case FourCc("ATI2"):
    case FourCc("BC5U"): case FourCc("BC5S"): return {16, 0, false};
    case FourCc("UYVY"): case FourCc("YUY2"): case FourCc("RGBG"): case FourCc("GRGB"): return {0, 16, true};
    // Direct3D format numbers written in place of a four-character code.
    case 111: return {0, 16, false};
    case 112: case 114: return {0, 32, false};
    case 36: case 110: case 113: case 115: return {0, 64, false};
    case 116: return {0, 128, false};
    default: return {};
  }
}

Format ByDxgi(std::uint32_t f) {
  if (f >= 1 && f <= 4) return {0, 128, false};
  if (f >= 5 && f <= 8) return {0, 96, false};
  if (f >= 9 && f <= 22) return {0, 64, false};
  if ((f >= 23 && f <= 47) || f == 67 || (f >= 87 && f <= 93)) return {0, 32, false};
  if ((f >= 48 && f <= 59) || f == 85 || f == 86 || f == 115) return {0, 16, false};
  if (f >= 60 && f <= 65) return {0, 8, false};
  if ((f >= 70 && f <= 72) || (f >= 79 && f <= 81)) return {8, 0, false};
  if ((f >= 73 && f <= 78) || (f >= 82 && f <= 84) || (f >= 94 && f <= 99)) return {16, 0, false};
  if (f == 68 || f == 69 || f == 107) return {0, 16, true};
  return {};
}

std::int64_t LevelBytes(const Format& format, std::int64_t width, std::int64_t height) {
  if (format.block > 0) return ((width + 3) / 4) * ((height + 3) / 4) * format.block;
  if (format.pairs) return (width + 1) / 2 * 4 * height;
  return (width * format.bits + 7) / 8 * height;
}

class DdsEnd : public TEndWalker<DdsEnd> {
 protected:
  void Start() override { Want(0, 128); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at > 0) return OnExtension(b);
    const std::uint32_t flags = b.Le(8, 4), height = b.Le(12, 4), width = b.Le(16, 4), depth = b.Le(24, 4);
    const std::uint32_t mips = b.Le(28, 4), formatFlags = b.Le(80, 4), caps2 = b.Le(112, 4);
    if (!b.Is(0, "DDS ") || b.Le(4, 4) != 124 || b.Le(76, 4) != 32 || width == 0 || height == 0 ||
        width > kLargestSide || height > kLargestSide || mips > kMostLevels) {
      return Reject();
    }
    SetHeaderParsed();
    m_width = width;
    m_height = height;
    m_levels = (flags & kMipCount) && mips > 0 ? mips : 1;
    m_depth = (caps2 & kVolume) && (flags & kDepthFlag) && depth > 0 ? depth : 1;
    m_slices = (caps2 & kCubeMap) ? std::popcount(caps2 & kFaces) : 1;
    if (m_depth > kLargestSide || m_slices == 0) return Lose();
    if (formatFlags & kFourCc) {
      if (b.Le(84, 4) == FourCc("DX10")) return Want(128, 20);
      m_format = ByFourCc(b.Le(84, 4));
    } else {
      m_format = {0, b.Le(88, 4), false};
      if (m_format.bits == 0 || m_format.bits > 128) return Lose();
    }
    Ended(128);
  }

 private:
  void OnExtension(const Bytes& b) {
    constexpr std::uint32_t kCubeTexture = 0x4;
    const std::uint32_t slices = b.Le(12, 4);
    if (slices == 0 || slices > kMostSlices) return Lose();
    m_format = ByDxgi(b.Le(0, 4));
    m_slices = slices * ((b.Le(8, 4) & kCubeTexture) ? 6 : 1);
    Ended(148);
  }

  void Ended(std::int64_t header) {
    if (m_format.block == 0 && m_format.bits == 0) return Lose();  // a format not followed
    std::int64_t slice = 0;
    std::int64_t width = m_width, height = m_height, depth = m_depth;
    for (std::uint32_t level = 0; level < m_levels; ++level) {
      slice += LevelBytes(m_format, width, height) * depth;
      width = std::max<std::int64_t>(1, width / 2);
      height = std::max<std::int64_t>(1, height / 2);
      depth = std::max<std::int64_t>(1, depth / 2);
    }
    if (slice > (Limit() - header) / m_slices) return Lose();
    Finish(header + slice * m_slices);
  }

  Format m_format;
  std::uint32_t m_width = 0, m_height = 0, m_levels = 1, m_depth = 1, m_slices = 1;
};

}  // namespace

std::unique_ptr<TFileEnd> Dds() { return std::make_unique<DdsEnd>(); }

}  // namespace lowscan::ends
