// JPEG (libjpeg-turbo, scaled) and GIF (giflib) decoding for the picture check.

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <vector>
#include <cstdio>
#include <cstring>

#include <gif_lib.h>
#include <jpeglib.h>

#include "lowscan/imagecheck/ImageCheckInternal.h"

namespace lowscan::imagecheck {
namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegQuiet(j_common_ptr info, int level) {
  if (level < 0) ++info->err->num_warnings;  // corrupt data: counted, never printed
}
void JpegSilent(j_common_ptr) {}

// The largest DCT scaling (1/1 ... 1/8) that keeps both sides at least `box`.
unsigned ScaleDenominator(unsigned width, unsigned height, int box) {
  unsigned denom = 1;
  while (denom < 8 && width / (denom * 2) >= static_cast<unsigned>(box) &&
         height / (denom * 2) >= static_cast<unsigned>(box)) {
    denom *= 2;
  }
  return denom;
}

// Runs the whole decode between one setjmp and the library calls; only trivially
// destructible locals live in this frame besides `out`, created by the caller.
Decode RunJpeg(jpeg_decompress_struct& info, JpegError& error, std::span<const std::byte> data, int box,
               RgbImage& out, std::vector<unsigned char>& row, int& fullWidth, int& fullHeight) {
  if (setjmp(error.jump) != 0) return Decode::kCorrupt;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return Decode::kCorrupt;
  fullWidth = static_cast<int>(info.image_width);
  fullHeight = static_cast<int>(info.image_height);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  info.scale_num = 1;
  info.scale_denom = ScaleDenominator(info.image_width, info.image_height, box);
  jpeg_start_decompress(&info);
  const std::int64_t pixels = static_cast<std::int64_t>(info.output_width) * info.output_height;
  if (pixels <= 0 || pixels > kMaxPixels) return Decode::kCorrupt;
  out.Width = static_cast<int>(info.output_width);
  out.Height = static_cast<int>(info.output_height);
  out.Pixels.resize(static_cast<std::size_t>(pixels) * 3);
  const unsigned components = static_cast<unsigned>(info.output_components);
  row.resize(static_cast<std::size_t>(info.output_width) * components);
  unsigned char* rowPointer = row.data();
  while (info.output_scanline < info.output_height) {
    const unsigned y = info.output_scanline;
    if (jpeg_read_scanlines(&info, &rowPointer, 1) != 1) return Decode::kCorrupt;
    std::uint8_t* dest = out.Pixels.data() + static_cast<std::size_t>(y) * info.output_width * 3;
    for (unsigned x = 0; x < info.output_width; ++x) {
      const unsigned char* p = rowPointer + x * components;
      if (cmyk) {
        // Adobe writes CMYK inverted: each channel times black gives the colour.
        for (int c = 0; c < 3; ++c) dest[x * 3 + c] = static_cast<std::uint8_t>(p[c] * p[3] / 255);
      } else {
        std::memcpy(dest + x * 3, p, 3);
      }
    }
  }
  jpeg_finish_decompress(&info);
  return info.err->num_warnings > 0 ? Decode::kCorrupt : Decode::kDecoded;
}

struct GifInput {
  std::span<const std::byte> data;
  std::size_t position = 0;
};

int GifRead(GifFileType* gif, GifByteType* buffer, int length) {
  auto* input = static_cast<GifInput*>(gif->UserData);
  const std::size_t left = input->data.size() - input->position;
  const std::size_t n = std::min(left, static_cast<std::size_t>(std::max(length, 0)));
  // An empty picture has no data pointer at all; memcpy must not be handed it.
  if (n > 0) std::memcpy(buffer, input->data.data() + input->position, n);
  input->position += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

}  // namespace

Decode DecodeJpeg(std::span<const std::byte> data, int box, RgbImage& out, int& fullWidth, int& fullHeight) {
  jpeg_decompress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegFail;
  error.manager.emit_message = JpegQuiet;
  error.manager.output_message = JpegSilent;
  std::vector<unsigned char> row;
  jpeg_create_decompress(&info);
  const Decode result = RunJpeg(info, error, data, box, out, row, fullWidth, fullHeight);
  jpeg_destroy_decompress(&info);
  return result;
}

Decode DecodeGif(std::span<const std::byte> data, RgbImage& out) {
  GifInput input{data, 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, GifRead, &error));
  if (!gif || DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount < 1) return Decode::kCorrupt;
  const SavedImage& frame = gif->SavedImages[0];
  const ColorMapObject* colours = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
  if (colours == nullptr || frame.RasterBits == nullptr) return Decode::kCorrupt;
  const GifImageDesc& d = frame.ImageDesc;
  const int width = gif->SWidth > 0 ? gif->SWidth : d.Width;
  const int height = gif->SHeight > 0 ? gif->SHeight : d.Height;
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > kMaxPixels) return Decode::kCorrupt;
  out.Width = width;
  out.Height = height;
  out.Pixels.assign(static_cast<std::size_t>(width) * height * 3, 0xFF);
  for (int y = 0; y < d.Height; ++y) {
    for (int x = 0; x < d.Width; ++x) {
      const int cx = d.Left + x, cy = d.Top + y;
      if (cx < 0 || cy < 0 || cx >= width || cy >= height) continue;
      const int index = frame.RasterBits[static_cast<std::size_t>(y) * d.Width + x];
      if (index >= colours->ColorCount) continue;
      const GifColorType& c = colours->Colors[index];
      std::uint8_t* p = out.Pixels.data() + (static_cast<std::size_t>(cy) * width + cx) * 3;
      p[0] = c.Red;
      p[1] = c.Green;
      p[2] = c.Blue;
    }
  }
  return Decode::kDecoded;
}

}  // namespace lowscan::imagecheck
