#include "platform/SystemInfo.h"

#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define TRELLMOND_HAVE_TSC 1
#endif

namespace platform {
namespace {

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value after "name" and a colon on one line of a "name : value" file.
std::string_view ValueOf(std::string_view text, std::string_view name) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.rfind(name, 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || line.find_first_not_of(" \t", name.size()) != colon) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    return value;
  }
  return {};
}

bool LeadingNumber(std::string_view text, std::uint64_t& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc{} && end != text.data();
}

double MonotonicSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

MemoryStatus ParseMemInfo(std::string_view text) {
  MemoryStatus status;
  std::uint64_t totalKb = 0;
  std::uint64_t availableKb = 0;
  const bool haveTotal = LeadingNumber(ValueOf(text, "MemTotal"), totalKb);
  const bool haveAvailable = LeadingNumber(ValueOf(text, "MemAvailable"), availableKb);
  status.totalBytes = totalKb * 1024;
  status.availableBytes = availableKb * 1024;
  status.ok = haveTotal && haveAvailable;
  return status;
}

MemoryStatus ReadMemoryStatus() { return ParseMemInfo(ReadWholeFile("/proc/meminfo")); }

bool ParseKernelRelease(std::string_view release, int& major, int& minor, int& build) {
  int parts[3] = {0, 0, 0};
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const auto [end, ec] = std::from_chars(release.data() + at, release.data() + release.size(), parts[i]);
    if (ec != std::errc{}) {
      if (i == 0) return false;
      break;
    }
    at = static_cast<std::size_t>(end - release.data());
    if (at >= release.size() || release[at] != '.') break;
    ++at;
  }
  major = parts[0];
  minor = parts[1];
  build = parts[2];
  return true;
}

std::string ParseOsReleaseName(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    line.remove_prefix(std::string_view("PRETTY_NAME=").size());
    if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') && line.back() == line.front()) {
      line = line.substr(1, line.size() - 2);
    }
    return std::string(line);
  }
  return {};
}

OsVersion ReadOsVersion() {
  OsVersion version;
  utsname names{};
  if (uname(&names) != 0) return version;
  version.systemName = names.sysname;
  version.release = names.release;
  version.ok = ParseKernelRelease(names.release, version.major, version.minor, version.build);
  version.description = ParseOsReleaseName(ReadWholeFile("/etc/os-release"));
  if (version.description.empty()) version.description = ParseOsReleaseName(ReadWholeFile("/usr/lib/os-release"));
  return version;
}

const OsVersion& RunningOsVersion() {
  static const OsVersion version = ReadOsVersion();
  return version;
}

int ParseCpuFamily(std::string_view cpuinfo) {
  std::uint64_t family = 0;
  if (!LeadingNumber(ValueOf(cpuinfo, "cpu family"), family) || family > 100000) return 0;
  return static_cast<int>(family);
}

int ReadProcessorLevel() { return ParseCpuFamily(ReadWholeFile("/proc/cpuinfo")); }

double MeasureCpuMHz() {
#ifdef TRELLMOND_HAVE_TSC
  // Elapsed time is measured rather than assumed: a sleep can overrun, and
  // the program cannot raise itself to real-time priority here.
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const double start = MonotonicSeconds();
  const std::uint64_t first = __rdtsc();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::uint64_t second = __rdtsc();
  const double seconds = MonotonicSeconds() - start;
  if (seconds > 0 && second > first) return static_cast<double>(second - first) / seconds / 1e6;
#endif
  const std::string cpuinfo = ReadWholeFile("/proc/cpuinfo");
  const std::string_view value = ValueOf(cpuinfo, "cpu MHz");
  double mhz = 0;
  std::from_chars(value.data(), value.data() + value.size(), mhz);
  return mhz;
}

std::size_t ParseThreadSetting(const char* text, std::size_t processors, bool windowRuns) {
  if (text != nullptr) {
    const std::string_view value(text);
    std::size_t threads = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), threads);
    if (error == std::errc() && end == value.data() + value.size() && threads >= 1) {
      return threads == 1 ? 0 : std::min<std::size_t>(threads, 256);
    }
  }
  processors = std::max<std::size_t>(1, processors);
  return windowRuns ? std::max<std::size_t>(1, processors - 1) : processors;
}

std::size_t ScanWorkerThreads(bool windowRuns) {
  return ParseThreadSetting(std::getenv("TRELLMOND_THREADS"), std::thread::hardware_concurrency(), windowRuns);
}

std::string DefaultLanguageName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return "C";
}

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

}  // namespace platform
