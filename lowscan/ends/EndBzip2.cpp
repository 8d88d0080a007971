// bzip2: one stream, decompressed by libbz2 with the output thrown away, up to
// its end-of-stream mark and the combined checksum behind it. libbz2 cannot copy
// a decompressor, so a copy made to look ahead finds the end by that mark alone
// (48 bits at any bit offset, then 32 bits of checksum, then the padding to a
// byte): the byte the decompressor would stop at, unless the stream is damaged.
// Memory: libbz2's block buffers, at most about 3.7 MB for 900 k blocks.

#include <bzlib.h>

#include <array>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::uint64_t kBlockMark = 0x314159265359;
constexpr std::uint64_t kEndMark = 0x177245385090;
constexpr std::uint64_t kMarkBits = (std::uint64_t{1} << 48) - 1;

std::array<char, 1 << 16>& Sink() {
  thread_local std::array<char, 1 << 16> sink;
  return sink;
}

// The last eight bytes fed, oldest first in the high bits.
std::uint64_t ShiftIn(std::uint64_t history, const TEndBytes& b) {
  const std::size_t from = b.Size() > 8 ? b.Size() - 8 : 0;
  for (std::size_t i = from; i < b.Size(); ++i) history = (history << 8) | b.U8(i);
  return history;
}

// The look-ahead copy: the stream goes on to its end-of-stream mark.
class Bzip2Mark : public TFileEnd {
 public:
  // `base` is the walk copied; `history` its last eight bytes, which may already hold part of the mark.
  Bzip2Mark(const TFileEnd& base, std::uint64_t history) : TFileEnd(base), m_history(history) {
    const std::int64_t bits = Fed() * 8;
    for (int shift = 16; shift >= 0; --shift) {
      if (((m_history >> shift) & kMarkBits) == kEndMark && bits - shift >= 48) {
        FinishAfterMark(bits - shift);
        return;
      }
    }
  }
  std::unique_ptr<TFileEnd> Clone() const override { return std::make_unique<Bzip2Mark>(*this); }

 protected:
  void Start() override {}

  void OnBytes(std::int64_t at, const Bytes& b) override {
    for (std::size_t i = 0; i < b.Size(); ++i) {
      const unsigned byte = b.U8(i);
      for (int bit = 7; bit >= 0; --bit) {
        m_history = (m_history << 1) | ((byte >> bit) & 1);
        if ((m_history & kMarkBits) == kEndMark) {
          return FinishAfterMark((at + static_cast<std::int64_t>(i)) * 8 + (8 - bit));
        }
      }
    }
    ScanFrom(at + static_cast<std::int64_t>(b.Size()));
  }

 private:
  // `markEnd`: the file's bit count up to the mark's last bit.
  void FinishAfterMark(std::int64_t markEnd) { Finish((markEnd + 32 + 7) / 8); }

  std::uint64_t m_history;
};

class Bzip2End : public TFileEnd {
 public:
  Bzip2End() = default;
  Bzip2End(const Bzip2End&) = delete;
  Bzip2End& operator=(const Bzip2End&) = delete;
  ~Bzip2End() override {
    if (m_open) BZ2_bzDecompressEnd(&m_stream);
  }

  // The walk before its decompressor exists: the header is still to come.
  explicit Bzip2End(const TFileEnd& unstarted) : TFileEnd(unstarted) {}

  std::unique_ptr<TFileEnd> Clone() const override {
    if (!m_open) return std::make_unique<Bzip2End>(static_cast<const TFileEnd&>(*this));
    return std::make_unique<Bzip2Mark>(*this, m_history);
  }

 protected:
  void Start() override { Want(0, 10); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (!m_open) {
      // "BZh", the block size digit, then the first block's mark or, for an
      // empty stream, the end mark, both byte-aligned here.
      const std::uint64_t mark = (std::uint64_t{b.Be(4, 2)} << 32) | b.Be(6, 4);
      if (!b.Is(0, "BZh") || b.U8(3) < '1' || b.U8(3) > '9' || (mark != kBlockMark && mark != kEndMark)) {
        return Reject();
      }
      SetHeaderParsed();
      if (BZ2_bzDecompressInit(&m_stream, 0, 0) != BZ_OK) return Lose();
      m_open = true;
    }
    m_history = ShiftIn(m_history, b);
    m_stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(b.Data()));
    m_stream.avail_in = static_cast<unsigned>(b.Size());
    for (;;) {
      m_stream.next_out = Sink().data();
      m_stream.avail_out = static_cast<unsigned>(Sink().size());
      const int rc = BZ2_bzDecompress(&m_stream);
      if (rc == BZ_STREAM_END) return Finish(at + static_cast<std::int64_t>(b.Size() - m_stream.avail_in));
      if (rc != BZ_OK) return Lose();
      if (m_stream.avail_out > 0) break;
    }
    ScanFrom(at + static_cast<std::int64_t>(b.Size()));
  }

 private:
  bz_stream m_stream{};
  bool m_open = false;
  std::uint64_t m_history = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Bzip2() { return std::make_unique<Bzip2End>(); }

}  // namespace lowscan::ends
