#pragma once
// Decoders and the bitmap writer behind CheckImageData. Each decoder answers
// kDecoded with 8-bit RGB pixels, kCorrupt for data that is not a readable
// picture of its type, or kUnsupported for a valid flavour it cannot draw.

#include <cstdint>
#include <span>
#include <vector>

namespace lowscan::imagecheck {

struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;  // Width * Height * 3, top row first
};

enum class Decode { kDecoded, kCorrupt, kUnsupported };

// Pictures larger than this are not decoded in memory.
inline constexpr std::int64_t kMaxPixels = 64LL * 1024 * 1024;

// `box` lets the JPEG decoder pick a scaled decode that still covers the box.
Decode DecodeJpeg(std::span<const std::byte> data, int box, RgbImage& out, int& fullWidth, int& fullHeight);
Decode DecodeGif(std::span<const std::byte> data, RgbImage& out);
Decode DecodeBmp(std::span<const std::byte> data, RgbImage& out);
Decode DecodeWmf(std::span<const std::byte> data, RgbImage& out);

// The picture stretched over width x height.
RgbImage Stretch(const RgbImage& source, int width, int height);
// A Windows bitmap file, 16 bits per pixel (5-5-5), bottom-up rows.
std::vector<std::byte> WriteBitmap16(const RgbImage& image);

}  // namespace lowscan::imagecheck
