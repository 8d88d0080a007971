// Matroska and WebM: the EBML header element, then the Segment element whose
// size covers the rest of the file. A segment of unknown size (live streams) is
// not followed.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

// A variable-length size at `at`: its width in bytes (0 when invalid) and value;
// `unknown` when every value bit is set.
unsigned SizeAt(const TEndBytes& b, std::size_t at, std::uint64_t& value, bool& unknown) {
  const unsigned first = b.U8(at);
  unsigned width = 1;
  while (width <= 8 && (first & (0x100u >> width)) == 0) ++width;
  if (width > 8) return 0;
  value = first & ((0x100u >> width) - 1);
  bool allOnes = value == ((0x100u >> width) - 1);
  for (unsigned i = 1; i < width; ++i) {
    value = (value << 8) | b.U8(at + i);
    allOnes = allOnes && b.U8(at + i) == 0xFF;
  }
  unknown = allOnes;
  return width;
}

class EbmlEnd : public TEndWalker<EbmlEnd> {
 protected:
  void Start() override { Want(0, 12); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    std::uint64_t size = 0;
    bool unknown = false;
    const unsigned width = SizeAt(b, 4, size, unknown);
    if (at == 0) {
      if (!b.Is(0, "\x1A\x45\xDF\xA3") || width == 0 || unknown || size > 4096) return Reject();
      SetHeaderParsed();
      return Want(static_cast<std::int64_t>(4 + width + size), 12);
    }
    if (!b.Is(0, "\x18\x53\x80\x67") || width == 0) return Lose();
    if (unknown || size > static_cast<std::uint64_t>(Limit())) return Lose();
    Finish(at + 4 + width + static_cast<std::int64_t>(size));
  }
};

}  // namespace

std::unique_ptr<TFileEnd> Ebml() { return std::make_unique<EbmlEnd>(); }

}  // namespace lowscan::ends
