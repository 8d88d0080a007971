#pragma once
// LZNT1, the compression of NTFS compressed attributes: one compression unit is a row of
// chunks, each standing for 4096 bytes of data, stored either as is or as LZ77 tokens.

#include <cstddef>
#include <cstdint>
#include <span>

namespace fsscan {

constexpr std::size_t kLznt1ChunkSize = 4096;

// Decompresses one compression unit into `out` (its full uncompressed size). Chunks that
// stand for less than 4096 bytes and the space after the last chunk are zero-filled. False
// when a chunk header, a back-reference or a length does not fit the input or the output.
bool Lznt1DecompressUnit(std::span<const std::byte> in, std::span<std::byte> out);

}  // namespace fsscan
