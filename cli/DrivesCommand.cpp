// trellmond-cli drives: one line per drive of the drive table, read through the
// same drive access component the scanners use.

#include <cstdio>
#include <iostream>
#include <set>

#include "cli/Commands.h"
#include "disk/RawDiskAccessComponent.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "util/SizeText.h"

namespace cli {

int RunDrives(const std::vector<std::string>& args) {
  if (!args.empty()) {
    std::cerr << "drives takes no arguments\n\n" << UsageText();
    return kExitUsage;
  }
  std::set<std::string> disks;
  for (const platform::DriveEntry& entry : platform::DriveTable::Instance().Entries()) {
    if (!entry.diskPath.empty() && disks.insert(entry.diskPath).second) {
      for (const std::string& note : platform::DriveTable::Instance().DiskNotes(entry.diskPath)) {
        std::cerr << entry.diskPath << ": " << note << '\n';
      }
    }
    disk::TRawDiskAccessComponent raw;
    raw.SetDriveLetter(std::string(1, entry.letter));
    const bool selected = raw.GetStatusCode() == disk::status::kSuccess;
    const std::uint8_t number = platform::DriveNumberOf(entry.letter);
    const std::int64_t size = selected ? platform::GetDiskSize(number) : -1;
    const std::int64_t free = selected ? platform::GetDiskFree(number) : -1;
    char serial[9];
    std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(raw.GetSerialNumber()));
    std::cout << entry.letter << ":\t" << raw.GetLogicalDriveType() << '\t' << platform::DriveDisplayName(entry.letter)
              << '\t' << util::GetSizeDescription(size) << '\t' << util::GetSizeDescription(free) << '\t'
              << raw.GetFileSystem() << '\t' << raw.GetVolumeName() << '\t' << serial << '\t'
              << raw.GetDriveSectorSize() << '\t' << raw.GetSectorsPerCluster() << '\t' << raw.GetTotalClusterCount()
              << '\n';
  }
  return kExitDone;
}

}  // namespace cli
