#pragma once
// Real exFAT images for tests: made by mkfs.exfat and filled through mount.exfat-fuse on a
// loop device, as a camera or a computer fills a card. Paths inside the image use "/" and
// start at the root ("/DCIM/a.jpg"). The image is mounted from construction until Close().

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct ExFatImageOptions {
  std::uint64_t sizeMiB = 64;
  std::string clusterSize = "4K";  // mkfs.exfat -c
  std::string boundary;            // mkfs.exfat -b; empty: its default
  std::string label = "CARD";
};

class ExFatImage {
 public:
  // Why these images cannot be made on this machine (no root, no /dev/fuse, no losetup or
  // exFAT tools); empty when they can.
  static std::string Unavailable();

  ExFatImage(std::filesystem::path path, const ExFatImageOptions& options = {});
  ~ExFatImage();
  ExFatImage(const ExFatImage&) = delete;
  ExFatImage& operator=(const ExFatImage&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

  void MakeDir(const std::string& path);
  // Writes a file; the modification time is set when given.
  void AddFile(const std::string& path, const std::string& contents, std::time_t modified = 0);
  void Append(const std::string& path, const std::string& contents);
  void Delete(const std::string& path);
  void DeleteTree(const std::string& path);
  // Free clusters as the mounted file system counts them.
  std::uint64_t FreeClusters() const;
  // Unmounts and detaches the loop device: the image is final. Reopen() mounts it again.
  void Close();
  void Reopen();

 private:
  std::filesystem::path Inside(const std::string& path) const;
  std::filesystem::path m_path;
  std::filesystem::path m_mount;
  std::string m_loop;
};

// Reading and editing an exFAT image's bytes where no tool makes the case.
class ExFatBytes {
 public:
  explicit ExFatBytes(const std::filesystem::path& image);
  void Save() const;

  std::uint64_t ClusterOffset(std::uint64_t cluster) const;
  std::uint64_t FatOffset() const;  // byte offset of the first FAT
  std::uint32_t FatEntry(std::uint64_t cluster) const;
  void SetFatEntry(std::uint64_t cluster, std::uint32_t value);
  // Byte offset of the file entry of the set whose name is `name` (live or deleted) inside the
  // cluster heap; throws when there is none.
  std::uint64_t FindSet(const std::string& name) const;
  // Fields of a set's stream extension, by the file entry's offset.
  std::uint32_t FirstCluster(std::uint64_t set) const;
  std::uint8_t StreamFlags(std::uint64_t set) const;
  // Recomputes the set checksum after an edit, as a file system writing the set would.
  void FixSetChecksum(std::uint64_t set);

  std::string bytes;

 private:
  std::filesystem::path m_path;
};

}  // namespace testsupport
