// gzip: one member, inflated by zlib with the output thrown away, up to the end
// of its deflate stream and the eight-byte trailer, whose checksum and length
// zlib checks. Memory: zlib's state and its 32 KiB window; a copy copies both.

#define ZLIB_CONST
#include <zlib.h>

#include <array>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

// Where inflated bytes go to be forgotten; shared, since nothing reads them.
std::array<unsigned char, 1 << 16>& Sink() {
  thread_local std::array<unsigned char, 1 << 16> sink;
  return sink;
}

class GzipEnd : public TEndWalker<GzipEnd> {
 public:
  GzipEnd() = default;
  GzipEnd(const GzipEnd& other) : TEndWalker(other) {
    if (!other.m_open) return;
    if (inflateCopy(&m_stream, const_cast<z_stream*>(&other.m_stream)) == Z_OK) {
      m_open = true;
    } else {
      Lose();
    }
  }
  GzipEnd& operator=(const GzipEnd&) = delete;
  ~GzipEnd() override {
    if (m_open) inflateEnd(&m_stream);
  }

 protected:
  void Start() override { Want(0, 10); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (!m_open) {
      // Magic, deflate as the method, no reserved flag: anything else is no gzip member.
      if (b.U8(0) != 0x1F || b.U8(1) != 0x8B || b.U8(2) != 8 || (b.U8(3) & 0xE0) != 0) return Reject();
      if (inflateInit2(&m_stream, 16 + MAX_WBITS) != Z_OK) return Lose();
      m_open = true;
    }
    m_stream.next_in = b.Data();
    m_stream.avail_in = static_cast<uInt>(b.Size());
    for (;;) {
      m_stream.next_out = Sink().data();
      m_stream.avail_out = static_cast<uInt>(Sink().size());
      const int rc = inflate(&m_stream, Z_NO_FLUSH);
      // Inflated bytes prove the header and the first block: a later fault is damage.
      if (m_stream.total_out > 0 || rc == Z_STREAM_END) SetHeaderParsed();
      if (rc == Z_STREAM_END) return Finish(at + static_cast<std::int64_t>(b.Size() - m_stream.avail_in));
      if (rc == Z_BUF_ERROR) break;  // all input taken, nothing more to give out
      if (rc != Z_OK) return rc == Z_MEM_ERROR ? Lose() : Reject();
      if (m_stream.avail_out > 0) break;
    }
    ScanFrom(at + static_cast<std::int64_t>(b.Size()));
  }

 private:
  z_stream m_stream{};
  bool m_open = false;
};

}  // namespace

std::unique_ptr<TFileEnd> Gzip() { return std::make_unique<GzipEnd>(); }

}  // namespace lowscan::ends
