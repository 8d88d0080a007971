#pragma once
// Parsing of /proc/self/mountinfo and of sysfs block-device facts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MountRecord {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::string mountPoint;
  std::string fsType;
  std::string source;
};

std::vector<MountRecord> ParseMountInfo(std::string_view text);
std::string ReadTextFile(const std::string& path);

// Facts about a block device from sysfs ("sdb1", "mmcblk0p1", ...).
struct BlockDeviceFacts {
  std::string name;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint64_t sizeBytes = 0;
  bool isPartition = false;
  bool hasPartitions = false;
  bool removable = false;  // removable flag of the disk, or a USB/MMC bus
};
std::vector<BlockDeviceFacts> ListBlockDevices(const std::string& sysBlockRoot);
// Facts for one device node (/dev/sdb1); name empty when it is not a block device.
BlockDeviceFacts BlockDeviceOf(const std::string& devicePath, const std::string& sysBlockRoot);

bool IsNetworkFileSystem(std::string_view fsType);
bool IsRamFileSystem(std::string_view fsType);
bool IsOpticalFileSystem(std::string_view fsType);

}  // namespace platform
