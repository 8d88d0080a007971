#include "tests/support/ImageContainers.h"

#include "tests/support/Command.h"

namespace testsupport {

std::string ExpertWitnessUnavailable() {
  const auto probe = RunCommand({"sh", "-c", "command -v ewfacquire"});
  return probe.exitCode == 0 ? std::string{} : "ewfacquire is not installed (package ewf-tools)";
}

std::filesystem::path MakeExpertWitness(const std::filesystem::path& raw, const std::filesystem::path& base,
                                        std::uint64_t segmentBytes, bool compressed) {
  // -u: unattended, with the defaults for every question not given here.
  RunOrThrow({"ewfacquire", "-u", "-q", "-t", base.string(), "-c", compressed ? "fast" : "none", "-S",
              std::to_string(segmentBytes), "-C", "case", "-E", "evidence", "-e", "examiner", raw.string()});
  return std::filesystem::path(base.string() + ".E01");
}

std::filesystem::path MakeSplitRaw(const std::filesystem::path& raw, const std::filesystem::path& stem,
                                   std::uint64_t partBytes, int first) {
  RunOrThrow({"split", "-b", std::to_string(partBytes), "-a", "3", "--numeric-suffixes=" + std::to_string(first),
              raw.string(), stem.string() + "."});
  return std::filesystem::path(stem.string() + ".001");
}

}  // namespace testsupport
