#include "platform/Files.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/DriveTable.h"
#include "platform/LastError.h"
#include "platform/DriveQueries.h"
#include "util/Prompt.h"
#include "util/Text.h"

#ifndef TRELLMOND_VERSION
#define TRELLMOND_VERSION "0.0.0.0"
#endif

// The version resource of every program that links this library: a marked text that
// GetFmtFileVersion finds in the program file, as Windows finds a version block.
extern "C" {
__attribute__((used)) const char kTrellmondVersionResource[] = "TRELLMOND-VERSION-RESOURCE:" TRELLMOND_VERSION;
}

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kResourceMarker = "TRELLMOND-VERSION-RESOURCE:";

bool ParseVersion(std::string_view text, int (&parts)[4]) {
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t digits = 0;
    int value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && digits < 5) {
      value = value * 10 + (text[pos++] - '0');
      ++digits;
    }
    if (digits == 0 || value > 65535) return false;
    parts[i] = value;
    if (i < 3) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
  }
  return true;
}

// Replaces each "%d" in turn; never hands the caller's text to printf.
std::string FormatVersion(std::string_view format, const int (&parts)[4]) {
  std::string out;
  int next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 'd') {
        out += next < 4 ? std::to_string(parts[next++]) : "0";
        ++i;
        continue;
      }
      if (format[i + 1] == '%') {
        out.push_back('%');
        ++i;
        continue;
      }
    }
    out.push_back(format[i]);
  }
  return out;
}

std::int64_t DiskBytes(std::uint8_t driveNumber, bool freeOnly) {
  char letter = 0;
  if (driveNumber == 0) {
    std::error_code ec;
    const auto current = ToWindowsPath(fs::current_path(ec).string());
    if (!current) return -1;
    letter = (*current)[0];
  } else if (driveNumber <= 26) {
    letter = static_cast<char>('A' + driveNumber - 1);
  } else {
    return -1;
  }
  FreeSpaceEx space;
  if (!GetDiskFreeSpaceEx(std::string(1, letter) + ":\\", space)) return -1;
  return static_cast<std::int64_t>(freeOnly ? space.freeBytesAvailable : space.totalBytes);
}

}  // namespace

bool CreateDirectoryPath(std::string_view folder) {
  std::string accumulated = util::GetField(folder, 1, '\\');
  bool failed = false;
  for (int i = 2;; ++i) {
    const std::string part = util::GetField(folder, i, '\\');
    if (part.empty()) break;
    accumulated += "\\" + part;
    const auto posix = ToPosixPath(accumulated);
    std::error_code ec;
    if (posix && fs::is_directory(*posix, ec)) continue;
    if (failed) continue;
    if (!posix || !fs::create_directory(*posix, ec)) {
      if (ec) SetLastErrorFromErrno(ec.value());
      failed = true;
    }
  }
  return !failed;
}

int FileCreateWide(std::string_view path) {
  const auto posix = ToPosixPath(path);
  if (!posix) {
    SetLastError(kErrorNotReady);
    return -1;
  }
  const int fd = ::open(posix->c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) SetLastErrorFromErrno(errno);
  return fd;
}

int FileCreateNew(std::string_view path) {
  const auto posix = ToPosixPath(path);
  if (!posix) {
    SetLastError(kErrorNotReady);
    return -1;
  }
  const int fd = ::open(posix->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) SetLastErrorFromErrno(errno);
  return fd;
}

bool FileLocation(std::string_view folder, util::IPrompt& prompt) {
  std::string withSlash(folder);
  if (withSlash.empty() || withSlash.back() != '\\') withSlash.push_back('\\');
  const auto posix = ToPosixPath(withSlash);
  bool ok = false;
  if (posix) {
    // Probe with "tmp.dat", or a fresh name when the user already has a file of that name.
    std::string probe = *posix + "/tmp.dat";
    for (int n = 1; n < 1000 && fs::exists(probe); ++n) probe = *posix + "/tmp" + std::to_string(n) + ".dat";
    const int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      ::unlink(probe.c_str());
      ok = true;
    }
  }
  if (!ok) {
    prompt.Ask("Error", "Cannot write to: " + withSlash + ".\r\nYou must select a folder that can be written to.",
               util::PromptButtons::Ok, util::PromptIcon::Error);
  }
  return ok;
}

void FileFinder(std::string_view mask, std::string_view name, std::vector<std::string>& results, bool exact) {
  const std::size_t slash = mask.rfind('\\');
  if (slash == std::string_view::npos) return;
  const std::string folder(mask.substr(0, slash + 1));
  const std::string pattern(mask.substr(slash + 1));
  const auto posix = ToPosixPath(folder);
  std::error_code ec;
  if (!posix || !fs::is_directory(*posix, ec)) return;
  std::vector<fs::directory_entry> entries;
  for (const auto& e : fs::directory_iterator(*posix, ec)) entries.push_back(e);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  // "*.*" matches every name, with or without a dot, as on Windows.
  const std::string effective = pattern == "*.*" ? "*" : pattern;
  for (const auto& entry : entries) {
    const std::string entryName = entry.path().filename().string();
    if (entryName.empty() || entryName.front() == '.') continue;
    if (fnmatch(effective.c_str(), entryName.c_str(), FNM_CASEFOLD) != 0) continue;
    // The match ignores case; the path keeps the real case so it can be opened here.
    const std::string full = folder + entryName;
    const std::string lower = util::LowerCase(entryName);
    const bool match = exact ? lower == util::LowerCase(name) : lower.find(name) != std::string::npos;
    if (match) results.push_back(full);
    if (entry.is_directory(ec) && !entry.is_symlink(ec)) FileFinder(full + "\\" + pattern, name, results, exact);
  }
}

std::int64_t GetDiskSize(std::uint8_t driveNumber) { return DiskBytes(driveNumber, false); }
std::int64_t GetDiskFree(std::uint8_t driveNumber) { return DiskBytes(driveNumber, true); }

std::string GetFmtFileVersion(std::string_view executablePath, std::string_view format) {
  std::string posix(executablePath);
  if (executablePath.size() >= 2 && executablePath[1] == ':') {
    posix = ToPosixPath(executablePath).value_or(std::string{});
  }
  std::ifstream in(posix, std::ios::binary);
  if (!in) return {};
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (std::size_t at = bytes.find(kResourceMarker); at != std::string::npos;
       at = bytes.find(kResourceMarker, at + 1)) {
    int parts[4] = {};
    if (ParseVersion(std::string_view(bytes).substr(at + kResourceMarker.size(), 32), parts)) {
      return FormatVersion(format, parts);
    }
  }
  return {};
}

std::string OwnExecutablePath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  (void)kTrellmondVersionResource[0];
  return ToWindowsPath(self.string()).value_or(self.string());
}

}  // namespace platform
