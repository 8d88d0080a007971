#pragma once
// A volume whose first sector was overwritten can still be read through a copy of it:
// FAT32 keeps one 6 sectors in, exFAT a whole backup boot region 12 sectors in, NTFS one
// in the volume's last sector. This finds the first copy that decodes, so the volume is
// read as if its first sectors were whole again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/BootSector.h"

namespace platform {

// Reads bytes at an offset of the volume into the span; returns the bytes read, -1 on error.
using ReadBytes = std::function<std::int64_t(std::uint64_t, std::span<std::byte>)>;

struct FoundBoot {
  BootGeometry geometry;
  std::uint64_t at = 0;     // where the sector that decoded lies, from the volume's start
  std::uint64_t bytes = 0;  // how many bytes from `at` stand for the volume's first ones (0: the primary)
  std::string what;         // "boot sector", "FAT32 backup boot sector", ...
  // The bytes the volume spans by its own account (NTFS keeps its backup past its total).
  std::uint64_t VolumeBytes() const;
};

// The primary boot sector, else the first backup that decodes to the same kind with the
// sector size it sits at. `volumeBytes` 0: the NTFS backup (at the end) is not looked for.
std::optional<FoundBoot> LocateBootSector(const ReadBytes& read, std::uint64_t volumeBytes,
                                          const DeviceLimits& device = {});

// The NTFS volume whose backup boot sector may lie at `at` of the device: that sector
// decodes as NTFS and the volume it describes starts within [earliest, at).
std::optional<FoundBoot> NtfsBackupAt(const ReadBytes& read, std::uint64_t at, std::uint64_t earliest);

}  // namespace platform
