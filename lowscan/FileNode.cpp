#include "lowscan/FileNode.h"

namespace lowscan {

std::string CarvedFileName(std::int64_t number, const std::string& extension) {
  return "file_" + std::to_string(number) + "." + extension;
}

}  // namespace lowscan
