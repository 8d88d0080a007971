// FLAC: "fLaC", the metadata blocks led by the stream information, then the
// frames, each read through to its CRC-16 since frames state no length. The
// file ends with the frame that completes the stream's total of samples, or,
// where the stream information leaves the total open, behind the last frame
// that another frame header does not follow.

#include <algorithm>

#include "lowscan/FileEndWalkers.h"
#include "lowscan/FlacFrame.h"

namespace lowscan::fileend {
namespace {

// Bytes asked for at a frame: the stream's largest frame, or this, doubled
// while a frame is longer, up to the walkers' largest request.
constexpr std::size_t kFirstWindow = 1 << 14;
constexpr std::size_t kLargestWindow = 1 << 20;
constexpr std::int64_t kInfoEnd = 42;  // "fLaC", a block header and the 34 bytes of stream information

class FlacEnd : public TEndWalker<FlacEnd> {
 protected:
  void Start() override { Want(0, kInfoEnd); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kInfo: return OnInfo(b);
      case State::kBlock: return OnBlock(at, b);
      case State::kFrame: return OnFrame(at, b);
    }
  }

 private:
  enum class State { kInfo, kBlock, kFrame };

  void OnInfo(const Bytes& b) {
    const std::uint32_t minBlock = b.Be(8, 2), maxBlock = b.Be(10, 2), rate = b.Be(18, 3) >> 4;
    m_stream.channels = ((b.U8(20) >> 1) & 7) + 1;
    m_stream.bits = (((b.U8(20) & 1) << 4) | (b.U8(21) >> 4)) + 1;
    if (!b.Is(0, "fLaC") || (b.U8(4) & 0x7F) != 0 || b.Be(5, 3) != 34 || minBlock < 16 || maxBlock < minBlock ||
        rate == 0 || m_stream.bits < 4) {
      return Reject();
    }
    SetHeaderParsed();
    m_total = (std::int64_t{b.U8(21) & 0x0Fu} << 32) | b.Be(22, 4);
    const std::uint32_t maxFrame = b.Be(15, 3);
    m_window = maxFrame > 0 ? std::clamp<std::size_t>(maxFrame, 64, kLargestWindow) : kFirstWindow;
    if (b.U8(4) & 0x80) return FrameAt(kInfoEnd);
    m_state = State::kBlock;
    Want(kInfoEnd, 4);
  }

  void OnBlock(std::int64_t at, const Bytes& b) {
    if ((b.U8(0) & 0x7F) == 127) return Lose();
    const std::int64_t next = at + 4 + b.Be(1, 3);
    if (b.U8(0) & 0x80) return FrameAt(next);
    Want(next, 4);
  }

  void FrameAt(std::int64_t at) {
    if (m_total > 0 && m_samples >= m_total) return Finish(at);
    const std::int64_t room = Limit() - at;
    if (room <= 0) return Lose();
    m_state = State::kFrame;
    Want(at, static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(m_window))));
  }

  void OnFrame(std::int64_t at, const Bytes& b) {
    const TFlacFrame frame = ReadFlacFrame({b.Data(), b.Size()}, m_stream);
    switch (frame.result) {
      case TFlacFrame::Result::kFrame:
        ++m_frames;
        m_samples += frame.blockSize;
        return FrameAt(at + static_cast<std::int64_t>(frame.length));
      case TFlacFrame::Result::kShort:
        // A longer frame than asked for, unless the limit is what cut it.
        if (b.Size() < m_window || m_window >= kLargestWindow) return Lose();
        m_window *= 2;
        return FrameAt(at);
      case TFlacFrame::Result::kNoFrame:
        if (m_total == 0 && m_frames > 0) return Finish(at);
        return Lose();
      case TFlacFrame::Result::kDamaged: return Lose();
    }
  }

  State m_state = State::kInfo;
  TFlacStream m_stream;
  std::int64_t m_total = 0;  // samples per channel, 0 when not known
  std::int64_t m_samples = 0;
  std::int64_t m_frames = 0;
  std::size_t m_window = kFirstWindow;
};

}  // namespace

std::unique_ptr<TFileEnd> Flac() { return std::make_unique<FlacEnd>(); }

}  // namespace lowscan::fileend
