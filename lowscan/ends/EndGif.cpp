// GIF: header and screen descriptor, the colour tables, then image and extension
// blocks (each a chain of sub-blocks) up to the trailer byte.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

std::int64_t ColourTable(unsigned flags) { return (flags & 0x80) ? 3 * (std::int64_t{2} << (flags & 7)) : 0; }

class GifEnd : public TEndWalker<GifEnd> {
 protected:
  void Start() override { Want(0, 13); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    switch (m_state) {
      case State::kHeader:
        if (!(b.Is(0, "GIF87a") || b.Is(0, "GIF89a")) || b.Le(6, 2) == 0 || b.Le(8, 2) == 0) return Reject();
        SetHeaderParsed();
        m_state = State::kBlock;
        return Want(13 + ColourTable(b.U8(10)), 1);
      case State::kBlock:
        if (b.U8(0) == 0x3B) return Finish(at + 1);
        if (b.U8(0) == 0x21) {
          m_state = State::kSubBlock;
          return Want(at + 2, 1);
        }
        if (b.U8(0) != 0x2C) return Lose();
        m_state = State::kImage;
        return Want(at, 10);
      case State::kImage:
        m_state = State::kCodeSize;
        return Want(at + 10 + ColourTable(b.U8(9)), 1);
      case State::kCodeSize:
        if (b.U8(0) < 1 || b.U8(0) > 11) return Lose();
        m_state = State::kSubBlock;
        return Want(at + 1, 1);
      case State::kSubBlock:
        if (b.U8(0) == 0) {
          m_state = State::kBlock;
          return Want(at + 1, 1);
        }
        return Want(at + 1 + b.U8(0), 1);
    }
  }

 private:
  enum class State { kHeader, kBlock, kImage, kCodeSize, kSubBlock };
  State m_state = State::kHeader;
};

}  // namespace

std::unique_ptr<TFileEnd> Gif() { return std::make_unique<GifEnd>(); }

}  // namespace lowscan::ends
