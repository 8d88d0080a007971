// Windows icon: the directory's entries give each picture's offset and size; the
// file ends behind the last of them.

#include <algorithm>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

class IcoEnd : public TEndWalker<IcoEnd> {
 protected:
  void Start() override { Want(0, 6); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      m_count = b.Le(4, 2);
      if (b.Le(0, 2) != 0 || b.Le(2, 2) != 1 || m_count == 0) return Reject();
      return Want(6, 16 * m_count);
    }
    const std::int64_t table = 6 + 16 * std::int64_t{m_count};
    std::int64_t end = table;
    for (unsigned i = 0; i < m_count; ++i) {
      const std::size_t e = 16 * i;
      const std::uint32_t size = b.Le(e + 8, 4), offset = b.Le(e + 12, 4);
      if (b.U8(e + 3) != 0 || size < 40 || offset < table) return Reject();
      end = std::max(end, std::int64_t{offset} + size);
    }
    SetHeaderParsed();
    Finish(end);
  }

 private:
  unsigned m_count = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Ico() { return std::make_unique<IcoEnd>(); }

}  // namespace lowscan::ends
