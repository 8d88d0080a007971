#include "online/SysInfo.h"

#include "platform/SystemInfo.h"

#include <cmath>

namespace online {

std::uint64_t GetRAM() { return platform::ReadMemoryStatus().totalBytes; }

std::uint64_t GetFreeRAM() { return platform::ReadMemoryStatus().availableBytes; }

std::string GetPlatform() {
  const platform::OsVersion version = platform::ReadOsVersion();
  return version.systemName.empty() ? "Unknown Platform" : version.systemName;
}

std::string ProcessorLevelText(int level) {
  switch (level) {
    case 3: return "80386";
    case 4: return "80486";
    case 5: return "Pentium";
    case 6: return "Pentium Pro";
    default: return std::to_string(level);
  }
}

std::string GetProcessorLevel() { return ProcessorLevelText(platform::ReadProcessorLevel()); }

double GetCPUSpeed() { return platform::MeasureCpuMHz(); }

std::string CpuSpeedText(double mhz) {
  const double rounded = std::floor(mhz + 0.5);
  return std::to_string(static_cast<long long>(rounded > 0 ? rounded : 0)) + " MHz";
}

std::string GetKeyBoardLanguage() { return platform::DefaultLanguageName().substr(0, 100); }

std::string FormatOsVersion(int major, int minor, int build, const std::string& description) {
  return std::to_string(major) + "." + std::to_string(minor) + " (" + std::to_string(build & 0xFFFF) + "." +
         description + ")";
}

std::string GetOS_2() {
  const platform::OsVersion version = platform::ReadOsVersion();
  if (!version.ok) return {};
  return FormatOsVersion(version.major, version.minor, version.build, version.description);
}

}  // namespace online
