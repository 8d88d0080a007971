// MPEG program streams (MPEG-1 system and MPEG-2 program streams): pack headers
// (their own length, and the stuffing in MPEG-2), then the system header and the
// packets, each led by its length, to the program end code 00 00 01 B9. Many
// writers leave the end code out: the stream then ends where the next bytes
// begin no pack or packet.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr unsigned kEndCode = 0xB9, kPack = 0xBA;

// The pack header's length, 0 when its marker bits are not set as both versions require.
std::int64_t PackLength(const TEndBytes& b) {
  const unsigned kind = b.U8(4);
  if ((kind & 0xC0) == 0x40) {
    const bool markers = (kind & 0x04) && (b.U8(6) & 0x04) && (b.U8(8) & 0x04) && (b.U8(9) & 0x01) &&
                         (b.U8(12) & 0x03) == 0x03;
    return markers ? 14 + (b.U8(13) & 7) : 0;
  }
  if ((kind & 0xF0) == 0x20) {
    const bool markers = (kind & 0x01) && (b.U8(6) & 0x01) && (b.U8(8) & 0x01) && (b.U8(9) & 0x80) &&
                         (b.U8(11) & 0x01);
    return markers ? 12 : 0;
  }
  return 0;
}

class MpegPsEnd : public TEndWalker<MpegPsEnd> {
 protected:
  void Start() override { Want(0, 14); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    const unsigned code = b.U8(3);
    const bool startCode = b.Be(0, 3) == 1;
    if (m_state == State::kCode) {
      if (!startCode || code < kEndCode) return Finish(at);
      if (code == kEndCode) return Finish(at + 4);
      m_state = State::kHead;
      // A pack header has 14 bytes in MPEG-2; the others say their length in 6.
      return Want(at, code == kPack ? 14 : 6);
    }
    m_state = State::kCode;
    std::int64_t length = 0;
    if (code == kPack) {
      length = PackLength(b);
    } else {
      length = 6 + std::int64_t{b.Be(4, 2)};
      if (length == 6) length = 0;  // unbounded packets belong to transport streams
    }
    if (!startCode || length == 0 || (at == 0 && code != kPack)) return Reject();
    SetHeaderParsed();
    Next(at + length);
  }

 private:
  enum class State { kHead, kCode };

  void Next(std::int64_t at) {
    if (Limit() - at < 4) return Finish(at);
    Want(at, 4);
  }

  State m_state = State::kHead;
};

}  // namespace

std::unique_ptr<TFileEnd> MpegPs() { return std::make_unique<MpegPsEnd>(); }

}  // namespace lowscan::ends
