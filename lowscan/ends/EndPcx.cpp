// PCX: a 128-byte header, the scan lines of every plane (run-length coded, or
// not), as many bytes as the header's geometry gives, and for 256-colour
// pictures of version 5 the VGA palette: a 0x0C byte and 768 bytes of colours.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::int64_t kHeader = 128;
constexpr std::int64_t kPalette = 769;

class PcxEnd : public TEndWalker<PcxEnd> {
 protected:
  void Start() override { Want(0, kHeader); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kHeader: return OnHeader(b);
      case State::kRuns: return OnRuns(at, b);
      case State::kPalette: return Finish(b.U8(0) == 0x0C ? at + kPalette : at);
    }
  }

 private:
  enum class State { kHeader, kRuns, kPalette };

  void OnHeader(const Bytes& b) {
    const unsigned version = b.U8(1), encoding = b.U8(2), bits = b.U8(3), planes = b.U8(65);
    const std::uint32_t xMin = b.Le(4, 2), yMin = b.Le(6, 2), xMax = b.Le(8, 2), yMax = b.Le(10, 2);
    const std::uint32_t lineBytes = b.Le(66, 2);
    const bool knownVersion = version == 0 || (version >= 2 && version <= 5);
    const bool knownDepth = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (b.U8(0) != 0x0A || !knownVersion || encoding > 1 || !knownDepth || xMax < xMin || yMax < yMin ||
        b.U8(64) != 0 || planes < 1 || planes > 4 || lineBytes == 0 ||
        std::int64_t{lineBytes} * 8 < std::int64_t{xMax - xMin + 1} * bits) {
      return Reject();
    }
    SetHeaderParsed();
    m_left = std::int64_t{yMax - yMin + 1} * planes * lineBytes;
    m_palette = version == 5 && bits == 8 && planes == 1;
    if (encoding == 0) return AfterImage(kHeader + m_left);
    m_state = State::kRuns;
    ScanFrom(kHeader);
  }

  // A byte with its two top bits set repeats the next byte (its low six bits
  // times); any other byte stands for itself. A last run may reach past the
  // picture, as some writers let it.
  void OnRuns(std::int64_t at, const Bytes& b) {
    const std::size_t n = b.Size();
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned byte = b.U8(i);
      if (m_count >= 0) {
        m_left -= m_count;
        m_count = -1;
      } else if (byte >= 0xC0) {
        m_count = byte & 0x3F;
        continue;
      } else {
        --m_left;
      }
      if (m_left <= 0) return AfterImage(at + static_cast<std::int64_t>(i) + 1);
    }
    ScanFrom(at + static_cast<std::int64_t>(n));
  }

  void AfterImage(std::int64_t end) {
    if (!m_palette || end >= Limit()) return Finish(end);
    m_state = State::kPalette;
    Want(end, 1);
  }

  State m_state = State::kHeader;
  std::int64_t m_left = 0;   // picture bytes still to come
  std::int64_t m_count = -1;  // a run's length, its byte still to come
  bool m_palette = false;
};

}  // namespace

std::unique_ptr<TFileEnd> Pcx() { return std::make_unique<PcxEnd>(); }

}  // namespace lowscan::ends
