// Standard MIDI files: the header chunk says how many track chunks follow; the
// file ends behind the last of them.

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

class MidiEnd : public TEndWalker<MidiEnd> {
 protected:
  void Start() override { Want(0, 14); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      m_tracks = b.Be(10, 2);
      if (!b.Is(0, "MThd") || b.Be(4, 4) != 6 || b.Be(8, 2) > 2 || m_tracks == 0) return Reject();
      SetHeaderParsed();
      return Want(14, 8);
    }
    if (!b.Is(0, "MTrk")) return Lose();
    const std::int64_t next = at + 8 + b.Be(4, 4);
    if (--m_tracks == 0) return Finish(next);
    Want(next, 8);
  }

 private:
  unsigned m_tracks = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Midi() { return std::make_unique<MidiEnd>(); }

}  // namespace lowscan::ends
