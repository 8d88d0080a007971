// MP3: the ID3v2 tag's size, then MPEG audio frames, each length from its header
// (bit rate, sample rate, padding), while they keep the first frame's version,
// layer and sample rate; an ID3v1 tag of 128 bytes may close the file.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

// Bit rates in kbit/s by [table][index]: MPEG-1 layers I, II, III, then MPEG-2/2.5
// layer I, and layers II and III.
constexpr int kBitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

// The frame's length in bytes, 0 when the four bytes are no frame header; `kind`
// gets the bits a following frame must repeat.
std::int64_t FrameLength(const TEndBytes& b, unsigned& kind) {
  const std::uint32_t h = b.Be(0, 4);
  if ((h >> 21) != 0x7FF) return 0;
  const unsigned version = (h >> 19) & 3, layer = (h >> 17) & 3, rate = (h >> 12) & 15, sampling = (h >> 10) & 3;
  if (version == 1 || layer == 0 || rate == 0 || rate == 15 || sampling == 3) return 0;
  kind = (h >> 17) & 0xF;  // version and layer
  kind = (kind << 2) | sampling;
  const bool mpeg1 = version == 3;
  const int table = mpeg1 ? 3 - static_cast<int>(layer) : (layer == 3 ? 3 : 4);
  const std::int64_t bitRate = std::int64_t{kBitRates[table][rate]} * 1000;
  const std::int64_t sampleRate = kSampleRates[sampling] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  const std::int64_t padding = (h >> 9) & 1;
  if (layer == 3) return (12 * bitRate / sampleRate + padding) * 4;
  if (layer == 1 && !mpeg1) return 72 * bitRate / sampleRate + padding;
  return 144 * bitRate / sampleRate + padding;
}

class Mp3End : public TEndWalker<Mp3End> {
 protected:
  void Start() override { Want(0, 10); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      const unsigned flags = b.U8(5);
      bool syncSafe = true;
      for (std::size_t i = 6; i < 10; ++i) syncSafe = syncSafe && b.U8(i) < 0x80;
      if (!b.Is(0, "ID3") || b.U8(3) < 2 || b.U8(3) > 4 || (flags & 0x0F) != 0 || !syncSafe) return Reject();
      const std::int64_t size = (std::int64_t{b.U8(6)} << 21) | (b.U8(7) << 14) | (b.U8(8) << 7) | b.U8(9);
      return Want(10 + size + ((flags & 0x10) ? 10 : 0), 4);
    }
    unsigned kind = 0;
    const std::int64_t length = FrameLength(b, kind);
    if (length > 0 && (m_frames == 0 || kind == m_kind)) {
      m_kind = kind;
      ++m_frames;
      SetHeaderParsed();
      const std::int64_t next = at + length;
      if (next + 4 > Limit()) return Finish(next);
      return Want(next, 4);
    }
    if (m_frames == 0) return Lose();
    if (b.Is(0, "TAG") && at + 128 <= Limit()) return Finish(at + 128);
    Finish(at);
  }

 private:
  unsigned m_kind = 0;
  std::int64_t m_frames = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Mp3() { return std::make_unique<Mp3End>(); }

}  // namespace lowscan::ends
