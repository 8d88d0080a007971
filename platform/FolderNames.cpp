#include "platform/FolderNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

#include "platform/DriveTable.h"

namespace platform {

std::vector<FolderEntry> ListFolder(std::string_view folder) {
  std::vector<FolderEntry> entries;
  const auto posix = ToPosixPath(folder);
  if (!posix) return entries;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(*posix, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    // A link to a folder is a folder to whoever opens a path through it.
    entries.push_back({it->path().filename().string(), it->is_directory(typeError)});
  }
  return entries;
}

bool FolderIgnoresCase(std::string_view folder) {
  const auto posix = ToPosixPath(folder);
  if (!posix) return false;
  const std::string probe = *posix + "/.trellmond-case-" + std::to_string(::getpid());
  std::string upper = probe;
  for (std::size_t i = posix->size(); i < upper.size(); ++i) {
    upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
  }
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  struct stat st {};
  const bool same = ::stat(upper.c_str(), &st) == 0;
  ::unlink(probe.c_str());
  return same;
}

std::ptrdiff_t PosixPathGrowth(std::string_view path) {
  const auto posix = ToPosixPath(path);
  return posix ? static_cast<std::ptrdiff_t>(posix->size()) - static_cast<std::ptrdiff_t>(path.size()) : 0;
}

}  // namespace platform
