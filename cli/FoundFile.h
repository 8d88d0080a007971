#pragma once
// What the report says of one file found by a scan.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/UnreadableSectors.h"
#include "report/FileEntry.h"
#include "util/DateTime.h"

namespace cli {

struct FoundFile {
  std::string scan;  // "Undelete" or "Low Level"
  std::string id;    // "F" or "L" followed by the scanner's index
  std::string fullName;
  std::string directory;
  std::int64_t size = 0;
  util::TDateTime date = 0;
  std::int64_t firstCluster = 0;
  bool saved = false;
  bool rebuilt = false;  // read around other files' clusters, its pieces put together
  std::string origin;    // "lost folder", "old MFT record"; empty for the file system's own tree
  bool clustersInUse = false;  // an old MFT record whose clusters the volume uses now
  std::string outputPath;  // POSIX path of the saved file
  // Sectors of the volume the save could not read: zeros in their place in the file.
  std::vector<disk::TUnreadableSectors::Range> unreadable;
  bool compressed = false;            // NTFS-compressed: the runs are the stored clusters
  std::vector<report::ByteRun> runs;  // where the file lies on the source
  std::string dropped;                // why the scan left it out of its list ("no decodable picture")
};

// Writes the report as a JSON array; false when the file cannot be written.
bool WriteReport(const std::string& path, const std::vector<FoundFile>& files);
// Writes the DFXML report of a run; false with the reason when it cannot be written.
bool WriteDfxmlReport(const std::string& path, const std::string& commandLine, const std::string& source,
                      const std::vector<FoundFile>& files, std::string& why);

}  // namespace cli
