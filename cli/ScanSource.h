#pragma once
// What `trellmond-cli scan` checks before it reads a sector: the source can be opened
// and holds sectors, the report file can be written. Each failure says why, with the
// system's own error text where there is one.

#include <memory>
#include <string>
#include <vector>

#include "platform/Volume.h"

namespace cli {

struct OpenedSource {
  char letter = 0;    // 0 when refused
  int exitCode = 0;   // the exit code of the refusal
  std::string error;  // "cannot open the source /x: No such file or directory"
  // A folder drive: a letter that can be written to but holds no sectors to scan.
  std::string folderError;
  // The source's volume, opened by the check: held, the scan's choice of the drive takes it over.
  std::shared_ptr<const platform::Volume> volume;
  // What reading a disk's partition table refused, cut or found, for the log.
  std::vector<std::string> notes;
};

// A drive letter of the table ("E", "e:", "E:\") or a path attached as a free letter.
// A path to a disk whose table or boot sectors show volumes opens one of them: the only
// one, or the one `partition` names (1, 2, ... in drive order; 0 the whole disk).
OpenedSource OpenSource(const std::string& source, const std::string& partition = {});

// True when the report can be written at `path` (its folder exists and takes files);
// otherwise `why` says what stands in the way. Nothing is left behind by the check.
bool CheckReportPath(const std::string& path, std::string& why);

}  // namespace cli
