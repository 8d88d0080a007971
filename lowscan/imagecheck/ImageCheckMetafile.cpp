// Windows metafile decoding for the picture check through libwmf's gd device,
// when the library is there.

#include "lowscan/imagecheck/ImageCheckInternal.h"

#if defined(TRELLMOND_HAVE_LIBWMF)
#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <memory>
#include <mutex>
#include <vector>
#endif

namespace lowscan::imagecheck {

#if defined(TRELLMOND_HAVE_LIBWMF)
namespace {

struct ApiCloser {
  void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};

constexpr int kMaxSide = 4096;
constexpr std::size_t kPlaceableHeaderBytes = 22;

// The metafile header after the placeable one: libwmf allocates a buffer for the largest
// record the header claims, so a claim larger than the metafile itself (a damaged or
// hostile header) is refused before it becomes an allocation of gigabytes.
// (Read by hand: libwmf's headers define U16 and U32 as macros.)
bool HeaderFits(std::span<const std::byte> data) {
  const std::span<const std::byte> header = data.subspan(kPlaceableHeaderBytes);
  if (header.size() < 18) return false;
  const auto le = [&](std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | std::to_integer<std::uint64_t>(header[at + i]);
    return value;
  };
  return le(2, 2) == 9 && le(12, 4) * 2 <= header.size();
}

}  // namespace

Decode DecodeWmf(std::span<const std::byte> data, RgbImage& out) {
  // The placeable header's key; a bare metafile without it has no size to draw at.
  if (data.size() < 22 || data[0] != std::byte{0xD7} || data[1] != std::byte{0xCD} || data[2] != std::byte{0xC6} ||
      data[3] != std::byte{0x9A} || !HeaderFits(data)) {
    return Decode::kCorrupt;
  }
  // libwmf keeps font and device state of its own that is not made for threads: one
  // metafile at a time, while the other picture checks go on beside it.
  static std::mutex oneAtATime;
  const std::lock_guard lock(oneAtATime);
  wmfAPI_Options options{};
  options.function = wmf_gd_function;
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  wmfAPI* raw = nullptr;
  if (wmf_api_create(&raw, flags, &options) != wmf_E_None || raw == nullptr) {
    if (raw != nullptr) wmf_api_destroy(raw);
    return Decode::kCorrupt;
  }
  std::unique_ptr<wmfAPI, ApiCloser> api(raw);
  // libwmf reads but takes a non-const pointer; it keeps it only until destroyed.
  std::vector<unsigned char> copy(reinterpret_cast<const unsigned char*>(data.data()),
                                  reinterpret_cast<const unsigned char*>(data.data()) + data.size());
  if (wmf_mem_open(api.get(), copy.data(), static_cast<long>(copy.size())) != wmf_E_None) return Decode::kCorrupt;
  wmfD_Rect bbox{};
  if (wmf_scan(api.get(), 0, &bbox) != wmf_E_None) return Decode::kCorrupt;
  unsigned int width = 0, height = 0;
  if (wmf_display_size(api.get(), &width, &height, 96, 96) != wmf_E_None) return Decode::kCorrupt;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return Decode::kCorrupt;
  wmf_gd_t* device = WMF_GD_GetData(api.get());
  device->type = wmf_gd_image;
  device->bbox = bbox;
  device->width = width;
  device->height = height;
  if (wmf_play(api.get(), 0, &bbox) != wmf_E_None || device->gd_image == nullptr) return Decode::kCorrupt;
  const int* pixels = wmf_gd_image_pixels(device->gd_image);
  if (pixels == nullptr) return Decode::kCorrupt;
  out.Width = static_cast<int>(width);
  out.Height = static_cast<int>(height);
  out.Pixels.resize(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    const auto v = static_cast<std::uint32_t>(pixels[i]);
    out.Pixels[i * 3] = static_cast<std::uint8_t>(v >> 16);
    out.Pixels[i * 3 + 1] = static_cast<std::uint8_t>(v >> 8);
    out.Pixels[i * 3 + 2] = static_cast<std::uint8_t>(v);
  }
  return Decode::kDecoded;
}

#else

Decode DecodeWmf(std::span<const std::byte>, RgbImage&) { return Decode::kUnsupported; }

#endif

}  // namespace lowscan::imagecheck
