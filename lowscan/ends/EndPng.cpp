// PNG: the signature, then chunks (length, type, data, CRC) up to IEND.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

bool IsChunkType(const TEndBytes& b, std::size_t at) {
  for (std::size_t i = 0; i < 4; ++i) {
    const unsigned c = b.U8(at + i) | 0x20;
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

class PngEnd : public TEndWalker<PngEnd> {
 protected:
  void Start() override { Want(0, 16); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      if (!b.Is(0, "\x89PNG\r\n\x1A\n") || b.Be(8, 4) != 13 || !b.Is(12, "IHDR")) return Reject();
      SetHeaderParsed();
      return Want(8 + 12 + 13, 8);
    }
    const std::uint32_t length = b.Be(0, 4);
    if (length > 0x7FFFFFFFu || !IsChunkType(b, 4)) return Lose();
    const std::int64_t next = at + 12 + length;
    if (b.Is(4, "IEND")) return Finish(next);
    Want(next, 8);
  }
};

}  // namespace

std::unique_ptr<TFileEnd> Png() { return std::make_unique<PngEnd>(); }

}  // namespace lowscan::ends
