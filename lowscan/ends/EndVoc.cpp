// Creative Voice files: a header that checks its own version, then blocks, each
// a type byte and a three-byte length, up to the terminator block (type 0).
// A widespread writer gives new-format sound blocks (type 9) the length
// (samples + 2) x bytes per sample instead of 12 + samples x bytes per sample,
// short of the true length; where the stated length leads to no block, that
// length is tried instead.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr unsigned kLastType = 9, kNewSound = 9;

class VocEnd : public TEndWalker<VocEnd> {
 protected:
  void Start() override { Want(0, 26); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kHeader: return OnHeader(b);
      case State::kType: return OnType(at, b);
      case State::kBlock: return OnBlock(at, b);
    }
  }

 private:
  enum class State { kHeader, kType, kBlock };

  void OnHeader(const Bytes& b) {
    const std::uint32_t headerSize = b.Le(20, 2), version = b.Le(22, 2);
    if (!b.Is(0, "Creative Voice File\x1A") || headerSize < 26 || b.Le(24, 2) != ((~version + 0x1234) & 0xFFFF)) {
      return Reject();
    }
    SetHeaderParsed();
    BlockAt(headerSize);
  }

  void OnType(std::int64_t at, const Bytes& b) {
    const unsigned type = b.U8(0);
    if (type == 0) return Finish(at + 1);
    if (type > kLastType) {
      if (m_alternative <= at) return Lose();
      const std::int64_t alternative = m_alternative;
      m_alternative = -1;
      return BlockAt(alternative);
    }
    m_alternative = -1;
    m_type = type;
    m_state = State::kBlock;
    // A new-format sound block's own header (rate, bits, channels, codec) follows its length.
    Want(at, type == kNewSound ? 16 : 4);
  }

  void OnBlock(std::int64_t at, const Bytes& b) {
    const std::int64_t length = b.Le(1, 3);
    const std::int64_t sampleBytes = m_type == kNewSound ? b.U8(8) / 8 : 0;
    if ((sampleBytes == 1 || sampleBytes == 2) && length >= 2 * sampleBytes) {
      m_alternative = at + 4 + length - 2 * sampleBytes + 12;
    }
    BlockAt(at + 4 + length);
  }

  void BlockAt(std::int64_t at) {
    if (at >= Limit()) return Lose();
    m_state = State::kType;
    Want(at, 1);
  }

  State m_state = State::kHeader;
  unsigned m_type = 0;
  std::int64_t m_alternative = -1;  // where the block after a short-stated sound block would begin
};

}  // namespace

std::unique_ptr<TFileEnd> Voc() { return std::make_unique<VocEnd>(); }

}  // namespace lowscan::ends
