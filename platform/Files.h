#pragma once
// File and folder helpers over drive-letter paths.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace util {
class IPrompt;
}

namespace platform {

// Creates every missing level of a drive-letter folder path; false after the first failure.
bool CreateDirectoryPath(std::string_view folder);
// Creates (or replaces) a file for reading and writing; a file descriptor, -1 on failure.
int FileCreateWide(std::string_view path);
// Creates a file that must not exist yet (last error kErrorFileExists when it does).
int FileCreateNew(std::string_view path);
// True when a file can be created in the folder; shows "Cannot write to: ..." otherwise.
bool FileLocation(std::string_view folder, util::IPrompt& prompt);
// Recursive search under mask (folder + "\" + pattern); appends matching paths.
void FileFinder(std::string_view mask, std::string_view name, std::vector<std::string>& results, bool exact);
// Total and free bytes of drive number n (1 = A, 0 = the current drive); -1 if unreadable.
std::int64_t GetDiskSize(std::uint8_t driveNumber);
std::int64_t GetDiskFree(std::uint8_t driveNumber);
// The version of one of this project's programs, formatted with up to four "%d"; empty without one.
std::string GetFmtFileVersion(std::string_view executablePath, std::string_view format);
// This program's own path as a drive-letter path.
std::string OwnExecutablePath();

}  // namespace platform
