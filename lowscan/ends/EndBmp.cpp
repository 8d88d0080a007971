// Windows bitmap: the file size of its header, once the header's fields agree
// with one another (the two letters "BM" alone are common in any data).

#include <cstdlib>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

bool KnownDepth(unsigned bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

class BmpEnd : public TEndWalker<BmpEnd> {
 protected:
  void Start() override { Want(0, 34); }

  void OnBytes(std::int64_t, const Bytes& b) override {
    const std::uint32_t fileSize = b.Le(2, 4), dataAt = b.Le(10, 4), info = b.Le(14, 4);
    const bool core = info == 12;
    if (!b.Is(0, "BM") || !(core || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124)) {
      return Reject();
    }
    const std::int64_t width = core ? b.Le(18, 2) : static_cast<std::int32_t>(b.Le(18, 4));
    const std::int64_t height = core ? b.Le(20, 2) : static_cast<std::int32_t>(b.Le(22, 4));
    const unsigned planes = b.Le(core ? 22 : 26, 2), bits = b.Le(core ? 24 : 28, 2);
    const unsigned compression = core ? 0 : b.Le(30, 4);
    if (width <= 0 || height == 0 || planes != 1 || !KnownDepth(bits) || compression > 6) return Reject();
    if (dataAt < 14 + info || fileSize < dataAt) return Reject();
    // Uncompressed rows fix the size: the header's figure must hold them.
    if (compression == 0 || compression == 3) {
      const std::int64_t row = (width * bits + 31) / 32 * 4;
      if (row > (std::int64_t{fileSize} - dataAt) / std::llabs(height)) return Reject();
    }
    SetHeaderParsed();
    Finish(fileSize);
  }
};

}  // namespace

std::unique_ptr<TFileEnd> Bmp() { return std::make_unique<BmpEnd>(); }

}  // namespace lowscan::ends
