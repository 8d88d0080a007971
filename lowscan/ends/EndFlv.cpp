// Flash video: the header, then tags (audio, video, script data), each with its
// data size and followed by the size of the tag; the file ends where no tag follows.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

class FlvEnd : public TEndWalker<FlvEnd> {
 protected:
  void Start() override { Want(0, 9); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      const std::uint32_t header = b.Be(5, 4);
      if (!b.Is(0, "FLV\x01") || header < 9 || header > 1024) return Reject();
      SetHeaderParsed();
      return Next(header + 4);
    }
    const unsigned type = b.U8(0) & 0x1F;
    if ((type != 8 && type != 9 && type != 18) || (b.U8(0) & 0xC0) != 0 || b.Be(8, 3) != 0) return Finish(at);
    Next(at + 11 + b.Be(1, 3) + 4);
  }

 private:
  void Next(std::int64_t at) {
    if (at + 11 > Limit()) return Finish(at);
    Want(at, 11);
  }
};

}  // namespace

std::unique_ptr<TFileEnd> Flv() { return std::make_unique<FlvEnd>(); }

}  // namespace lowscan::ends
