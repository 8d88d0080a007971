// Names of files found outside the file system's own tree.

#include "fsscan/FileRecords.h"

namespace fsscan {

std::string OriginText(FileOrigin origin) {
  switch (origin) {
    case FileOrigin::kLostFolder: return "lost folder";
    case FileOrigin::kOldMftRecord: return "old MFT record";
    case FileOrigin::kDirectory: break;
  }
  return {};
}

std::string LostFolderPath(std::int64_t number) {
  std::string path = std::string("\\") + kLostFoldersName;
  if (number > 0) path += "\\Lost folder " + std::to_string(number);
  return path;
}

}  // namespace fsscan
