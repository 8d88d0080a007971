#pragma once
// How a Low Level Scan run splits the selected types into passes: a quick scan
// searches every type in one pass; a thorough scan keeps types whose conflict
// keys contain one another (types sharing a marker, or one embedding the
// other's files) out of the same pass. Shared by the wizard and the CLI.

#include <string>
#include <string_view>
#include <vector>

namespace lowscan {

// True when `key` and the conflict key (field 3) of some entry contain one another.
// An empty key never conflicts; an empty entry key occurs nowhere.
bool ConflictExists(const std::vector<std::string>& list, std::string_view key);

// The passes for selection entries "ext;category;key" (without the three header
// entries), in the order they run.
std::vector<std::vector<std::string>> MakeScanPasses(std::vector<std::string> remaining, bool quickScan);

}  // namespace lowscan
