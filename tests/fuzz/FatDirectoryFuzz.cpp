// FAT directory entries: short and long names, deleted marks, attributes, first
// clusters and sizes extracted into file records. The first input byte picks FAT12,
// FAT16 or FAT32 and whether live files count, the second where the directory's bytes
// (the rest) split into two reads that carry a long name across; the scanner's drive
// stays unselected, so a subdirectory is noted but not read.

#include <cstring>
#include <vector>

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/FatNames.h"
#include "fsscan/MekFATScan.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

// A FAT32 volume of 4-sector clusters: what the extraction reads of a boot record.
fsscan::BootRecord TypicalBoot() {
  fsscan::BootRecord boot{};
  const auto put = [&](std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) boot[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
  };
  put(11, 512, 2);
  put(13, 4, 1);
  put(14, 32, 2);
  put(16, 2, 1);
  put(32, 262144, 4);
  put(36, 512, 4);
  put(44, 2, 4);
  put(510, 0xAA55, 2);
  return boot;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const fsscan::BootRecord boot = TypicalBoot();
  static disk::TRawDiskAccessComponent raw;
  fsscan::TMekFATScan scanner;
  scanner.SetRAW(&raw);
  scanner.SetDeletedOnly((data[0] & 4) != 0);
  scanner.SetFilter((data[0] & 8) != 0 ? "jpg,txt" : "");
  const auto fatType = static_cast<std::uint8_t>(data[0] % 3);
  // Each read in a buffer of its own, so a read past it is seen.
  const auto* bytes = reinterpret_cast<const std::byte*>(data) + 2;
  const std::size_t total = size - 2;
  const std::size_t split = std::min<std::size_t>(total, static_cast<std::size_t>(data[1]) * 32);
  fsscan::LongNameAssembler names;
  const std::vector<std::byte> first(bytes, bytes + split);
  const std::vector<std::byte> second(bytes + split, bytes + total);
  scanner.ExtractDirEntries(first.data(), boot, fatType, "\\Photos", static_cast<std::int64_t>(first.size()), &names);
  scanner.ExtractDirEntries(second.data(), boot, fatType, "\\Photos", static_cast<std::int64_t>(second.size()),
                            &names);
  scanner.ConsolidateFiles();
  return 0;
}
