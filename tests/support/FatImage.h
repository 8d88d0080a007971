#pragma once
// Real FAT12/16/32 images for tests, made with mkfs.fat and filled with mtools
// (no mounting). Paths inside the image use "/" and start at the root ("/DCIM/a.jpg").

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct FatImageOptions {
  int fatBits = 32;               // 12, 16 or 32
  std::uint64_t sizeKiB = 0;      // 0: a size that suits the FAT type
  int sectorSize = 512;
  int sectorsPerCluster = 0;      // 0: mkfs.fat's choice
  std::string label = "TESTCARD";
  std::uint32_t volumeId = 0x1234ABCD;
};

class FatImage {
 public:
  FatImage(std::filesystem::path path, const FatImageOptions& options = {});

  const std::filesystem::path& Path() const { return m_path; }

  void MakeDir(const std::string& path);
  // Writes a file; the modification time is kept when given (local time).
  void AddFile(const std::string& path, const std::string& contents, std::time_t modified = 0);
  void Delete(const std::string& path);
  void DeleteTree(const std::string& path);
  // mattrib flags such as "+r", "+h", "+s", "-a".
  void SetAttributes(const std::string& path, const std::string& flags);
  std::string Listing() const;  // mdir -/ -a
  // FAT32 keeps a hint where the next free cluster is; clearing it makes the next file
  // take the first free clusters, as a camera's allocator does.
  void ForgetNextFreeCluster();
  // mkfs.fat over the card as it is, with the same geometry: a new root and FAT, the data
  // area left as it was (what a camera's or a desktop's quick format does).
  void QuickFormat();

  // The clusters of a file or directory, as mshowfat lists them: (first, last) ranges.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Clusters(const std::string& path) const;
  std::uint32_t FirstCluster(const std::string& path) const { return Clusters(path).at(0).first; }

  // Byte offset of a cluster's first byte, from the boot sector.
  std::uint64_t ClusterOffset(std::uint32_t cluster) const;

 private:
  std::string Target(const std::string& path) const;
  std::filesystem::path m_path;
  std::vector<std::string> m_formatArgs;
};

// The environment mtools needs to work on plain image files with UTF-8 names.
std::map<std::string, std::string> MtoolsEnvironment();

}  // namespace testsupport
