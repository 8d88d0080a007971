#pragma once
// The commands of trellmond-cli. Each takes its arguments after the command name
// and returns the process exit code.

#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitSourceUnreadable = 2;
inline constexpr int kExitOutputRefused = 3;
inline constexpr int kExitServiceFailed = 4;
inline constexpr int kExitNoFileSystem = 5;  // the Undelete scan alone, on a volume it cannot read

int RunDrives(const std::vector<std::string>& args);
int RunScan(const std::vector<std::string>& args);
int RunImage(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace cli
