#include "platform/DriveQueries.h"

#include <fcntl.h>
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
#include "platform/Volume.h"
#include "util/Text.h"

namespace platform {
namespace {

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

// Kinds whose boot sector this program decodes itself: its refusal outweighs blkid's guess.
bool DecodedHere(const std::string& blkidType) {
  return blkidType == "vfat" || blkidType == "ntfs" || blkidType == "exfat";
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
  if (const auto volume = Volume::Choose(drive->letter)) {
    bytesPerSector = volume->SectorSize();
    sectorsPerCluster = volume->SectorsPerCluster();
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
  const auto volume = Volume::Choose(drive->letter);
  const BootGeometry* boot = volume && volume->Boot() ? &*volume->Boot() : nullptr;
  if (!drive->mountRoot.empty()) {
    struct statvfs vfs {};
    if (statvfs(drive->mountRoot.c_str(), &vfs) != 0) {
      SetLastErrorFromErrno(errno);
      return false;
    }
    out.bytesPerSector = volume ? volume->SectorSize() : 512;
    const std::uint64_t blockSize = vfs.f_frsize != 0 ? vfs.f_frsize : vfs.f_bsize;
    out.sectorsPerCluster = boot ? boot->sectorsPerCluster
                                 : std::max<std::uint32_t>(1, static_cast<std::uint32_t>(blockSize / out.bytesPerSector));
    const std::uint64_t clusterSize = std::uint64_t{out.bytesPerSector} * out.sectorsPerCluster;
    out.totalClusters = vfs.f_blocks * blockSize / clusterSize;
    // What this user may write, as the Windows call counts free clusters for its caller:
    // blocks reserved for the superuser or beyond a quota would let a save run out of room.
    out.freeClusters = vfs.f_bavail * blockSize / clusterSize;
    return true;
  }
  if (!volume) return false;
  if (volume->Size() == 0) {
    // A card reader slot without a card: the device is there but holds nothing.
    SetLastError(kErrorNotReady);
    return false;
  }
  if (boot) {
    out.bytesPerSector = boot->bytesPerSector;
    out.sectorsPerCluster = boot->sectorsPerCluster;
    out.totalClusters = boot->dataClusters;
    out.freeClusters = volume->FreeClusters();
  } else {
    out.bytesPerSector = volume->LogicalSectorSize();
    out.sectorsPerCluster = 1;
    out.totalClusters = volume->Size() / volume->LogicalSectorSize();
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
  if (const auto volume = Volume::Choose(drive->letter)) {
    const Volume::Probe& probe = volume->Probed();
    out.label = probe.label;
    if (volume->Boot()) {
      out.fileSystem = FileSystemName(volume->Boot()->kind);
      out.serialNumber = volume->Boot()->serialNumber;
    } else if (DecodedHere(probe.type)) {
      // blkid takes a boot sector our checks refuse for that kind: a volume no scan can
      // walk, which Windows too shows without a file system.
      out.fileSystem = "RAW";
    } else {
      out.fileSystem = util::UpperCase(probe.type.empty() ? drive->fsType : probe.type);
      out.serialNumber = SerialFromUuid(probe.uuid);
    }
    return true;
  }
  if (drive->mountRoot.empty()) return false;
  // Mounted but the device cannot be read (a share, a folder, no rights): what the mount says.
  out.fileSystem = drive->fsType == "vfat" ? "FAT" : util::UpperCase(drive->fsType);
  return true;
}

}  // namespace platform
