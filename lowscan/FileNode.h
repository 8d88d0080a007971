#pragma once
// One carved file of the Low Level Scan, owned by the scanner's FileList. Its
// bytes on the drive are StartPos up to but not including EndPos.

#include <cstdint>
#include <memory>
#include <string>

#include "util/MemoryStream.h"

namespace lowscan {

struct FileNode {
  std::string Name;       // "file_" + number + "." + Extension
  std::string Extension;
  std::unique_ptr<util::TMemoryStream> Image;  // only while being carved, for KeepImage types
  std::int64_t StartPos = 0;
  std::int64_t EndPos = 0;
  std::int64_t Size = 0;
  bool Save = true;
  bool Saved = false;
};

// "file_" + number + "." + extension.
std::string CarvedFileName(std::int64_t number, const std::string& extension);

}  // namespace lowscan
