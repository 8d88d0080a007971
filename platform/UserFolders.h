#pragma once
// The user's shell folders, from the XDG user directories, as drive-letter paths.

#include <string>

namespace platform {

enum TUserFolder : int {
  ufDesktop = 0,
  ufStartMenu = 1,
  ufPrograms = 2,
  ufStartup = 3,
  ufPersonal = 4,
  ufMyPictures = 5,
  ufMyMusic = 6,
  ufMyVideo = 7,
  ufAppData = 8,
  ufCookies = 9,
};

// The folder as a drive-letter path, or empty when there is no such folder.
std::string GetUserDirectory(TUserFolder kind);
// The POSIX form of the same folder (empty when unknown).
std::string GetUserDirectoryPosix(TUserFolder kind);
// The temporary folder as a drive-letter path with its trailing backslash.
std::string GetWindowsTempDir();

}  // namespace platform
