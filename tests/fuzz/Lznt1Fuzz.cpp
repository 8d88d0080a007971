// One LZNT1 compression unit, decompressed into a unit of the size the first input
// byte picks (the usual 16 clusters of 4096 bytes, and odd sizes a volume can claim).

#include <vector>

#include "fsscan/Lznt1.h"
#include "tests/fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static constexpr std::size_t kUnitSizes[] = {65536, 4096, 8192, 32768, 1, 4095, 0, 131072};
  std::vector<std::byte> out(kUnitSizes[data[0] % std::size(kUnitSizes)]);
  (void)fsscan::Lznt1DecompressUnit(fuzz::Bytes(data + 1, size - 1), out);
  return 0;
}
