#include "cli/ScanSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/Commands.h"
#include "platform/DriveTable.h"
#include "util/Text.h"

namespace cli {
namespace {

std::string SystemText(int error) { return std::strerror(error); }

bool LooksLikeLetter(const std::string& source) {
  return (source.size() == 1 || (source.size() <= 3 && source[1] == ':')) &&
         std::isalpha(static_cast<unsigned char>(source[0])) && (source.size() < 3 || source[2] == '\\');
}

OpenedSource Refuse(const std::string& error, int exitCode = kExitSourceUnreadable) { return {0, exitCode, error, {}, {}}; }

const char* kFolderSource = " is a folder, not a drive, image or block device: it holds no sectors to scan";

}  // namespace

OpenedSource OpenSource(const std::string& source) {
  if (LooksLikeLetter(source)) {
    const char letter = util::UpperCase(source.substr(0, 1))[0];
    const auto entry = platform::DriveTable::Instance().Find(letter);
    if (!entry) return Refuse("drive " + std::string(1, letter) + ": is not in the drive table (see: trellmond-cli drives)");
    if (entry->devicePath.empty()) {
      return {letter, 0, {}, std::string(1, letter) + ": (" + entry->mountRoot + ")" + kFolderSource, {}};
    }
    return {letter, 0, {}, {}, {}};
  }
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0) return Refuse("cannot open the source " + source + ": " + SystemText(errno));
  if (S_ISDIR(st.st_mode)) return Refuse(source + kFolderSource);
  const char letter = platform::DriveTable::Instance().Attach(source);
  if (letter == 0) return Refuse("cannot attach the source " + source + ": no drive letter is free");
  auto volume = platform::Volume::Choose(letter);
  if (!volume) {
    const int error = errno;
    platform::DriveTable::Instance().Detach(letter);
    return Refuse("cannot open the source " + source + ": " + SystemText(error));
  }
  return {letter, 0, {}, {}, std::move(volume)};
}

bool CheckReportPath(const std::string& path, std::string& why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path report = fs::absolute(path, ec);
  if (fs::is_directory(report, ec)) {
    why = path + " is a folder";
    return false;
  }
  const fs::path folder = report.parent_path();
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    why = "the folder " + folder.string() + ": " + SystemText(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    why = folder.string() + " is not a folder";
    return false;
  }
  const bool existed = fs::exists(report, ec);
  const int fd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = SystemText(errno);
    return false;
  }
  ::close(fd);
  if (!existed) fs::remove(report, ec);
  return true;
}

}  // namespace cli
