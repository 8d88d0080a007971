#pragma once
// Records shared by both scanners and the front ends.

#include <cstdint>
#include <string>

namespace util {

enum TScanType : int { stFATScan = 0, stLowScan = 1 };
enum TFileType : int { ftImage = 0, ftMedia = 1, ftBusiness = 2 };

// The last sector read made by either scanner; one instance in the program
// (GlobalReadInfo), overwritten by every read whether it succeeded or not.
struct TReadInfo {
  std::string Drive;
  std::int64_t StartSector = 0;
  std::int64_t NumSectors = 0;
  std::int32_t Status = 0;
  std::int32_t Count = 0;
};

TReadInfo& GlobalReadInfo();

// Identity of a scanned medium, compared again before saving so a swapped card is noticed.
struct TMediaInfo {
  char Drive = 0;
  std::int64_t SerialNumber = 0;
  std::string VolumeName;
  std::string FileSystem;
  std::int64_t TotalClusters = 0;

  bool operator==(const TMediaInfo&) const = default;
};

}  // namespace util
