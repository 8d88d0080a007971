// A volume's boot sector (FAT, exFAT or NTFS), its geometry and allocation table, decoded
// on their own and then as a whole volume: the directory walk or the MFT, the cluster
// chains and the save.

#include <algorithm>
#include <array>
#include <cstring>

#include "fsscan/ExFatEntries.h"
#include "fsscan/MekFATScan.h"
#include "fsscan/NtfsLayout.h"
#include "platform/BootSector.h"
#include "platform/ExFatBootSector.h"
#include "platform/FatBootSector.h"
#include "platform/NtfsBootSector.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/VolumeScanHarness.h"

namespace {

void DecodeBootAndTable(std::span<const std::byte> input) {
  fsscan::BootRecord boot{};
  std::memcpy(boot.data(), input.data(), std::min(boot.size(), input.size()));
  const fsscan::FatType type = fsscan::TMekFATScan::GetFATType(boot);
  (void)fsscan::TMekFATScan::GetFirstRootDirSector(boot);
  (void)fsscan::TMekFATScan::GetRootDirSectors(boot);
  (void)fsscan::TMekFATScan::GetFirstDataSector(boot);
  (void)fsscan::TMekFATScan::GetTotalSectors(boot);
  (void)platform::DecodeNtfsBootSector(util::ByteReader(boot.data(), boot.size()), {});
  (void)platform::DecodeFatBootSector(util::ByteReader(boot.data(), boot.size()), {.logicalSectorSize = 4096});
  const auto geometry = platform::ParseBootSector(input.first(std::min<std::size_t>(input.size(), 4096)));
  // The exFAT boot region, and the input's bytes as an exFAT directory.
  (void)platform::DecodeExFatBootRegion(input.first(std::min(input.size(), platform::kExFatBootRegionsBytes)), {});
  (void)fsscan::exfat::ParseDirectory(util::ByteReader(input));
  if (input.size() <= boot.size()) return;
  const fsscan::FatBuffer fat(input.begin() + static_cast<std::ptrdiff_t>(boot.size()), input.end());
  const std::int64_t clusters = geometry ? static_cast<std::int64_t>(std::min<std::uint64_t>(geometry->dataClusters, 70000)) + 2
                                         : static_cast<std::int64_t>(fat.size());
  for (std::int64_t cluster = 0; cluster < clusters; ++cluster) {
    std::int64_t value = 0;
    if (type == fsscan::kFat12) value = fsscan::TMekFATScan::GetFAT12EntryForCluster(boot, fat, cluster);
    if (type == fsscan::kFat16) value = fsscan::TMekFATScan::GetFAT16EntryForCluster(boot, fat, cluster);
    if (type == fsscan::kFat32) value = fsscan::TMekFATScan::GetFAT32EntryForCluster(boot, fat, cluster);
    (void)fsscan::TMekFATScan::IsEOF(type, value);
  }
  if (geometry) (void)platform::CountFreeFatClusters(fat, geometry->kind, geometry->dataClusters);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = fuzz::Bytes(data, size);
  DecodeBootAndTable(input);
  if (size >= 1024) fuzz::VolumeScanHarness::Instance().ScanAndSave(input);
  return 0;
}
