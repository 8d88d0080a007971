#pragma once
// TRawDiskAccess: the sector layer between the drive access component and the
// disk. Class-level functions only; the one process-wide state is the (here
// never present) Windows 9x device. Transfers never write beyond their buffer.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "disk/WindowsVersion.h"

namespace util {
class IPrompt;
}

namespace disk {

struct TDiskSizeInformation {
  std::int32_t ClusterSize = 0;
  std::int32_t SectorSize = 0;
  std::int32_t SectorsPerCluster = 0;
  std::int64_t TotalClusters = 0;
  std::int64_t FreeClusters = 0;
  std::int64_t TotalDiskSpace = 0;
  std::int64_t FreeDiskSpace = 0;
};

struct TMediaIdentifier {
  std::uint32_t SerialNumber = 0;
  std::string VolumeName;
  std::string FileSystem;
};

// The register block of one Windows 9x device request: EBX, EDX, ECX, EAX, EDI, ESI, flags.
struct TRegisterBlock {
  std::uint32_t EBX = 0, EDX = 0, ECX = 0, EAX = 0, EDI = 0, ESI = 0, Flags = 0;
  bool Carry() const { return (Flags & 1u) != 0; }
};

// The transfer block EBX points at. The 32-bit address cannot hold a pointer on this
// platform, so the block carries the caller's buffer alongside for a device to use.
struct TTransferBlock {
  std::uint32_t StartSector = 0;
  std::uint16_t Count = 0;
  std::uint32_t BufferAddress = 0;
  std::span<std::byte> Buffer;
};

// The Windows 9x virtual device. There is none on Linux; tests supply one.
class IVwin32Device {
 public:
  virtual ~IVwin32Device() = default;
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // One request; the device writes the registers back in place.
  virtual bool DeviceIoControl(std::uint32_t controlCode, TRegisterBlock& registers,
                               TTransferBlock* transfer) = 0;
};

// Connects a network share to a local drive name ("x:"); returns the platform's
// result code, 0 on success.
class INetworkConnector {
 public:
  virtual ~INetworkConnector() = default;
  virtual std::uint32_t AddConnection(std::string_view remoteName, std::string_view password,
                                      std::string_view localName) = 0;
};

// Sector and cluster numbers are 64-bit: a disk above 2 TiB has more than 2^32 sectors of
// 512 bytes. The 9x services take 32-bit sector numbers and refuse any beyond them.
class TRawDiskAccess {
 public:
  static std::string RDAKernelFamily();
  static TWinVersion RDAAcquireOSVersion();

  static bool VWIN32DIOC(std::uint32_t controlCode, TRegisterBlock& registers, TTransferBlock* transfer = nullptr);
  static bool RDARead9xSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                               std::span<std::byte> buffer);
  static bool RDAWrite9xSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                std::span<std::byte> buffer);
  static bool RDAReadNTSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                               std::span<std::byte> buffer);
  static bool RDAWriteNTSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                                std::span<const std::byte> buffer);
  static bool RDAReadSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                             std::span<std::byte> buffer);
  static bool RDAWriteSectors(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                              std::span<std::byte> buffer);
  static bool RDAReadClusters(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                              std::span<std::byte> buffer);
  static bool RDAWriteClusters(std::uint8_t drive, std::uint64_t start, std::uint16_t count,
                               std::span<std::byte> buffer);
  static bool RDALockLogicalVolume(std::uint8_t drive, std::uint8_t lockLevel, std::uint8_t permissions);
  static bool RDAUnlockLogicalVolume(std::uint8_t drive);

  static TDiskSizeInformation RDAFindDiskSizeInformation(std::string_view drive);
  static void RDAFindDiskSizeInformation(std::string_view drive, TDiskSizeInformation& info);
  static TMediaIdentifier RDAGetMediaIdentifier(char driveLetter);

  static std::uint32_t MapNetworkDrive(std::string_view remoteName, std::string_view password,
                                       std::string_view localName);

  // Process-wide hooks. Null restores the platform's own (no 9x device; shares
  // mounted through cifs; the running system's version).
  static void SetVwin32Device(IVwin32Device* device);
  static void SetNetworkConnector(INetworkConnector* connector);
  static void SetVersionSource(std::function<TOsVersionRecord()> source);
  static void SetPrompt(util::IPrompt* prompt);
};

}  // namespace disk
