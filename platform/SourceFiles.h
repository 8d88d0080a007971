#pragma once
// Opening what a scan reads: an image file or a block device. Anything else (a pipe, a
// socket, a terminal or /dev/null) is refused before it can block a read or an open, with
// its kind named.

#include <string>

namespace platform {

// Why `path` cannot be scanned, naming its kind ("/dev/null is a character device, not a
// disk: it holds no sectors to scan"); empty for an image or block device, and for a path
// that does not exist (opening it gives the system's reason).
std::string SourceKindRefusal(const std::string& path);
// Opens an image or block device for reading without waiting on it; -1 with errno set
// (ENODEV for a kind that is no disk) otherwise.
int OpenSourceFile(const std::string& path);

}  // namespace platform
