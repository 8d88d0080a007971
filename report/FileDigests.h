#pragma once
// MD5 and SHA-1 of a file's bytes, read once.

#include <optional>
#include <string>

namespace report {

struct FileDigests {
  std::string md5;  // lower-case hex
  std::string sha1;
};

// std::nullopt when the file cannot be read to its end.
std::optional<FileDigests> DigestFile(const std::string& path);

}  // namespace report
