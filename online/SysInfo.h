#pragma once
// The machine record's values, with this platform's readings behind them
// (platform/SystemInfo). Memory amounts are 64-bit: a 32-bit amount would
// report a machine with more than 4 GiB wrongly.

#include <cstdint>
#include <string>

namespace online {

std::uint64_t GetRAM();
std::uint64_t GetFreeRAM();
// The operating system's name ("Linux").
std::string GetPlatform();
// 3 "80386", 4 "80486", 5 "Pentium", 6 "Pentium Pro", other levels as their number.
std::string GetProcessorLevel();
std::string ProcessorLevelText(int level);
// Measured clock in MHz; blocks for about half a second.
double GetCPUSpeed();
// The machine record's "cpu" text: the clock rounded (halves up), then " MHz".
std::string CpuSpeedText(double mhz);
// The session's language (locale) name, at most 100 characters.
std::string GetKeyBoardLanguage();
// "major.minor (build.description)" of the kernel and distribution; empty when unreadable.
std::string GetOS_2();
std::string FormatOsVersion(int major, int minor, int build, const std::string& description);

}  // namespace online
