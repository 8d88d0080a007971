#pragma once
// The NTFS boot sector: geometry, the master file table's place and record size.

#include <cstdint>
#include <optional>

#include "platform/BootSector.h"
#include "util/ByteReader.h"

namespace platform {

// Smallest and largest FILE record sizes accepted from a boot sector.
constexpr std::uint64_t kMinNtfsRecordSize = 256;
constexpr std::uint64_t kMaxNtfsRecordSize = 65536;

// Bytes of one FILE record from the boot sector's clusters-per-record field. The field is a
// signed byte: a positive value counts clusters, a negative one (0xF6 = -10) is the power of
// two of the byte size. Returns 0 for a value that gives no sensible record size.
std::uint64_t NtfsRecordSizeFromField(std::uint32_t field, std::uint32_t sectorsPerCluster,
                                      std::uint32_t bytesPerSector);

// The checked decode: sector size, cluster factor (clusters above 64 KiB stored as a
// negative power of two, at most 2 MiB), a total that fits 64-bit byte offsets, the
// $MFT inside the volume and a usable record size.
std::optional<BootGeometry> DecodeNtfsBootSector(const util::ByteReader& sector, const DeviceLimits& device);

}  // namespace platform
