#pragma once
// What a save needs to know of an output folder before it picks names there: the names it
// holds already, whether its file system takes names that differ only in case as one, and
// how long a name and a path may be.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Bytes of one name and of a whole path (without its terminating NUL) that Linux accepts.
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr std::size_t kMaxPathBytes = 4095;

struct FolderEntry {
  std::string name;
  bool directory = false;
};

// The entries of a drive-letter folder, "." and ".." left out; none when it does not exist.
std::vector<FolderEntry> ListFolder(std::string_view folder);
// Whether an existing drive-letter folder takes "a" and "A" as one name (FAT, exFAT, NTFS
// mounts, case-folding folders): tried with a file of its own made there and removed again.
bool FolderIgnoresCase(std::string_view folder);
// Bytes the POSIX form of a drive-letter path adds to (or takes from) it; 0 without a drive.
std::ptrdiff_t PosixPathGrowth(std::string_view path);

}  // namespace platform
