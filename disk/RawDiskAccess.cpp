#include "disk/RawDiskAccess.h"

#include <cmath>
#include <exception>
#include <limits>

#include "platform/DriveTable.h"
#include "platform/LastError.h"
#include "platform/DriveQueries.h"
#include "platform/Volume.h"
#include "util/Prompt.h"
#include "util/Text.h"

namespace disk {
namespace {

// The cifs connector: a share that is already mounted gets the chosen letter as a
// second name for the same mount; anything else is not supported here.
class MountedShareConnector : public INetworkConnector {
 public:
  std::uint32_t AddConnection(std::string_view remoteName, std::string_view, std::string_view localName) override {
    std::string wanted(remoteName);
    for (char& c : wanted) c = c == '\\' ? '/' : c;
    wanted = util::LowerCase(wanted);
    for (const auto& e : platform::DriveTable::Instance().Entries()) {
      if (e.type != platform::kDriveRemote || util::LowerCase(e.mountSource) != wanted) continue;
      if (localName.empty()) return platform::kErrorInvalidParameter;
      platform::DriveTable::Instance().AttachAs(util::UpperCase(localName.substr(0, 1))[0], e);
      return 0;
    }
    return platform::kErrorNotSupported;
  }
};

struct Hooks {
  IVwin32Device* vwin32 = nullptr;
  bool vwin32Open = false;
  INetworkConnector* connector = nullptr;
  std::function<TOsVersionRecord()> versionSource;
  util::IPrompt* prompt = nullptr;
};

Hooks& State() {
  static Hooks hooks;
  return hooks;
}

INetworkConnector& Connector() {
  static MountedShareConnector mounted;
  return State().connector ? *State().connector : mounted;
}

TOsVersionRecord CurrentVersionRecord() {
  return State().versionSource ? State().versionSource() : RunningSystemVersion();
}

char LetterOf(std::uint8_t drive) { return static_cast<char>(drive + 64); }

bool SupportsFat32Services() {
  const std::string name = TRawDiskAccess::RDAAcquireOSVersion().Name;
  return util::ContainsNoCase(name, "95 OSR2") || util::ContainsNoCase(name, "98") || util::ContainsNoCase(name, "ME");
}

bool Request(std::uint32_t code, TRegisterBlock& regs, TTransferBlock* transfer) {
  return TRawDiskAccess::VWIN32DIOC(code, regs, transfer) && !regs.Carry();
}

TTransferBlock MakeTransferBlock(std::uint64_t start, std::uint16_t count, std::span<std::byte> buffer) {
  TTransferBlock block;
  block.StartSector = start;
  block.Count = count;
  block.BufferAddress = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer.data()));
  block.Buffer = buffer;
  return block;
}

bool Transfer9x(std::uint8_t drive, std::uint64_t start, std::uint16_t count, std::span<std::byte> buffer,
                bool write) {
  // The 9x transfer block holds a 32-bit sector number: a sector beyond it is not reachable.
  if (start > std::numeric_limits<std::uint32_t>::max()) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  TTransferBlock block = MakeTransferBlock(static_cast<std::uint32_t>(start), count, buffer);
  if (SupportsFat32Services()) {
    TRegisterBlock regs;
    regs.EAX = 0x7305;
    regs.EBX = block.BufferAddress;
    regs.ECX = 0xFFFFFFFF;
    regs.EDX = drive;
    regs.ESI = write ? 1 : 0;
    if (Request(6, regs, &block)) return true;
  }
  TRegisterBlock regs;
  regs.EAX = static_cast<std::uint32_t>(drive - 1);
  regs.EBX = block.BufferAddress;
  regs.ECX = 0xFFFFFFFF;
  return Request(write ? 3 : 2, regs, &block);
}

// The sizes a transfer works in, from the drive's open volume: no reopening, no probing.
bool SectorGeometry(std::uint8_t drive, std::uint32_t& sectorSize, std::uint32_t& sectorsPerCluster) {
  sectorSize = 0;
  sectorsPerCluster = 0;
  const auto volume = platform::Volume::Held(LetterOf(drive));
  if (!volume) return false;  // the last error says why
  sectorSize = volume->SectorSize();
  sectorsPerCluster = volume->SectorsPerCluster();
  return sectorSize != 0;
}

// The byte offset of a sector, when it fits a file offset.
bool ByteOffsetOf(std::uint64_t sector, std::uint32_t sectorSize, std::uint64_t& offset) {
  if (sectorSize == 0 || sector > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) / sectorSize) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  offset = sector * sectorSize;
  return true;
}

// The first sector of cluster `start` (counted from sector 0), when it fits 64 bits.
bool FirstSectorOfCluster(std::uint64_t start, std::uint32_t sectorsPerCluster, std::uint64_t& sector) {
  if (start > std::numeric_limits<std::uint64_t>::max() / sectorsPerCluster) {
    platform::SetLastError(platform::kErrorInvalidParameter);
    return false;
  }
  sector = start * sectorsPerCluster;
  return true;
}

// The transfer must fit the caller's buffer; a larger request fails before touching the disk.
bool FitsBuffer(std::uint64_t bytes, std::size_t bufferSize) {
  if (bytes <= bufferSize) return true;
  platform::SetLastError(platform::kErrorInsufficientBuffer);
  return false;
}

// Banker's rounding of a quarter, as the 9x size adjustment does it.
std::int32_t QuarterRoundedToEven(std::uint32_t value) {
  return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(value) / 4.0));
}

std::string ResolveShare(std::string share) {
  std::string password;
  for (;;) {
    char chosen = 0;
    for (char c = 'c'; c <= 'z'; ++c) {
      if (platform::GetDriveTypeOf(std::string(1, c) + ":\\") == platform::kDriveNoRootDir) {
        chosen = c;
        break;
      }
    }
    if (chosen == 0) return share;
    const std::uint32_t result = TRawDiskAccess::MapNetworkDrive(share, password, std::string(1, chosen) + ":");
    if (result == 0) return std::string(1, chosen) + ":\\";
    if (result != 86) return share;
    util::IPrompt& prompt = State().prompt ? *State().prompt : util::FallbackPrompt();
    const auto answer =
        prompt.Input("Corvane Services - Network Connection Handler",
                     "The network connection requires a valid password. Please enter the password for this "
                     "connection. (A blank password will abort the connection.)",
                     "");
    if (!answer || answer->empty()) return share;
    password = *answer;
  }
}

}  // namespace

std::string TRawDiskAccess::RDAKernelFamily() {
  switch (CurrentVersionRecord().PlatformId) {
    case 0: return "Win32S";
    case 1: return "9x";
    case 2: return "NT";
    default: return {};
  }
}

TWinVersion TRawDiskAccess::RDAAcquireOSVersion() { return DescribeWindowsVersion(CurrentVersionRecord()); }

bool TRawDiskAccess::VWIN32DIOC(std::uint32_t controlCode, TRegisterBlock& registers, TTransferBlock* transfer) {
  Hooks& s = State();
  if (controlCode == 0) {
    if (s.vwin32Open && s.vwin32) s.vwin32->Close();
    s.vwin32Open = false;
    return true;
  }
  if (!s.vwin32Open) {
    if (RDAKernelFamily() != "9x" || s.vwin32 == nullptr || !s.vwin32->Open()) return false;
    s.vwin32Open = true;
  }
  return s.vwin32->DeviceIoControl(controlCode, registers, transfer);
}

bool TRawDiskAccess::RDARead9xSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                      std::span<std::byte> buffer) {
  return Transfer9x(drive, start, count, buffer, false);
}

bool TRawDiskAccess::RDAWrite9xSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                       std::span<std::byte> buffer) {
  if (!RDALockLogicalVolume(drive, 1, 1)) return false;
  const bool ok = Transfer9x(drive, start, count, buffer, true);
  RDAUnlockLogicalVolume(drive);
  return ok;
}

bool TRawDiskAccess::RDAReadNTSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                      std::span<std::byte> buffer) {
  std::uint32_t sectorSize = 0, sectorsPerCluster = 0;
  if (!SectorGeometry(drive, sectorSize, sectorsPerCluster)) return false;
  const std::uint64_t bytes = std::uint64_t{count} * sectorSize;
  std::uint64_t offset = 0;
  if (!FitsBuffer(bytes, buffer.size()) || !ByteOffsetOf(start, sectorSize, offset)) return false;
  const auto volume = platform::Volume::Held(LetterOf(drive));
  if (!volume) return false;
  platform::SetLastError(0);
  const std::int64_t got = volume->ReadAt(offset, buffer.first(static_cast<std::size_t>(bytes)));
  return got >= 0 && static_cast<std::uint64_t>(got) == bytes;
}

bool TRawDiskAccess::RDAWriteNTSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                       std::span<const std::byte> buffer) {
  std::uint32_t sectorSize = 0, sectorsPerCluster = 0;
  if (!SectorGeometry(drive, sectorSize, sectorsPerCluster)) return false;
  const std::uint64_t bytes = std::uint64_t{count} * sectorSize;
  std::uint64_t offset = 0;
  if (!FitsBuffer(bytes, buffer.size()) || !ByteOffsetOf(start, sectorSize, offset)) return false;
  const platform::VolumeHandle volume = platform::OpenVolumeForWriting(LetterOf(drive));
  if (!volume.IsOpen()) return false;
  platform::SetLastError(0);
  const std::int64_t put = volume.WriteAt(offset, buffer.first(static_cast<std::size_t>(bytes)));
  return put >= 0 && static_cast<std::uint64_t>(put) == bytes;
}

bool TRawDiskAccess::RDAReadSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                    std::span<std::byte> buffer) {
  const std::string family = RDAKernelFamily();
  if (family == "NT") return RDAReadNTSectors(drive, start, count, buffer);
  return family == "9x" && RDARead9xSectors(drive, start, count, buffer);
}

bool TRawDiskAccess::RDAWriteSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                     std::span<std::byte> buffer) {
  const std::string family = RDAKernelFamily();
  if (family == "NT") return RDAWriteNTSectors(drive, start, count, buffer);
  return family == "9x" && RDAWrite9xSectors(drive, start, count, buffer);
}

bool TRawDiskAccess::RDAReadClusters(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                     std::span<std::byte> buffer) {
  std::uint32_t sectorSize = 0, sectorsPerCluster = 0;
  if (!SectorGeometry(drive, sectorSize, sectorsPerCluster) || sectorsPerCluster == 0) return false;
  // Cluster n is the n-th group of sectors from sector 0, not a file-system cluster number.
  std::uint64_t firstSector = 0;
  if (!FirstSectorOfCluster(start, sectorsPerCluster, firstSector)) return false;
  const auto sectors = static_cast<std::uint16_t>(std::uint64_t{sectorsPerCluster} * count);
  if (RDAKernelFamily() == "9x") return RDARead9xSectors(drive, firstSector, sectors, buffer);
  return RDAReadNTSectors(drive, firstSector, sectors, buffer);
}

bool TRawDiskAccess::RDAWriteClusters(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                      std::span<std::byte> buffer) {
  std::uint32_t sectorSize = 0, sectorsPerCluster = 0;
  if (!SectorGeometry(drive, sectorSize, sectorsPerCluster) || sectorsPerCluster == 0) return false;
  std::uint64_t firstSector = 0;
  if (!FirstSectorOfCluster(start, sectorsPerCluster, firstSector)) return false;
  const auto sectors = static_cast<std::uint16_t>(std::uint64_t{sectorsPerCluster} * count);
  if (RDAKernelFamily() == "9x") return RDAWrite9xSectors(drive, firstSector, sectors, buffer);
  return RDAWriteNTSectors(drive, firstSector, sectors, buffer);
}

bool TRawDiskAccess::RDALockLogicalVolume(std::uint8_t drive, std::uint8_t lockLevel, std::uint8_t permissions) {
  const std::uint8_t perms = lockLevel <= 1 ? (permissions & 0x07) : 0;
  auto send = [&](std::uint32_t category) {
    TRegisterBlock regs;
    regs.EAX = 0x440D;
    regs.EBX = std::uint32_t{lockLevel} * 256 + drive;
    regs.ECX = category;
    regs.EDX = perms;
    return Request(1, regs, nullptr);
  };
  if (SupportsFat32Services() && send(0x484A)) return true;
  return send(0x084A);
}

bool TRawDiskAccess::RDAUnlockLogicalVolume(std::uint8_t drive) {
  auto send = [&](std::uint32_t category) {
    TRegisterBlock regs;
    regs.EAX = 0x440D;
    regs.EBX = drive;
    regs.ECX = category;
    return Request(1, regs, nullptr);
  };
  if (SupportsFat32Services() && send(0x486A)) return true;
  return send(0x086A);
}

TDiskSizeInformation TRawDiskAccess::RDAFindDiskSizeInformation(std::string_view drive) {
  TDiskSizeInformation info;
  RDAFindDiskSizeInformation(drive, info);
  return info;
}

void TRawDiskAccess::RDAFindDiskSizeInformation(std::string_view drive, TDiskSizeInformation& info) {
  if (drive.empty()) return;
  std::string root;
  if (drive.size() == 1) {
    root = std::string(drive) + ":\\";
  } else if (drive.substr(0, 2) == "\\\\") {
    root = ResolveShare(std::string(drive));
  } else {
    root = std::string(drive.substr(0, 3));
  }
  info = TDiskSizeInformation{};
  platform::FreeSpaceEx ex;
  const bool haveEx = platform::GetDiskFreeSpaceEx(root, ex);
  platform::FreeSpace space;
  if (platform::GetDiskFreeSpace(root, space)) {
    info.SectorSize = static_cast<std::int32_t>(space.bytesPerSector);
    info.SectorsPerCluster = static_cast<std::int32_t>(space.sectorsPerCluster);
    info.TotalClusters = static_cast<std::int64_t>(space.totalClusters);
    info.FreeClusters = static_cast<std::int64_t>(space.freeClusters);
  }
  if (haveEx) {
    info.TotalDiskSpace = static_cast<std::int64_t>(ex.totalBytes);
    info.FreeDiskSpace = static_cast<std::int64_t>(ex.totalFreeBytes);
    if (RDAKernelFamily() == "9x" && ex.totalBytes > 0x7FFFFFFFu) {
      info.SectorsPerCluster = QuarterRoundedToEven(space.sectorsPerCluster);
    }
  }
  info.ClusterSize = info.SectorsPerCluster * info.SectorSize;
}

TMediaIdentifier TRawDiskAccess::RDAGetMediaIdentifier(char driveLetter) {
  TMediaIdentifier id;
  platform::VolumeInformation volume;
  if (platform::GetVolumeInformation(std::string(1, driveLetter) + ":\\", volume)) {
    id.SerialNumber = volume.serialNumber;
    id.VolumeName = volume.label;
    id.FileSystem = volume.fileSystem;
  }
  return id;
}

std::uint32_t TRawDiskAccess::MapNetworkDrive(std::string_view remoteName, std::string_view password,
                                              std::string_view localName) {
  std::string remote(remoteName);
  if (!remote.empty() && remote.back() == '\\') remote.pop_back();
  try {
    return Connector().AddConnection(remote, password, localName);
  } catch (const std::exception&) {
    return 9999;
  }
}

void TRawDiskAccess::SetVwin32Device(IVwin32Device* device) {
  State().vwin32 = device;
  State().vwin32Open = false;
}
void TRawDiskAccess::SetNetworkConnector(INetworkConnector* connector) { State().connector = connector; }
void TRawDiskAccess::SetVersionSource(std::function<TOsVersionRecord()> source) {
  State().versionSource = std::move(source);
}
void TRawDiskAccess::SetPrompt(util::IPrompt* prompt) { State().prompt = prompt; }

}  // namespace disk
