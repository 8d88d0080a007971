// FLAC: "fLaC", the metadata blocks led by the stream information, then the
// frames, each read through to its CRC-16 since frames state no length. The
// file ends with the frame that completes the stream's total of samples, or,
// where the stream information leaves the total open, behind the last frame
// that another frame header does not follow.

#include <algorithm>
#include <span>
#include <vector>

#include "lowscan/ends/FileEndWalkers.h"
#include "lowscan/ends/FlacFrame.h"

namespace lowscan::ends {
namespace {

// Bytes gathered before a frame is read: the stream's largest frame, or this,
// doubled while a frame is longer, up to a bound.
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
      case State::kFrame: return OnFrames(at, b);
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
    m_want = m_window;
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

  // Frames are read from a scan: bytes a frame turns out not to need begin the
  // next one, so the walk keeps them.
  void FrameAt(std::int64_t at) {
    m_state = State::kFrame;
    m_frameAt = at;
    ScanFrom(at);
  }

  void OnFrames(std::int64_t at, const Bytes& b) {
    std::span<const unsigned char> data(b.Data(), b.Size());
    if (!m_carry.empty()) {
      m_carry.insert(m_carry.end(), b.Data(), b.Data() + b.Size());
      data = m_carry;
    }
    const bool toLimit = at + static_cast<std::int64_t>(b.Size()) >= Limit();
    std::size_t pos = 0;
    for (;;) {
      if (m_total > 0 && m_samples >= m_total) return Finish(m_frameAt);
      const std::span<const unsigned char> rest = data.subspan(pos);
      if (rest.size() < m_want && !toLimit) break;
      const TFlacFrame frame = ReadFlacFrame(rest, m_stream);
      if (frame.result == TFlacFrame::Result::kShort) {
        // A longer frame than the stream said, or one cut by the limit.
        if (toLimit || rest.size() >= kLargestWindow) return Lose();
        m_want = std::min(kLargestWindow, rest.size() * 2);
        break;
      }
      if (frame.result == TFlacFrame::Result::kNoFrame && m_total == 0 && m_frames > 0) return Finish(m_frameAt);
      if (frame.result != TFlacFrame::Result::kFrame) return Lose();
      ++m_frames;
      m_samples += frame.blockSize;
      m_frameAt += static_cast<std::int64_t>(frame.length);
      pos += frame.length;
      m_want = m_window;
    }
    std::vector<unsigned char> rest(data.begin() + static_cast<std::ptrdiff_t>(pos), data.end());
    m_carry = std::move(rest);
    ScanFrom(at + static_cast<std::int64_t>(b.Size()));
  }

  State m_state = State::kInfo;
  TFlacStream m_stream;
  std::int64_t m_total = 0;  // samples per channel, 0 when not known
  std::int64_t m_samples = 0;
  std::int64_t m_frames = 0;
  std::size_t m_window = kFirstWindow;  // bytes a frame is read from
  std::size_t m_want = kFirstWindow;    // bytes to gather before the next try
  std::int64_t m_frameAt = 0;           // where the next frame begins
  std::vector<unsigned char> m_carry;   // its bytes so far, when a piece cut it
};

}  // namespace

std::unique_ptr<TFileEnd> Flac() { return std::make_unique<FlacEnd>(); }

}  // namespace lowscan::ends
