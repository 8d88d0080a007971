#pragma once
// Real NTFS images for tests, made with mkntfs. Files go in with ntfscp (no mount
// needed, existing folders only) or through an ntfs-3g FUSE mount where the machine
// allows one (folders, deletions, sparse, compressed and fragmented files). Paths inside
// the image use "/" and start at the root ("/Docs/a.doc").

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct NtfsImageOptions {
  std::uint64_t sizeMiB = 16;
  std::uint32_t clusterSize = 4096;
  std::uint32_t sectorSize = 512;
  std::string label = "NTFSCARD";
};

class NtfsImage {
 public:
  NtfsImage(std::filesystem::path path, const NtfsImageOptions& options = {});

  const std::filesystem::path& Path() const { return m_path; }

  // ntfscp: a new file in an existing folder; a named stream of an existing file.
  void AddFile(const std::string& path, const std::string& contents);
  void AddStream(const std::string& path, const std::string& stream, const std::string& contents);

  // mkntfs -Q over the volume as it is: a new, small MFT where the old one began.
  void QuickFormat();

  // The MFT record number of a live file or folder (ntfsinfo).
  std::uint64_t RecordNumber(const std::string& path) const;
  // Byte offset of an MFT record in the image, checked against the record's own number.
  std::uint64_t RecordOffset(std::uint64_t record) const;
  // Offset inside a record of its first attribute of `type`; throws when there is none.
  std::uint64_t AttributeOffset(std::uint64_t record, std::uint32_t type) const;
  // What a deletion leaves: the record's in-use flag and its $MFT bitmap bit cleared.
  void MarkDeleted(std::uint64_t record);
  // Overwrites bytes of the image.
  void Patch(std::uint64_t offset, const std::string& bytes);

  std::uint32_t ClusterSize() const { return m_clusterSize; }
  std::uint32_t RecordSize() const { return m_recordSize; }

  // True when ntfs-3g can mount an image here (a usable /dev/fuse); checked once.
  static bool MountAvailable();

 private:
  std::filesystem::path m_path;
  std::uint32_t m_clusterSize = 0;
  std::uint32_t m_recordSize = 0;
  std::uint64_t m_mftOffset = 0;
  std::vector<std::string> m_formatArgs;
};

// The image mounted read-write with ntfs-3g ("file:stream" names open named streams);
// unmounted, and every change flushed into the image, when the object goes.
class NtfsMount {
 public:
  explicit NtfsMount(const NtfsImage& image);
  ~NtfsMount();
  NtfsMount(const NtfsMount&) = delete;
  NtfsMount& operator=(const NtfsMount&) = delete;

  std::filesystem::path operator/(const std::string& relative) const { return m_root / relative; }
  void MakeDir(const std::string& path);
  void Write(const std::string& path, const std::string& contents);
  // False (and no file left) when the volume has no room for it.
  bool TryWrite(const std::string& path, const std::string& contents);
  // Sets the compressed attribute of a folder: files made in it afterwards are compressed.
  void CompressFolder(const std::string& path);
  void Remove(const std::string& path);  // file or whole folder

 private:
  std::filesystem::path m_root;
};

}  // namespace testsupport
