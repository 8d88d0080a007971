#include <algorithm>
#include <cstring>

#include "lowscan/imagecheck/ImageCheckInternal.h"

namespace lowscan::imagecheck {
namespace {

void PutU16(std::vector<std::byte>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::byte>(v & 0xFF);
  out[at + 1] = static_cast<std::byte>((v >> 8) & 0xFF);
}
void PutU32(std::vector<std::byte>& out, std::size_t at, std::uint32_t v) {
  PutU16(out, at, v & 0xFFFF);
  PutU16(out, at + 2, v >> 16);
}

}  // namespace

RgbImage Stretch(const RgbImage& source, int width, int height) {
  RgbImage out;
  out.Width = width;
  out.Height = height;
  out.Pixels.assign(static_cast<std::size_t>(width) * height * 3, 0);
  // Each target pixel averages the source pixels it covers (at least one), which
  // reduces without aliasing and enlarges by repetition.
  for (int y = 0; y < height; ++y) {
    const int y0 = static_cast<int>(static_cast<std::int64_t>(y) * source.Height / height);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<std::int64_t>(y + 1) * source.Height / height));
    for (int x = 0; x < width; ++x) {
      const int x0 = static_cast<int>(static_cast<std::int64_t>(x) * source.Width / width);
      const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<std::int64_t>(x + 1) * source.Width / width));
      std::uint64_t sum[3] = {0, 0, 0};
      for (int sy = y0; sy < y1; ++sy) {
        const std::uint8_t* row = source.Pixels.data() + (static_cast<std::size_t>(sy) * source.Width + x0) * 3;
        for (int sx = x0; sx < x1; ++sx, row += 3) {
          sum[0] += row[0];
          sum[1] += row[1];
          sum[2] += row[2];
        }
      }
      const auto count = static_cast<std::uint64_t>(y1 - y0) * static_cast<std::uint64_t>(x1 - x0);
      std::uint8_t* dest = out.Pixels.data() + (static_cast<std::size_t>(y) * width + x) * 3;
      for (int c = 0; c < 3; ++c) dest[c] = static_cast<std::uint8_t>(sum[c] / count);
    }
  }
  return out;
}

std::vector<std::byte> WriteBitmap16(const RgbImage& image) {
  const std::size_t rowBytes = (static_cast<std::size_t>(image.Width) * 2 + 3) / 4 * 4;
  const std::size_t pixelBytes = rowBytes * static_cast<std::size_t>(image.Height);
  const std::size_t headerBytes = 14 + 40;
  std::vector<std::byte> out(headerBytes + pixelBytes, std::byte{0});
  out[0] = std::byte{'B'};
  out[1] = std::byte{'M'};
  PutU32(out, 2, static_cast<std::uint32_t>(out.size()));
  PutU32(out, 10, static_cast<std::uint32_t>(headerBytes));
  PutU32(out, 14, 40);
  PutU32(out, 18, static_cast<std::uint32_t>(image.Width));
  PutU32(out, 22, static_cast<std::uint32_t>(image.Height));
  PutU16(out, 26, 1);
  PutU16(out, 28, 16);
  PutU32(out, 30, 0);  // uncompressed: 5 bits each of red, green and blue
  PutU32(out, 34, static_cast<std::uint32_t>(pixelBytes));
  PutU32(out, 38, 2835);
  PutU32(out, 42, 2835);
  for (int y = 0; y < image.Height; ++y) {
    const std::size_t rowStart = headerBytes + static_cast<std::size_t>(image.Height - 1 - y) * rowBytes;
    for (int x = 0; x < image.Width; ++x) {
      const std::uint8_t* p = image.Pixels.data() + (static_cast<std::size_t>(y) * image.Width + x) * 3;
      const auto v = static_cast<std::uint32_t>(((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3));
      PutU16(out, rowStart + static_cast<std::size_t>(x) * 2, v);
    }
  }
  return out;
}

}  // namespace lowscan::imagecheck
