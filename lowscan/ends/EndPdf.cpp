// PDF and PostScript: the file ends with the line ending behind its last
// "%%EOF". Incremental updates append further sections, each with its own
// "%%EOF", so after one the walk looks a bounded way further for another.

#include <string>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::int64_t kLookAhead = 1 << 20;
constexpr std::string_view kEof = "%%EOF";

class PdfEnd : public TEndWalker<PdfEnd> {
 public:
  explicit PdfEnd(std::string_view magic) : m_magic(magic) {}

 protected:
  void Start() override { Want(0, m_magic.size() + 1); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kHeader:
        if (!b.Is(0, m_magic)) return Reject();
        SetHeaderParsed();
        m_state = State::kScan;
        return ScanFrom(static_cast<std::int64_t>(m_magic.size()));
      case State::kScan: return OnScan(at, b);
      case State::kPeek:
        if (b.Is(0, kEof)) return AfterEof(at + 5);
        m_state = State::kScan;
        return ScanFrom(at + 1);
      case State::kEol:
        if (b.U8(0) == '\r' && !m_sawCr) {
          m_sawCr = true;
          return Want(at + 1, 1);
        }
        return Ended(b.U8(0) == '\n' ? at + 1 : at);
    }
  }

 private:
  enum class State { kHeader, kScan, kPeek, kEol };

  void OnScan(std::int64_t at, const Bytes& b) {
    if (m_tentative >= 0 && at >= m_lookTo) return Finish(m_tentative);
    const std::string_view text(reinterpret_cast<const char*>(b.Data()), b.Size());
    const std::size_t hit = text.find(kEof);
    // Behind an end, the start of another document closes this one.
    if (m_tentative >= 0 && text.substr(0, hit).find(m_magic) != std::string_view::npos) return Finish(m_tentative);
    if (hit != std::string_view::npos) return AfterEof(at + static_cast<std::int64_t>(hit) + 5);
    // "%%EOF" cut by the end of the piece.
    for (std::size_t i = text.size() > 4 ? text.size() - 4 : 0; i < text.size(); ++i) {
      if (kEof.substr(0, text.size() - i) == text.substr(i)) {
        m_state = State::kPeek;
        return Want(at + static_cast<std::int64_t>(i), kEof.size());
      }
    }
    ScanFrom(at + static_cast<std::int64_t>(text.size()));
  }

  void AfterEof(std::int64_t at) {
    m_sawCr = false;
    if (at >= Limit()) return Finish(at);
    m_state = State::kEol;
    Want(at, 1);
  }

  void Ended(std::int64_t end) {
    m_tentative = end;
    m_lookTo = end + kLookAhead;
    Tentative(end);
    if (end >= Limit()) return Finish(end);
    m_state = State::kScan;
    ScanFrom(end);
  }

  std::string m_magic;
  State m_state = State::kHeader;
  bool m_sawCr = false;
  std::int64_t m_tentative = -1;
  std::int64_t m_lookTo = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> PdfLike(std::string_view magic) { return std::make_unique<PdfEnd>(magic); }

}  // namespace lowscan::ends
