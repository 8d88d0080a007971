// RIFF (AVI, WAVE, WebP) and IFF (AIFF, DjVu): one form chunk whose size field
// holds the whole file. An AVI over 1 GiB goes on in further "RIFF AVIX" forms.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

class FormEnd : public TEndWalker<FormEnd> {
 public:
  FormEnd(bool bigEndian, std::size_t prefix) : m_bigEndian(bigEndian), m_prefix(prefix) {}

 protected:
  void Start() override { Want(0, m_prefix + 12); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    const std::size_t p = at == 0 ? m_prefix : 0;
    const bool form = m_bigEndian ? b.Is(p, "FORM") : b.Is(p, "RIFF");
    if (at > 0 && !(form && b.Is(8, "AVIX"))) return Finish(at);
    const std::uint32_t size = m_bigEndian ? b.Be(p + 4, 4) : b.Le(p + 4, 4);
    if (!form || size < 4) return Reject();
    for (std::size_t i = p + 8; i < p + 12; ++i) {
      if (b.U8(i) < 0x20 || b.U8(i) > 0x7E) return Reject();
    }
    SetHeaderParsed();
    // Inner chunks are padded to even sizes; the form's own size is taken as it stands.
    const std::int64_t end = at + static_cast<std::int64_t>(p) + 8 + size;
    if (!b.Is(p + 8, "AVI ") && !b.Is(p + 8, "AVIX")) return Finish(end);
    if (end >= Limit()) return Finish(end);
    Want(end, 12);
  }

 private:
  bool m_bigEndian;
  std::size_t m_prefix;
};

}  // namespace

std::unique_ptr<TFileEnd> Riff() { return std::make_unique<FormEnd>(false, 0); }
std::unique_ptr<TFileEnd> Iff(std::size_t prefix) { return std::make_unique<FormEnd>(true, prefix); }

}  // namespace lowscan::ends
