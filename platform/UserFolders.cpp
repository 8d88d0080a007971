#include "platform/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/DriveTable.h"
#include "platform/Settings.h"

namespace platform {
namespace {

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

// A value from ~/.config/user-dirs.dirs such as XDG_PICTURES_DIR="$HOME/Pictures".
std::string XdgUserDir(const std::string& key, const std::string& fallback) {
  if (const char* env = std::getenv(key.c_str()); env && *env == '/') return env;
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    if (!value.empty() && value.front() == '/') return value;
  }
  return fallback;
}

}  // namespace

std::string GetUserDirectoryPosix(TUserFolder kind) {
  const std::string home = Home();
  std::string path;
  switch (kind) {
    case ufDesktop: path = XdgUserDir("XDG_DESKTOP_DIR", home + "/Desktop"); break;
    case ufStartMenu:
    case ufPrograms: path = DataHome() + "/applications"; break;
    case ufStartup: path = ConfigHome() + "/autostart"; break;
    case ufPersonal: {
      path = XdgUserDir("XDG_DOCUMENTS_DIR", home + "/Documents");
      std::error_code ec;
      if (!std::filesystem::is_directory(path, ec)) path = home;  // the home folder is the user's own place
      break;
    }
    case ufMyPictures: path = XdgUserDir("XDG_PICTURES_DIR", home + "/Pictures"); break;
    case ufMyMusic: path = XdgUserDir("XDG_MUSIC_DIR", home + "/Music"); break;
    case ufMyVideo: path = XdgUserDir("XDG_VIDEOS_DIR", home + "/Videos"); break;
    case ufAppData: path = DataHome(); break;
    case ufCookies: path = DataHome() + "/Pelmora/Cookies"; break;
    default: return {};
  }
  std::error_code ec;
  return std::filesystem::is_directory(path, ec) ? path : std::string{};
}

std::string GetUserDirectory(TUserFolder kind) {
  const std::string posix = GetUserDirectoryPosix(kind);
  if (posix.empty()) return {};
  return ToWindowsPath(posix).value_or(std::string{});
}

std::string GetWindowsTempDir() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string posix = tmp && *tmp == '/' ? tmp : "/tmp";
  std::string path = ToWindowsPath(posix).value_or("C:\\tmp");
  if (path.back() != '\\') path.push_back('\\');
  return path;
}

}  // namespace platform
