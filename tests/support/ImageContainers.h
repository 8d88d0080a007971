#pragma once
// The same medium in the other forms evidence images come in: an Expert Witness
// image made by ewfacquire (package ewf-tools) and a raw image cut into
// numbered parts by split.

#include <cstdint>
#include <filesystem>
#include <string>

namespace testsupport {

// Why ewfacquire cannot be run here; empty when it can.
std::string ExpertWitnessUnavailable();
// `raw` acquired as `base`.E01, `base`.E02, ... of at most `segmentBytes` each
// (at least 1 MiB), stored uncompressed or with ewfacquire's fast compression;
// returns the first segment's path.
std::filesystem::path MakeExpertWitness(const std::filesystem::path& raw, const std::filesystem::path& base,
                                        std::uint64_t segmentBytes, bool compressed = true);
// `raw` cut into `stem`.001, `stem`.002, ... (from .000 when `first` is 0) of `partBytes` each;
// returns the path of part .001.
std::filesystem::path MakeSplitRaw(const std::filesystem::path& raw, const std::filesystem::path& stem,
                                   std::uint64_t partBytes, int first = 1);

}  // namespace testsupport
