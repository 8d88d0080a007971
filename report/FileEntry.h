#pragma once
// What a report says of one found file, whichever scan found it: where its bytes lie on the
// scanned source and whether (and where) it was saved. Made from the scanners' records after
// a save; written out as DFXML.

#include <cstdint>
#include <string>
#include <vector>

#include "util/DateTime.h"

namespace fsscan {
class TMekFATScan;
struct FileNode;
}  // namespace fsscan
namespace lowscan {
class TMekLowScan;
struct FileNode;
}  // namespace lowscan

namespace report {

struct ByteRun {
  enum class Kind { Stored, Sparse, Resident };
  Kind kind = Kind::Stored;
  std::int64_t fileOffset = 0;   // where the run's bytes sit in the file
  std::int64_t imageOffset = 0;  // where they sit on the source (Stored only)
  std::int64_t length = 0;
  bool operator==(const ByteRun&) const = default;
};

struct FileEntry {
  std::string scan;  // "Undelete" or "Low Level"
  std::string id;    // "F" or "L" and the scanner's index
  std::string name;  // the full original path, "\"-separated as the scans name it
  std::int64_t size = 0;
  util::TDateTime modified = 0;  // 0: not known
  // NTFS-compressed: the runs hold the stored (compressed) clusters, not file offsets.
  bool compressed = false;
  std::vector<ByteRun> runs;
  bool saved = false;
  std::string savedPath;  // POSIX path of the saved copy
  std::string origin;     // "lost folder", "old MFT record" after a format; else empty
};

// Where the clusters of an Undelete scan's volume start on the source.
struct VolumeGeometry {
  std::int64_t sectorSize = 0;
  std::int64_t sectorsPerCluster = 0;
  bool ntfs = false;
  std::int64_t firstDataSector = 0;  // FAT: the sector of cluster 2
  std::int64_t volumeOffset = 0;     // the volume's first byte on the source
};

// Where the volume behind a drive letter begins on its source (a partition inside a disk or
// disk image), and that source's path ("E:" when the letter has no volume).
std::int64_t SourceOffset(char letter);
std::string SourcePath(char letter);

// The geometry of the volume the scanner read (its drive component set to its drive).
VolumeGeometry GeometryOf(fsscan::TMekFATScan& scanner);
// The runs of a record on the source, cut to its size; empty where nothing is known. A carved
// record's positions are on its volume, which begins `volumeOffset` bytes into the source.
std::vector<ByteRun> UndeleteRuns(const fsscan::FileNode& record, const VolumeGeometry& volume);
std::vector<ByteRun> CarvedRuns(const lowscan::FileNode& record, std::int64_t volumeOffset = 0);

// One entry per record of each scanner, in the order they were reported. `outputFolder`
// is the drive-letter folder the Low Level Scan saved into (empty when it did not).
std::vector<FileEntry> UndeleteEntries(fsscan::TMekFATScan& scanner);
std::vector<FileEntry> CarvedEntries(const lowscan::TMekLowScan& scanner, const std::string& outputFolder);

}  // namespace report
