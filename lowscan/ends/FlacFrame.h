#pragma once
// One FLAC frame read from its bytes: the header with its CRC-8, then every
// subframe down to the residual's Rice codes (without computing a sample), so
// that the frame's length comes out exact; the CRC-16 behind the frame confirms
// it. Frames state no length of their own. Used by the FLAC walker.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lowscan::ends {

// What the stream information block says of every frame.
struct TFlacStream {
  unsigned channels = 0;
  unsigned bits = 0;  // per sample
};

struct TFlacFrame {
  enum class Result {
    kFrame,    // a whole, sound frame
    kShort,    // the frame runs past the bytes given
    kNoFrame,  // no frame header begins here
    kDamaged,  // a frame header, but the frame behind it does not hold
  };
  Result result = Result::kNoFrame;
  std::size_t length = 0;       // with kFrame: its bytes, CRC-16 included
  std::uint32_t blockSize = 0;  // with kFrame: samples per channel
};

TFlacFrame ReadFlacFrame(std::span<const unsigned char> bytes, const TFlacStream& stream);

}  // namespace lowscan::ends
