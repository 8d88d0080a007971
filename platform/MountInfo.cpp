#include "platform/MountInfo.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace platform {
namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string UnescapeOctal(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string_view digits = text.substr(i + 1, 3);
      if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out.push_back(static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::uint64_t ReadNumber(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::uint64_t value = 0;
  in >> value;
  return in ? value : 0;
}

BlockDeviceFacts FactsFor(const std::filesystem::path& entry) {
  BlockDeviceFacts facts;
  facts.name = entry.filename().string();
  std::ifstream dev(entry / "dev");
  char colon = 0;
  dev >> facts.major >> colon >> facts.minor;
  facts.sizeBytes = ReadNumber(entry / "size") * 512;  // sysfs counts 512-byte units
  std::error_code ec;
  facts.isPartition = std::filesystem::exists(entry / "partition", ec);
  const std::filesystem::path real = std::filesystem::canonical(entry, ec);
  const std::filesystem::path disk = facts.isPartition ? real.parent_path() : real;
  facts.removable = ReadNumber(disk / "removable") == 1;
  const std::string realText = real.string();
  if (realText.find("/usb") != std::string::npos || realText.find("/mmc") != std::string::npos) {
    facts.removable = true;
  }
  if (!facts.isPartition) {
    for (const auto& child : std::filesystem::directory_iterator(real, ec)) {
      if (std::filesystem::exists(child.path() / "partition", ec)) {
        facts.hasPartitions = true;
        break;
      }
    }
  }
  return facts;
}

}  // namespace

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<MountRecord> ParseMountInfo(std::string_view text) {
  std::vector<MountRecord> records;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> parts{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
    const auto separator = std::find(parts.begin(), parts.end(), "-");
    if (parts.size() < 5 || separator == parts.end() || std::distance(separator, parts.end()) < 3) continue;
    MountRecord record;
    const std::string& device = parts[2];
    const std::size_t colon = device.find(':');
    if (colon == std::string::npos) continue;
    try {
      record.major = static_cast<std::uint32_t>(std::stoul(device.substr(0, colon)));
      record.minor = static_cast<std::uint32_t>(std::stoul(device.substr(colon + 1)));
    } catch (const std::exception&) {
      continue;
    }
    record.mountPoint = UnescapeOctal(parts[4]);
    record.fsType = *(separator + 1);
    record.source = UnescapeOctal(*(separator + 2));
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<BlockDeviceFacts> ListBlockDevices(const std::string& sysBlockRoot) {
  std::vector<BlockDeviceFacts> devices;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(sysBlockRoot, ec)) {
    devices.push_back(FactsFor(entry.path()));
  }
  std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) {
    return std::tie(a.major, a.minor, a.name) < std::tie(b.major, b.minor, b.name);
  });
  return devices;
}

BlockDeviceFacts BlockDeviceOf(const std::string& devicePath, const std::string& sysBlockRoot) {
  struct stat st {};
  if (stat(devicePath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
  const std::string sysDev = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev));
  std::error_code ec;
  const auto real = std::filesystem::canonical(sysDev, ec);
  if (ec) {
    // No /sys/dev on this system: look the name up under the block root instead.
    for (auto& facts : ListBlockDevices(sysBlockRoot)) {
      if (facts.major == major(st.st_rdev) && facts.minor == minor(st.st_rdev)) return facts;
    }
    return {};
  }
  return FactsFor(real);
}

bool IsNetworkFileSystem(std::string_view fsType) {
  return fsType == "nfs" || fsType == "nfs4" || fsType == "cifs" || fsType == "smb3" || fsType == "smbfs" ||
         fsType == "sshfs" || fsType == "fuse.sshfs" || fsType == "9p";
}

bool IsRamFileSystem(std::string_view fsType) { return fsType == "tmpfs" || fsType == "ramfs"; }

bool IsOpticalFileSystem(std::string_view fsType) { return fsType == "iso9660" || fsType == "udf"; }

}  // namespace platform
