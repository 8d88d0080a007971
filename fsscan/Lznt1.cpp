// LZNT1 decompression of NTFS compression units.

#include "fsscan/Lznt1.h"

#include <algorithm>

#include "util/ByteReader.h"

namespace fsscan {
namespace {

constexpr std::uint16_t kChunkCompressed = 0x8000;
constexpr std::uint16_t kChunkSizeMask = 0x0FFF;

// Decodes one compressed chunk's tokens into `out` (at most 4096 bytes). Returns the bytes
// produced, or -1 when a token points before the chunk's start or past its input.
std::int64_t DecompressChunk(const util::ByteReader& chunk, std::span<std::byte> out) {
  std::size_t in = 0;
  std::size_t pos = 0;
  while (in < chunk.Size() && pos < out.size()) {
    const std::uint8_t flags = chunk.U8(in++);
    for (int bit = 0; bit < 8 && in < chunk.Size() && pos < out.size(); ++bit) {
      if ((flags & (1u << bit)) == 0) {
        out[pos++] = chunk.Bytes()[in++];
        continue;
      }
      const auto token = chunk.ReadU16LE(in);
      if (!token || pos == 0) return -1;
      in += 2;
      // The split between offset and length bits moves as the output grows: the offset
      // field is just wide enough to reach back to the chunk's first byte.
      unsigned lengthBits = 12;
      for (std::size_t p = pos - 1; p >= 0x10; p >>= 1) --lengthBits;
      const std::size_t back = (*token >> lengthBits) + 1u;
      const std::size_t length = (*token & ((1u << lengthBits) - 1u)) + 3u;
      if (back > pos) return -1;
      const std::size_t end = std::min(out.size(), pos + length);
      // Copied byte by byte: a reference may overlap the bytes it produces.
      for (; pos < end; ++pos) out[pos] = out[pos - back];
    }
  }
  return static_cast<std::int64_t>(pos);
}

}  // namespace

bool Lznt1DecompressUnit(std::span<const std::byte> in, std::span<std::byte> out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  const util::ByteReader reader(in);
  std::uint64_t at = 0;
  std::size_t produced = 0;
  while (reader.Has(at, 2)) {
    const std::uint16_t header = reader.U16(at);
    if (header == 0) break;  // the rest of the unit is zeros
    if (produced >= out.size()) return false;
    const std::uint64_t size = (header & kChunkSizeMask) + 1u;
    const auto body = reader.Sub(at + 2, size);
    if (!body) return false;
    const std::span<std::byte> target = out.subspan(produced, std::min(kLznt1ChunkSize, out.size() - produced));
    if ((header & kChunkCompressed) != 0) {
      if (DecompressChunk(*body, target) < 0) return false;
    } else {
      if (size > target.size()) return false;
      std::copy(body->Bytes().begin(), body->Bytes().end(), target.begin());
    }
    produced += target.size();
    at += 2 + size;
  }
  return true;
}

}  // namespace fsscan
