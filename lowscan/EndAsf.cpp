// Windows Media (ASF): top-level objects, each a GUID and a 64-bit size: the
// header, the data and the index objects; the file ends where no known one follows.

#include <array>

#include "lowscan/FileEndWalkers.h"

namespace lowscan::fileend {
namespace {

// First four bytes of the top-level object GUIDs: header, data, simple index,
// index, media object index, timecode index.
constexpr std::array<std::uint32_t, 6> kTopLevel = {0x3026B275, 0x3626B275, 0x90080033,
                                                    0xD329E2D6, 0xF803B1FE, 0xD03FB73C};

class AsfEnd : public TEndWalker<AsfEnd> {
 protected:
  void Start() override { Want(0, 24); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    const std::uint32_t head = b.Be(0, 4);
    bool known = false;
    for (const std::uint32_t k : kTopLevel) known = known || k == head;
    if (at == 0 && head != kTopLevel[0]) return Reject();
    if (!known) return Finish(at);
    const std::uint64_t size = b.Le64(16);
    if (size < 24 || size > static_cast<std::uint64_t>(Limit() - at)) return Reject();
    SetHeaderParsed();
    const std::int64_t next = at + static_cast<std::int64_t>(size);
    if (next + 24 > Limit()) return Finish(next);
    Want(next, 24);
  }
};

}  // namespace

std::unique_ptr<TFileEnd> Asf() { return std::make_unique<AsfEnd>(); }

}  // namespace lowscan::fileend
