// Ogg (Vorbis, Opus): pages, each length from its segment table; the file ends
// with the page that closes the last of the logical streams its first pages
// opened.

#include <algorithm>
#include <vector>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::size_t kMaxStreams = 64;

class OggEnd : public TEndWalker<OggEnd> {
 protected:
  void Start() override { Want(0, 27); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (m_table) return OnTable(at, b);
    const unsigned type = b.U8(5);
    if (!b.Is(0, "OggS") || b.U8(4) != 0 || (type & ~7u) != 0) return Reject();
    const std::uint32_t serial = b.Le(14, 4);
    const auto open = std::find(m_open.begin(), m_open.end(), serial);
    if (type & 2) {
      // A stream begins; only at the start of the file, as the format demands.
      if (m_pagesAfterStart > 0 || open != m_open.end() || m_open.size() >= kMaxStreams) return Reject();
      m_open.push_back(serial);
    } else {
      if (at == 0 || open == m_open.end()) return Reject();
      ++m_pagesAfterStart;
    }
    SetHeaderParsed();
    m_closes = (type & 4) != 0;
    m_serial = serial;
    m_table = true;
    Want(at + 27, b.U8(26) == 0 ? 1 : b.U8(26));
    m_segments = b.U8(26);
  }

 private:
  void OnTable(std::int64_t at, const Bytes& b) {
    m_table = false;
    std::int64_t body = 0;
    for (unsigned i = 0; i < m_segments; ++i) body += b.U8(i);
    const std::int64_t next = at + m_segments + body;
    if (m_closes) m_open.erase(std::find(m_open.begin(), m_open.end(), m_serial));
    if (m_open.empty()) return Finish(next);
    Want(next, 27);
  }

  std::vector<std::uint32_t> m_open;  // serial numbers of streams not yet closed
  std::int64_t m_pagesAfterStart = 0;
  bool m_table = false;
  bool m_closes = false;
  std::uint32_t m_serial = 0;
  unsigned m_segments = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Ogg() { return std::make_unique<OggEnd>(); }

}  // namespace lowscan::ends
