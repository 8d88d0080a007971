// Photoshop (PSD, and PSB for large documents): the header, three sections
// each led by its length (colour mode data, image resources, layers and masks),
// then the merged image: raw, as many bytes as channels, lines and line width
// give, or run-length coded, a table of every line's byte count before the
// lines. Zip-compressed image data states no length: not followed.

#include <algorithm>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::int64_t kHeader = 26;
// Line counts read per request, well below the walkers' largest request.
constexpr std::int64_t kCountsPerRead = 1 << 15;

class PsdEnd : public TEndWalker<PsdEnd> {
 protected:
  void Start() override { Want(0, kHeader); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kHeader: return OnHeader(b);
      case State::kSection: return OnSection(at, b);
      case State::kCompression: return OnCompression(at, b);
      case State::kCounts: return OnCounts(at, b);
    }
  }

 private:
  enum class State { kHeader, kSection, kCompression, kCounts };

  void OnHeader(const Bytes& b) {
    const std::uint32_t version = b.Be(4, 2), channels = b.Be(12, 2), height = b.Be(14, 4), width = b.Be(18, 4);
    const std::uint32_t depth = b.Be(22, 2), mode = b.Be(24, 2);
    const std::uint32_t largest = version == 2 ? 300000 : 30000;
    const bool knownDepth = depth == 1 || depth == 8 || depth == 16 || depth == 32;
    const bool knownMode = mode <= 4 || (mode >= 7 && mode <= 9);
    if (!b.Is(0, "8BPS") || (version != 1 && version != 2) || b.Be(6, 4) != 0 || b.Be(10, 2) != 0 || channels == 0 ||
        channels > 56 || height == 0 || height > largest || width == 0 || width > largest || !knownDepth || !knownMode) {
      return Reject();
    }
    SetHeaderParsed();
    m_large = version == 2;
    m_lines = std::int64_t{channels} * height;
    m_lineBytes = (std::int64_t{width} * depth + 7) / 8;
    m_state = State::kSection;
    Want(kHeader, 4);
  }

  // The sections' lengths, each counting the bytes behind it; the third has
  // eight bytes of length in PSB.
  void OnSection(std::int64_t at, const Bytes& b) {
    const bool wide = m_large && m_section == 2;
    const std::int64_t width = wide ? 8 : 4;
    const std::uint64_t length = wide ? b.Be64(0) : b.Be(0, 4);
    if (length > static_cast<std::uint64_t>(Limit() - at - width)) return Lose();
    const std::int64_t next = at + width + static_cast<std::int64_t>(length);
    if (++m_section == 3) {
      m_state = State::kCompression;
      return Want(next, 2);
    }
    Want(next, m_large && m_section == 2 ? 8 : 4);
  }

  void OnCompression(std::int64_t at, const Bytes& b) {
    const std::uint32_t compression = b.Be(0, 2);
    if (compression == 0) return Finish(at + 2 + m_lines * m_lineBytes);
    if (compression != 1) return Lose();
    m_state = State::kCounts;
    m_dataEnd = at + 2 + m_lines * CountWidth();
    ReadCounts(at + 2);
  }

  void OnCounts(std::int64_t at, const Bytes& b) {
    const std::size_t width = static_cast<std::size_t>(CountWidth());
    for (std::size_t i = 0; i + width <= b.Size(); i += width) m_dataEnd += b.Be(i, static_cast<unsigned>(width));
    m_lines -= static_cast<std::int64_t>(b.Size() / width);
    if (m_lines == 0) return Finish(m_dataEnd);
    ReadCounts(at + static_cast<std::int64_t>(b.Size()));
  }

  void ReadCounts(std::int64_t at) {
    Want(at, static_cast<std::size_t>(std::min(m_lines, kCountsPerRead) * CountWidth()));
  }

  std::int64_t CountWidth() const { return m_large ? 4 : 2; }

  State m_state = State::kHeader;
  bool m_large = false;
  int m_section = 0;
  std::int64_t m_lines = 0;  // channels times lines; while counting, the counts still to read
  std::int64_t m_lineBytes = 0;
  std::int64_t m_dataEnd = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Psd() { return std::make_unique<PsdEnd>(); }

}  // namespace lowscan::ends
