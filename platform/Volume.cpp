#include "platform/Volume.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "platform/BootSector.h"
#include "platform/DriveTable.h"
#include "platform/LastError.h"
#include "platform/ReadFaults.h"
#include "util/Text.h"

namespace platform {
namespace {

constexpr std::uint64_t kMaxFatBytesToCount = 64ull << 20;

std::optional<DriveEntry> DriveOfRoot(std::string_view root) {
  if (root.empty()) return std::nullopt;
  const char letter = root[0];
  if (root.size() > 1 && root[1] != ':') return std::nullopt;
  return DriveTable::Instance().Find(letter);
}

std::optional<DriveEntry> ExistingDrive(std::string_view root) {
  auto drive = DriveOfRoot(root);
  if (!drive) SetLastError(kErrorNotReady);
  return drive;
}

VolumeHandle OpenDevice(const std::string& path, int flags) {
  if (path.empty()) {
    SetLastError(kErrorNotReady);
    return {};
  }
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) SetLastErrorFromErrno(errno);
  return VolumeHandle(fd);
}

struct DeviceFacts {
  std::uint32_t sectorSize = 512;
  std::uint64_t sizeBytes = 0;
  std::optional<BootGeometry> boot;
};

// Reads what the device itself says: its size, logical sector size and boot sector.
std::optional<DeviceFacts> ProbeDevice(const std::string& devicePath) {
  if (devicePath.empty()) return std::nullopt;
  const int fd = ::open(devicePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastErrorFromErrno(errno);
    return std::nullopt;
  }
  DeviceFacts facts;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) {
    int sectorSize = 0;
    if (ioctl(fd, BLKSSZGET, &sectorSize) == 0 && sectorSize > 0) facts.sectorSize = static_cast<std::uint32_t>(sectorSize);
    std::uint64_t size = 0;
    if (ioctl(fd, BLKGETSIZE64, &size) == 0) facts.sizeBytes = size;
  } else {
    facts.sizeBytes = static_cast<std::uint64_t>(st.st_size);
  }
  std::vector<std::byte> sector(4096);
  const ssize_t got = pread(fd, sector.data(), sector.size(), 0);
  if (got >= 512) facts.boot = ParseBootSector(std::span(sector.data(), static_cast<std::size_t>(got)));
  ::close(fd);
  return facts;
}

std::uint64_t CountFreeClusters(const std::string& devicePath, const BootGeometry& g, std::uint64_t deviceBytes) {
  if (g.kind != VolumeKind::Fat12 && g.kind != VolumeKind::Fat16 && g.kind != VolumeKind::Fat32) return 0;
  const std::uint64_t fatBytes = g.fatSectors * g.bytesPerSector;
  if (fatBytes > kMaxFatBytesToCount) return 0;  // not cheaply known
  // A boot sector may claim a table larger than the device behind it: nothing to count.
  if (deviceBytes != 0 && (g.fatStartSector * g.bytesPerSector > deviceBytes ||
                           fatBytes > deviceBytes - g.fatStartSector * g.bytesPerSector)) {
    return 0;
  }
  VolumeHandle handle = OpenDevice(devicePath, O_RDONLY);
  std::vector<std::byte> fat(static_cast<std::size_t>(fatBytes));
  const std::int64_t got = handle.ReadAt(g.fatStartSector * g.bytesPerSector, fat);
  if (got <= 0) return 0;
  fat.resize(static_cast<std::size_t>(got));
  return CountFreeFatClusters(fat, g.kind, g.dataClusters);
}

std::string FileSystemName(VolumeKind kind) {
  switch (kind) {
    case VolumeKind::Fat12:
    case VolumeKind::Fat16: return "FAT";
    case VolumeKind::Fat32: return "FAT32";
    case VolumeKind::Ntfs: return "NTFS";
    case VolumeKind::ExFat: return "exFAT";
  }
  return {};
}

struct BlkidValues {
  std::string type;
  std::string label;
  std::string uuid;
};

BlkidValues ProbeWithBlkid(const std::string& devicePath) {
  BlkidValues values;
  std::unique_ptr<std::remove_pointer_t<blkid_probe>, decltype(&blkid_free_probe)> probe(
      blkid_new_probe_from_filename(devicePath.c_str()), &blkid_free_probe);
  if (!probe) return values;
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_UUID);
  // Only file systems a drive list names: probing for every kind blkid knows (RAID and
  // volume-manager labels, ZFS, ...) reads all over a drive of random data, and a drive
  // is selected several times per scan.
  static const char* kNamed[] = {"vfat",  "ntfs", "exfat", "iso9660", "udf",     "ext2", "ext3", "ext4",
                                 "btrfs", "xfs",  "f2fs",  "hfsplus", "apfs",    "jfs",  "nilfs2", nullptr};
  blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, const_cast<char**>(kNamed));
  if (blkid_do_safeprobe(probe.get()) != 0) return values;
  const char* data = nullptr;
  if (blkid_probe_lookup_value(probe.get(), "TYPE", &data, nullptr) == 0) values.type = data;
  if (blkid_probe_lookup_value(probe.get(), "LABEL", &data, nullptr) == 0) values.label = data;
  if (blkid_probe_lookup_value(probe.get(), "UUID", &data, nullptr) == 0) values.uuid = data;
  return values;
}

// Windows reports no serial for file systems it does not know; a stable one from the
// UUID lets the medium check before saving still tell two such volumes apart.
std::uint32_t SerialFromUuid(const std::string& uuid) {
  std::string hex;
  for (char c : uuid) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(c);
    if (hex.size() == 8) break;
  }
  return hex.size() == 8 ? static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16)) : 0;
}

}  // namespace

VolumeHandle::~VolumeHandle() {
  if (m_fd >= 0) ::close(m_fd);
}

VolumeHandle& VolumeHandle::operator=(VolumeHandle&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

std::int64_t VolumeHandle::ReadAt(std::uint64_t offset, std::span<std::byte> out) const {
  std::size_t done = 0;
  while (done < out.size()) {
    const long got = ReadFaults::PRead(m_fd, out.data() + done, out.size() - done, offset + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno(errno);
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t VolumeHandle::WriteAt(std::uint64_t offset, std::span<const std::byte> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = pwrite(m_fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno(errno);
      return -1;
    }
    if (put == 0) break;
    done += static_cast<std::size_t>(put);
  }
  return static_cast<std::int64_t>(done);
}

VolumeHandle OpenVolume(char letter) {
  const auto drive = DriveTable::Instance().Find(letter);
  if (!drive) {
    SetLastError(kErrorNotReady);
    return {};
  }
  return OpenDevice(drive->devicePath, O_RDONLY);
}

bool MayReadVolume(char letter) {
  const auto drive = DriveTable::Instance().Find(letter);
  if (!drive || drive->devicePath.empty()) return true;
  // Only a refusal counts: a missing card is "no disk", not a question of rights.
  return ::access(drive->devicePath.c_str(), R_OK) == 0 || (errno != EACCES && errno != EPERM);
}

VolumeHandle OpenVolumeForWriting(char letter) {
  const auto drive = DriveTable::Instance().Find(letter);
  if (!drive) {
    SetLastError(kErrorNotReady);
    return {};
  }
  return OpenDevice(drive->devicePath, O_WRONLY);
}

int GetDriveTypeOf(std::string_view root) {
  const auto drive = DriveOfRoot(root);
  if (!drive) return kDriveNoRootDir;
  return drive->type;
}

bool GetSectorGeometry(std::string_view root, std::uint32_t& bytesPerSector, std::uint32_t& sectorsPerCluster) {
  const auto drive = ExistingDrive(root);
  if (!drive) return false;
  if (const auto facts = ProbeDevice(drive->devicePath)) {
    bytesPerSector = facts->boot ? facts->boot->bytesPerSector : facts->sectorSize;
    sectorsPerCluster = facts->boot ? facts->boot->sectorsPerCluster : 1;
    return true;
  }
  FreeSpace space;
  if (!GetDiskFreeSpace(root, space)) return false;
  bytesPerSector = space.bytesPerSector;
  sectorsPerCluster = space.sectorsPerCluster;
  return true;
}

bool GetDiskFreeSpace(std::string_view root, FreeSpace& out) {
  const auto drive = ExistingDrive(root);
  if (!drive) return false;
  const auto facts = ProbeDevice(drive->devicePath);
  if (!drive->mountRoot.empty()) {
    struct statvfs vfs {};
    if (statvfs(drive->mountRoot.c_str(), &vfs) != 0) {
      SetLastErrorFromErrno(errno);
      return false;
    }
    out.bytesPerSector = facts && facts->boot ? facts->boot->bytesPerSector : facts ? facts->sectorSize : 512;
    const std::uint64_t blockSize = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    out.sectorsPerCluster = facts && facts->boot ? facts->boot->sectorsPerCluster
                                                 : std::max<std::uint32_t>(1, static_cast<std::uint32_t>(blockSize / out.bytesPerSector));
    const std::uint64_t clusterSize = std::uint64_t{out.bytesPerSector} * out.sectorsPerCluster;
    out.totalClusters = vfs.f_blocks * blockSize / clusterSize;
    // What this user may write, as the Windows call counts free clusters for its caller:
    // blocks reserved for the superuser or beyond a quota would let a save run out of room.
    out.freeClusters = vfs.f_bavail * blockSize / clusterSize;
    return true;
  }
  if (!facts) return false;
  if (facts->sizeBytes == 0) {
    // A card reader slot without a card: the device is there but holds nothing.
    SetLastError(kErrorNotReady);
    return false;
  }
  if (facts->boot) {
    out.bytesPerSector = facts->boot->bytesPerSector;
    out.sectorsPerCluster = facts->boot->sectorsPerCluster;
    out.totalClusters = facts->boot->dataClusters;
    out.freeClusters = CountFreeClusters(drive->devicePath, *facts->boot, facts->sizeBytes);
  } else {
    out.bytesPerSector = facts->sectorSize;
    out.sectorsPerCluster = 1;
    out.totalClusters = facts->sizeBytes / facts->sectorSize;
    out.freeClusters = 0;
  }
  return true;
}

bool GetDiskFreeSpaceEx(std::string_view root, FreeSpaceEx& out) {
  const auto drive = ExistingDrive(root);
  if (!drive) return false;
  if (!drive->mountRoot.empty()) {
    struct statvfs vfs {};
    if (statvfs(drive->mountRoot.c_str(), &vfs) != 0) {
      SetLastErrorFromErrno(errno);
      return false;
    }
    const std::uint64_t blockSize = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    out.totalBytes = vfs.f_blocks * blockSize;
    out.totalFreeBytes = vfs.f_bfree * blockSize;
    out.freeBytesAvailable = vfs.f_bavail * blockSize;
    return true;
  }
  FreeSpace space;
  if (!GetDiskFreeSpace(root, space)) return false;
  const std::uint64_t clusterSize = std::uint64_t{space.bytesPerSector} * space.sectorsPerCluster;
  out.totalBytes = space.totalClusters * clusterSize;
  out.totalFreeBytes = space.freeClusters * clusterSize;
  out.freeBytesAvailable = out.totalFreeBytes;
  return true;
}

bool GetVolumeInformation(std::string_view root, VolumeInformation& out) {
  const auto drive = ExistingDrive(root);
  if (!drive) return false;
  out = {};
  const auto facts = ProbeDevice(drive->devicePath);
  if (facts) {
    const BlkidValues blkid = ProbeWithBlkid(drive->devicePath);
    out.label = blkid.label;
    if (facts->boot) {
      out.fileSystem = FileSystemName(facts->boot->kind);
      out.serialNumber = facts->boot->serialNumber;
    } else {
      out.fileSystem = util::UpperCase(blkid.type.empty() ? drive->fsType : blkid.type);
      out.serialNumber = SerialFromUuid(blkid.uuid);
    }
    return true;
  }
  if (drive->mountRoot.empty()) return false;
  // Mounted but the device cannot be read (a share, a folder, no rights): what the mount says.
  out.fileSystem = drive->fsType == "vfat" ? "FAT" : util::UpperCase(drive->fsType);
  return true;
}

}  // namespace platform
