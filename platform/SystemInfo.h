#pragma once
// System information on Linux: memory from /proc/meminfo, the kernel version
// from uname with the distribution's name from /etc/os-release, the x86
// processor family from /proc/cpuinfo, the clock measured with the time-stamp
// counter against the monotonic clock, and the locale name. The parse
// functions take file text so they can be checked without this machine's files.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct MemoryStatus {
  std::uint64_t totalBytes = 0;
  std::uint64_t availableBytes = 0;
  bool ok = false;
};

struct OsVersion {
  std::string systemName;   // "Linux"
  std::string release;      // the kernel's release text ("6.1.0-18-amd64")
  int major = 0;
  int minor = 0;
  int build = 0;            // the kernel's patch level
  std::string description;  // PRETTY_NAME of /etc/os-release
  bool ok = false;
};

MemoryStatus ReadMemoryStatus();
MemoryStatus ParseMemInfo(std::string_view text);

OsVersion ReadOsVersion();
// The running system's version, read once per process: it does not change while it runs.
const OsVersion& RunningOsVersion();
// "6.1.0-18-amd64" → 6, 1, 0; false when it does not start with a number.
bool ParseKernelRelease(std::string_view release, int& major, int& minor, int& build);
// PRETTY_NAME without its quotes; empty when absent.
std::string ParseOsReleaseName(std::string_view text);

// The "cpu family" of the first processor (x86); 0 when unknown.
int ReadProcessorLevel();
int ParseCpuFamily(std::string_view cpuinfo);

// The processor clock in MHz, measured over about 500 ms; where there is no
// time-stamp counter, the "cpu MHz" of /proc/cpuinfo; 0 when unknown.
double MeasureCpuMHz();

// The locale name of the session (LC_ALL, LC_MESSAGES or LANG; "C" without one).
std::string DefaultLanguageName();

// Workers for a scan's picture checks: TRELLMOND_THREADS when it holds a number
// from 1 up (1: none, everything on the scan's own thread), else one per
// processor, one fewer while a window runs (at least one).
std::size_t ScanWorkerThreads(bool windowRuns);
std::size_t ParseThreadSetting(const char* text, std::size_t processors, bool windowRuns);

// True when the error stream is a terminal (a progress line may redraw itself).
bool ErrorStreamIsTerminal();

}  // namespace platform
