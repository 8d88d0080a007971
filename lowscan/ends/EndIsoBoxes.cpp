// ISO base media files (MP4, MOV, 3GP, M4A, HEIF) and JPEG 2000: top-level boxes,
// each with its size, one after another; the file ends where the next bytes are
// no top-level box. The first box must be the file-type box (JPEG 2000: its
// signature box).

#include <array>
#include <string_view>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::array<std::string_view, 24> kTopLevel = {
    "ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta", "pdin", "moof", "mfra", "styp",
    "sidx", "ssix", "prft", "emsg", "pnot", "junk", "jP  ", "jp2h", "jp2c", "jp2i", "xml ", "uinf"};

bool TopLevel(const TEndBytes& b) {
  for (const std::string_view type : kTopLevel) {
    if (b.Is(4, type)) return true;
  }
  return false;
}

class BoxEnd : public TEndWalker<BoxEnd> {
 protected:
  void Start() override { Want(0, 16); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      const std::uint32_t size = b.Be(0, 4);
      const bool ftyp = b.Is(4, "ftyp") && size >= 16 && size <= 1024;
      const bool jp2 = b.Is(4, "jP  ") && size == 12;
      if (!ftyp && !jp2) return Reject();
      SetHeaderParsed();
    } else if (!TopLevel(b)) {
      return Finish(at);
    }
    std::uint64_t size = b.Be(0, 4);
    if (size == 1) size = b.Be64(8);
    // Size 0 runs to the end of a file whose end is not known here.
    if (size < 8 || size > static_cast<std::uint64_t>(Limit() - at)) return Lose();
    const std::int64_t next = at + static_cast<std::int64_t>(size);
    if (next == Limit()) return Finish(next);
    Want(next, next + 16 <= Limit() ? 16 : 8);
  }
};

}  // namespace

std::unique_ptr<TFileEnd> IsoBoxes() { return std::make_unique<BoxEnd>(); }

}  // namespace lowscan::ends
