// AMR (narrow band): "#!AMR\n", then frames, each a header byte whose frame
// type gives the length of the speech bits behind it. The file ends at the
// first byte that is no frame header. Headers must mark the frame good and keep
// their padding bits clear, as encoders write them; zero bytes, as in the slack
// behind a file, are therefore no frames.

#include <algorithm>

#include "lowscan/ends/FileEndWalkers.h"

namespace lowscan::ends {
namespace {

constexpr std::int64_t kMagic = 6;
// Speech bytes after the header by frame type; -1: no frame of this format.
constexpr int kSpeechBytes[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, -1, -1, -1, -1, -1, -1, 0};

class AmrEnd : public TEndWalker<AmrEnd> {
 protected:
  void Start() override { Want(0, kMagic); }

  void OnBytes(std::int64_t at, const Bytes& b) override {
    if (at == 0) {
      if (!b.Is(0, "#!AMR\n")) return Reject();
      SetHeaderParsed();
      return ScanFrom(kMagic);
    }
    const std::size_t n = b.Size();
    std::size_t i = 0;
    while (i < n) {
      if (m_speech > 0) {
        const std::size_t skip = static_cast<std::size_t>(std::min<std::int64_t>(m_speech, static_cast<std::int64_t>(n - i)));
        m_speech -= static_cast<std::int64_t>(skip);
        i += skip;
        continue;
      }
      const unsigned header = b.U8(i);
      const int speech = kSpeechBytes[(header >> 3) & 15];
      if ((header & 0x87) != 0x04 || speech < 0) {
        if (m_frames == 0) return Lose();
        return Finish(at + static_cast<std::int64_t>(i));
      }
      ++m_frames;
      m_speech = speech;
      ++i;
    }
    ScanFrom(at + static_cast<std::int64_t>(n));
  }

 private:
  std::int64_t m_speech = 0;  // bytes of the current frame still to come
  std::int64_t m_frames = 0;
};

}  // namespace

std::unique_ptr<TFileEnd> Amr() { return std::make_unique<AmrEnd>(); }

}  // namespace lowscan::ends
