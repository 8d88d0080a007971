#include <algorithm>
#include <cstdint>

#include "fsscan/MekFATScan.h"
#include "lowscan/MekLowScan.h"
#include "platform/DriveTable.h"
#include "platform/Volume.h"
#include "report/FileEntry.h"
#include "util/Text.h"

namespace report {
namespace {

// "F12": built by appending, as GCC 12 at -O3 reports a false -Wrestrict for literal + string.
std::string IdText(char scan, std::size_t index) {
  std::string id(1, scan);
  id += std::to_string(index);
  return id;
}

// Clusters that follow on from the previous run make one run, as do zeros that follow zeros.
void Append(std::vector<ByteRun>& runs, const ByteRun& run) {
  if (!runs.empty() && runs.back().kind == run.kind &&
      ((run.kind == ByteRun::Kind::Stored && runs.back().imageOffset + runs.back().length == run.imageOffset) ||
       run.kind == ByteRun::Kind::Sparse)) {
    runs.back().length += run.length;
  } else {
    runs.push_back(run);
  }
}

}  // namespace

std::int64_t SourceOffset(char letter) {
  const auto volume = platform::Volume::Held(letter);
  return volume ? static_cast<std::int64_t>(volume->Offset()) : 0;
}

std::string SourcePath(char letter) {
  const auto volume = platform::Volume::Held(letter);
  if (volume) return volume->Path();
  std::string name(1, letter);
  name += ':';
  return name;
}

VolumeGeometry GeometryOf(fsscan::TMekFATScan& scanner) {
  VolumeGeometry volume;
  const disk::TRawDiskAccessComponent* raw = scanner.GetRAW();
  if (raw == nullptr) return volume;
  volume.sectorSize = raw->GetDriveSectorSize();
  volume.sectorsPerCluster = raw->GetSectorsPerCluster();
  volume.ntfs = raw->GetFileSystem() == "NTFS";
  if (!volume.ntfs) volume.firstDataSector = scanner.GetFirstDataSector(scanner.GetDrive());
  volume.volumeOffset = SourceOffset(scanner.GetDrive());
  return volume;
}

std::vector<ByteRun> UndeleteRuns(const fsscan::FileNode& record, const VolumeGeometry& volume) {
  std::vector<ByteRun> runs;
  if (record.Resident) {
    if (record.Size > 0) runs.push_back({ByteRun::Kind::Resident, 0, 0, record.Size});
    return runs;
  }
  const std::int64_t clusterBytes = volume.sectorSize * volume.sectorsPerCluster;
  if (!record.Clusters || clusterBytes <= 0) return runs;
  // Compressed data is listed as stored: every cluster of the runs, whatever the file's size.
  const bool compressed = record.CompressionUnit != 0;
  std::int64_t fileOffset = 0;
  for (const fsscan::ClusterNode& run : *record.Clusters) {
    const std::int64_t left = compressed ? INT64_MAX : record.Size - fileOffset;
    if (left <= 0 || run.NumClusters <= 0 || run.NumClusters > INT64_MAX / clusterBytes) break;
    const std::int64_t length = std::min(run.NumClusters * clusterBytes, left);
    ByteRun out{ByteRun::Kind::Sparse, fileOffset, 0, length};
    if (!run.Sparse) {
      // A run list from a damaged record may name any cluster: one no medium can hold ends the list
      // (the quarter of the range leaves room for the data area's and the volume's offsets).
      if (run.StartCluster < (volume.ntfs ? 0 : 2) || run.StartCluster > INT64_MAX / 4 / clusterBytes) break;
      const std::int64_t sector = volume.ntfs
                                      ? run.StartCluster * volume.sectorsPerCluster
                                      : (run.StartCluster - 2) * volume.sectorsPerCluster + volume.firstDataSector;
      out.kind = ByteRun::Kind::Stored;
      out.imageOffset = volume.volumeOffset + sector * volume.sectorSize;
    }
    // exFAT: bytes past the valid data length read as zeros, whatever the clusters hold.
    const std::int64_t valid = compressed || record.ValidSize < 0 ? INT64_MAX : record.ValidSize;
    if (out.kind == ByteRun::Kind::Stored && fileOffset + length > valid) {
      const std::int64_t kept = std::max<std::int64_t>(0, valid - fileOffset);
      if (kept > 0) Append(runs, {ByteRun::Kind::Stored, fileOffset, out.imageOffset, kept});
      Append(runs, {ByteRun::Kind::Sparse, fileOffset + kept, 0, length - kept});
    } else {
      Append(runs, out);
    }
    fileOffset += length;
  }
  return runs;
}

std::vector<ByteRun> CarvedRuns(const lowscan::FileNode& record, std::int64_t volumeOffset) {
  const std::int64_t length = record.EndPos - record.StartPos;
  if (length <= 0) return {};
  return {{ByteRun::Kind::Stored, 0, volumeOffset + record.StartPos, length}};
}

std::vector<FileEntry> UndeleteEntries(fsscan::TMekFATScan& scanner) {
  std::vector<FileEntry> entries;
  const VolumeGeometry volume = GeometryOf(scanner);
  const auto& records = scanner.FileList();
  for (std::size_t i = 0; i < records.size(); ++i) {
    const fsscan::FileNode& record = *records[i];
    FileEntry& entry = entries.emplace_back();
    entry.scan = "Undelete";
    entry.id = IdText('F', i);
    entry.name = record.Dir + record.LongName;
    entry.size = record.Size;
    entry.modified = record.DateTime;
    entry.compressed = record.CompressionUnit != 0;
    entry.runs = UndeleteRuns(record, volume);
    entry.saved = record.Saved;
    entry.origin = fsscan::OriginText(record.Origin);
    if (record.Saved) entry.savedPath = platform::ToPosixPath(record.SavedAs).value_or(std::string{});
  }
  return entries;
}

std::vector<FileEntry> CarvedEntries(const lowscan::TMekLowScan& scanner, const std::string& outputFolder) {
  std::vector<FileEntry> entries;
  const std::int64_t volumeOffset = SourceOffset(scanner.GetDrive());
  const auto& records = scanner.FileList();
  for (std::size_t i = 0; i < records.size(); ++i) {
    const lowscan::FileNode& record = *records[i];
    FileEntry& entry = entries.emplace_back();
    entry.scan = "Low Level";
    entry.id = IdText('L', i);
    entry.name = record.Name;
    entry.size = record.EndPos - record.StartPos;
    entry.runs = CarvedRuns(record, volumeOffset);
    entry.saved = record.Saved;
    if (record.Saved && !outputFolder.empty()) {
      entry.savedPath = platform::ToPosixPath(util::TidyFilename(outputFolder + "\\" + record.Name)).value_or("");
    }
  }
  return entries;
}

}  // namespace report
