#pragma once
// What a whole disk or card image holds: the volumes its partition table names (MBR with
// logical partitions, GPT, read through libblkid) and the volumes found by their boot
// sectors where no table speaks for the space ("lost" partitions). Every table entry is
// checked against the device and the entries before it; what is refused or cut is noted.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/BootBackups.h"

namespace platform {

struct DiskSlice {
  std::uint64_t offset = 0;  // bytes from the device's start
  std::uint64_t length = 0;  // bytes
  int tableNumber = 0;       // the table's own number (5 and up: logical); 0 for a lost volume
  bool lost = false;
  std::string evidence;  // how a lost volume was found: "FAT32 backup boot sector at byte 1051648"
};

struct DiskLayout {
  std::string tableType;           // "dos", "gpt"; empty when the disk holds no table
  std::vector<DiskSlice> volumes;  // table partitions holding a volume in table order, then lost ones
  std::vector<std::string> notes;  // one line per refusal, cut and find, for the log
};

// Bounds of the search for lost volumes: boot sectors looked at per disk.
struct LostSearchLimits {
  std::uint64_t mebibyteSteps = 1u << 16;  // candidates on 1 MiB boundaries (2048 sectors)
  std::uint64_t cylinderSteps = 1u << 15;  // candidates on 63-sector boundaries
};

// The layout of the device open as `fd` (`deviceBytes` long, `sectorSize` its logical
// sector size, 0 for an image file, which is tried at 512 and 4096). A device whose first
// sector is itself a volume's boot sector is a bare volume: no volumes listed.
DiskLayout ReadDiskLayout(int fd, std::uint64_t deviceBytes, std::uint32_t sectorSize,
                          const LostSearchLimits& limits = {});

// A medium read otherwise than by one descriptor (an Expert Witness or split raw image): its
// bytes, and a descriptor libblkid can probe a stretch of (`offset`, `length`) through.
struct MediumReader {
  ReadBytes read;
  std::function<int(std::uint64_t offset, std::uint64_t length)> probeFd;
};
DiskLayout ReadDiskLayout(const MediumReader& medium, std::uint64_t deviceBytes, std::uint32_t sectorSize,
                          const LostSearchLimits& limits = {});

// Whether the bytes at `offset` of `fd` begin a volume this program or blkid knows
// (its boot sector, or one of its backups, decodes).
bool HoldsVolume(int fd, std::uint64_t offset, std::uint64_t length);

}  // namespace platform
