#include "tests/support/FsckFat.h"

#include <regex>

#include "tests/support/Command.h"

namespace testsupport {

FsckFatReport RunFsckFat(const std::string& image) {
  const CommandResult r = RunCommand({"fsck.fat", "-n", "-v", image});
  FsckFatReport report;
  std::smatch m;
  const std::string& out = r.output;
  if (std::regex_search(out, m, std::regex(R"((\d+) bytes per logical sector)"))) report.bytesPerSector = std::stoul(m[1]);
  if (std::regex_search(out, m, std::regex(R"((\d+) bytes per cluster)"))) report.bytesPerCluster = std::stoul(m[1]);
  if (std::regex_search(out, m, std::regex(R"((\d+) data clusters)"))) report.dataClusters = std::stoull(m[1]);
  if (std::regex_search(out, m, std::regex(R"(files, (\d+)/(\d+) clusters)"))) report.usedClusters = std::stoull(m[1]);
  return report;
}

}  // namespace testsupport
