#pragma once
// The records of the Undelete scan: one FileNode per file found, its cluster
// runs, and the NTFS directory tree that turns parent numbers into paths.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "disk/UnreadableSectors.h"
#include "util/DateTime.h"
#include "util/MemoryStream.h"

namespace fsscan {

// Where a file's name and folder were read from: the file system's own tree, a folder
// found in free clusters that no folder of the tree names any more (a quick format drops
// the root), or an NTFS record left behind a new, smaller MFT.
enum class FileOrigin : std::uint8_t { kDirectory, kLostFolder, kOldMftRecord };

// The report's word for an origin; empty for the file system's own tree.
std::string OriginText(FileOrigin origin);

// Folders whose place in the tree is lost hang below this one folder of the root; those
// whose own name is lost too are called "Lost folder 1", "Lost folder 2", ...
inline constexpr const char* kLostFoldersName = "Lost folders";
std::string LostFolderPath(std::int64_t number);

struct ClusterNode {
  std::int64_t StartCluster = 0;
  std::int64_t NumClusters = 0;
  bool Sparse = false;
  std::string Hex;
  bool operator==(const ClusterNode&) const = default;
};

struct FileNode {
  std::int64_t MFT = 0;
  std::string Dir;
  std::int64_t ParentDir = 0;
  std::string ShortName;
  std::string LongName;
  std::string Extension;
  util::TDateTime DateTime = 0;
  std::int64_t FirstCluster = 0;
  std::int64_t Size = 0;
  bool Duplicate = false;
  bool Save = true;
  bool Saved = false;
  std::optional<std::vector<ClusterNode>> Clusters;
  bool Resident = false;
  std::unique_ptr<util::TMemoryStream> ResidentData;
  bool Displayed = false;
  // NTFS: clusters per compression unit of LZNT1-compressed data; 0 for data stored as is,
  // -1 for a compression this scanner cannot decode.
  std::int64_t CompressionUnit = 0;
  // NTFS: the name of the named data stream this record holds ("secret" of
  // "notes.txt:secret"); empty for a file's own contents.
  std::string StreamName;
  // FAT: a deleted file read over the clusters nobody else claims rather than the ones
  // after its first, its pieces interleaved with other files'.
  bool Rebuilt = false;
  // Where the last successful save wrote the file (a drive-letter path).
  std::string SavedAs;
  // exFAT: the bytes written to disk when below Size; the rest reads as zeros. -1: all of them.
  std::int64_t ValidSize = -1;
  FileOrigin Origin = FileOrigin::kDirectory;
  // An old MFT record's runs cross clusters the volume's file system uses now: its bytes
  // may have been written over.
  bool ClustersInUse = false;
  // Sectors of the volume the last save could not read: zeros in their place in the file.
  std::vector<disk::TUnreadableSectors::Range> Unreadable;
};

// One NTFS directory of the tree.
struct BTreeNode {
  std::int64_t Key = 0;
  std::int64_t Parent = 0;
  std::string Name;
};

// The directory tree, indexed by MFT record number. The first directory inserted
// with a key keeps it. Lookups are by hash, so a volume with tens of thousands of
// directories (which arrive in ascending order) costs no more than a few.
class DirectoryTree {
 public:
  void Add(const std::string& name, std::int64_t parent, std::int64_t key);
  const BTreeNode* Find(std::int64_t key) const;
  // "\Documents\Photos\" for a directory chain that reaches the root (named "."),
  // "\" for an unknown parent. A chain that loops ends at the first repeated node.
  std::string PathOf(std::int64_t parent) const;
  bool Empty() const { return m_nodes.empty(); }
  std::size_t Size() const { return m_nodes.size(); }
  void Clear() { m_nodes.clear(); }

 private:
  std::unordered_map<std::int64_t, BTreeNode> m_nodes;
};

}  // namespace fsscan
