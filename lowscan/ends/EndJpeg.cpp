// JPEG: markers and their segments up to the start of a scan, the entropy-coded
// data to the next marker, and so on to the end-of-image marker. An Exif block
// and the thumbnail inside it are one APP1 segment; progressive files have
// several scans with tables between them.

#include <cstring>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr unsigned kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA;

bool IsRestart(unsigned m) { return m >= 0xD0 && m <= 0xD7; }

// Markers that may stand between scans (tables, restart interval, comments, APPn, DNL).
bool BetweenScans(unsigned m) {
  return m == 0xC4 || m == 0xCC || m == 0xDB || m == 0xDC || m == 0xDD || m == 0xFE || (m >= 0xE0 && m <= 0xEF);
}

class JpegEnd : public TEndWalker<JpegEnd> {
 protected:
  void Start() override { Want(0, 2); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kSoi:
        if (b.U8(0) != 0xFF || b.U8(1) != kSoi) return Reject();
        m_state = State::kMarker;
        return Want(2, 2);
      case State::kMarker: return OnMarker(at, b);
      case State::kLength: return OnLength(at, b);
      case State::kEntropy: return OnEntropy(at, b);
      case State::kEntropyPair:
        if (b.U8(1) == 0x00 || IsRestart(b.U8(1))) {
          m_state = State::kEntropy;
          return ScanFrom(at + 2);
        }
        m_state = State::kMarker;
        return OnMarker(at, b);
    }
  }

 private:
  enum class State { kSoi, kMarker, kLength, kEntropy, kEntropyPair };

  void OnMarker(std::int64_t at, const Bytes& b) {
    if (b.U8(0) != 0xFF) return Reject();
    const unsigned m = b.U8(1);
    if (m == 0xFF) return Want(at + 1, 2);  // fill byte before a marker
    if (m == kEoi && m_scans > 0) return Finish(at + 2);
    if (m_scans > 0 && !BetweenScans(m) && m != kSos) return Lose();
    if (m_scans == 0 && (m < 0xC0 || m == kSoi || m == kEoi || IsRestart(m))) return Reject();
    m_marker = m;
    m_state = State::kLength;
    Want(at + 2, 2);
  }

  void OnLength(std::int64_t at, const Bytes& b) {
    const std::uint32_t length = b.Be(0, 2);
    if (length < 2) return Reject();
    // A first segment with a sound length is the header's proof.
    SetHeaderParsed();
    const std::int64_t next = at + length;
    if (m_marker == kSos) {
      ++m_scans;
      m_state = State::kEntropy;
      return ScanFrom(next);
    }
    m_state = State::kMarker;
    Want(next, 2);
  }

  // Entropy-coded data: 0xFF 0x00 is a data byte, 0xFF 0xD0-0xD7 a restart;
  // any other 0xFF pair is the next marker.
  void OnEntropy(std::int64_t at, const Bytes& b) {
    const unsigned char* data = b.Data();
    std::size_t i = 0;
    const std::size_t n = b.Size();
    while (i < n) {
      const void* ff = std::memchr(data + i, 0xFF, n - i);
      if (ff == nullptr) return ScanFrom(at + static_cast<std::int64_t>(n));
      i = static_cast<std::size_t>(static_cast<const unsigned char*>(ff) - data);
      if (i + 1 >= n) {
        m_state = State::kEntropyPair;
        return Want(at + static_cast<std::int64_t>(i), 2);
      }
      const unsigned next = data[i + 1];
      if (next == 0x00 || IsRestart(next)) {
        i += 2;
        continue;
      }
      m_state = State::kMarker;
      return Want(at + static_cast<std::int64_t>(i), 2);
    }
    ScanFrom(at + static_cast<std::int64_t>(n));
  }

  State m_state = State::kSoi;
  unsigned m_marker = 0;
  int m_scans = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Jpeg() { return std::make_unique<JpegEnd>(); }

}  // namespace lowscan::ends
