#pragma once
// One opened volume: a device, an image file (plain, Expert Witness or split raw), or a
// stretch of either starting at a byte offset (a partition inside a whole disk). Opened once when a drive is chosen;
// owns its descriptor; knows its size, the device's logical sector size, its boot
// sector decoded and its identity; reads by byte offset into the caller's buffer.
// Read-only: the one write path opens the device for itself.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/BootSector.h"
#include "platform/TimedRead.h"

namespace platform {

class ImageSource;

class Volume {
 public:
  // Opens `path` for reading; the volume begins `offset` bytes in and spans `length`
  // bytes (0: to the device's end). nullptr, last error set, when it cannot be opened.
  static std::shared_ptr<const Volume> Open(const std::string& path, std::uint64_t offset = 0,
                                            std::uint64_t length = 0);
  // The volume behind a drive letter as a choice of that drive opens it: the one already
  // open for the letter while it is still the same medium, else opened afresh and kept as
  // the letter's for as long as someone holds it. nullptr, last error set, when the letter
  // is no drive or its device cannot be opened (folders and shares have none).
  static std::shared_ptr<const Volume> Choose(char letter);
  // The volume last chosen for the letter while someone still holds it; else Choose.
  // What a transfer uses: it never checks the medium again.
  static std::shared_ptr<const Volume> Held(char letter);

  // How long a read may take before it is given up and fails (ETIMEDOUT, last error
  // 121); process-wide, for every volume. Zero: reads wait as long as they take.
  static constexpr std::chrono::milliseconds kDefaultReadTimeout{5000};
  static void SetReadTimeout(std::chrono::milliseconds limit);
  static std::chrono::milliseconds ReadTimeout();

  ~Volume();
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  const std::string& Path() const { return m_path; }
  std::uint64_t Offset() const { return m_offset; }
  std::uint64_t Size() const { return m_size; }
  // The device's logical sector size (512 for an image file).
  std::uint32_t LogicalSectorSize() const { return m_logicalSectorSize; }
  const std::optional<BootGeometry>& Boot() const { return m_boot; }
  // Where the boot sector came from when the first sector did not decode: "FAT32 backup
  // boot sector", ...; empty otherwise. Reads of the first sectors then give the copy.
  const std::string& BootFrom() const { return m_bootFrom; }
  // An image file made by a rescue copy comes with its map (IMAGE.map, GNU ddrescue's
  // format): the byte ranges of the file the copy did not read, in order; reads that
  // touch them fail as the drive's did. Empty for other volumes.
  struct Range {
    std::uint64_t begin = 0, end = 0;
  };
  const std::vector<Range>& NotRescued() const { return m_notRescued; }
  const std::string& MapPath() const { return m_mapPath; }

  // The sector size and cluster factor transfers use: the file system's, else the device's.
  std::uint32_t SectorSize() const { return m_boot ? m_boot->bytesPerSector : m_logicalSectorSize; }
  std::uint32_t SectorsPerCluster() const { return m_boot ? m_boot->sectorsPerCluster : 1; }

  // Reads into the whole span from the volume's byte `offset`; returns the bytes read
  // (short at the end of the volume). -1 on an error or a read over the time limit, with
  // the last error set. Safe from several threads at once.
  std::int64_t ReadAt(std::uint64_t offset, std::span<std::byte> out) const;

  // Free clusters of a FAT volume, counted from its first table once, when first asked (of an
  // exFAT volume, from its allocation bitmap); 0 for other kinds or a table too large to count
  // cheaply.
  std::uint64_t FreeClusters() const;

  // What blkid says of the volume (type, label, UUID), probed once, when first asked.
  struct Probe {
    std::string type;
    std::string label;
    std::string uuid;
  };
  const Probe& Probed() const;

 private:
  Volume() = default;
  // Whether `path` still names the medium this volume opened.
  bool StillSameMedium(const std::string& path) const;
  // Free clusters of an exFAT volume from its allocation bitmap; 0 where not cheaply known.
  std::uint64_t FreeExFatClusters() const;
  void TakeBackupBoot(const DeviceLimits& limits);
  void TakeRescueMap(std::uint64_t fileSize);
  bool TouchesNotRescued(std::uint64_t begin, std::uint64_t end) const;

  std::shared_ptr<const SharedDescriptor> m_descriptor;  // kept open by reads left hanging
  int m_fd = -1;
  std::shared_ptr<const ImageSource> m_image;  // an Expert Witness or split raw image: read through it
  std::string m_path;
  std::uint64_t m_offset = 0;
  std::uint64_t m_size = 0;
  bool m_bounded = false;  // opened with a length: reads stop at it
  std::uint32_t m_logicalSectorSize = 512;
  bool m_blockDevice = false;
  std::optional<BootGeometry> m_boot;
  std::string m_bootFrom;
  std::vector<Range> m_notRescued;  // file offsets, sorted, disjoint
  std::string m_mapPath;
  std::vector<std::byte> m_firstSectors;  // a backup standing in for an overwritten boot sector
  std::string m_firstBytes;  // the first 4 KiB as opened, to tell a medium swapped in a reader
  std::uint64_t m_device = 0, m_inode = 0, m_rdev = 0;
  std::int64_t m_modifiedNs = 0;

  mutable std::mutex m_lazyMutex;
  mutable std::optional<std::uint64_t> m_freeClusters;
  mutable std::optional<Probe> m_probe;
};

}  // namespace platform
