#pragma once
// The description of the running system that the sector layer keys its
// transfer method on, and the edition naming table over a version record.

#include <cstdint>
#include <optional>
#include <string>

namespace disk {

struct TWinVersion {
  std::string Name;
  std::string Platform;
  std::string ServicePack;
  std::int32_t MajorVersion = 0;
  std::int32_t MinorVersion = 0;
  std::int32_t BuildNumber = 0;
};

// The system's version information as the naming table reads it.
struct TOsVersionRecord {
  std::uint32_t PlatformId = 2;  // 0 Win32s, 1 Windows 9x, 2 NT family
  std::uint32_t MajorVersion = 0;
  std::uint32_t MinorVersion = 0;
  std::uint32_t BuildNumber = 0;
  std::string ServicePackText;
  // The extended block: present when its read succeeded.
  struct Extended {
    std::uint8_t ProductType = 0;
    std::uint16_t SuiteMask = 0;
  };
  std::optional<Extended> Ext;
  // A name for systems the table does not know (this platform's own description).
  std::string NativeName;
};

TWinVersion DescribeWindowsVersion(const TOsVersionRecord& record);

// The running system: the NT family, with the kernel's version numbers.
TOsVersionRecord RunningSystemVersion();

}  // namespace disk
