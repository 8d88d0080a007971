#pragma once
// What fsck.fat -n -v reports about a FAT image, for comparing geometry.

#include <cstdint>
#include <string>

namespace testsupport {

struct FsckFatReport {
  std::uint32_t bytesPerSector = 0;
  std::uint32_t bytesPerCluster = 0;
  std::uint64_t dataClusters = 0;
  std::uint64_t usedClusters = 0;
};

FsckFatReport RunFsckFat(const std::string& image);

}  // namespace testsupport
