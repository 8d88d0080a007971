#include "wizard/TreeKeys.h"

#include "util/Text.h"

namespace wizard {

std::string ReducePath(std::string_view path) {
  const std::size_t last = path.rfind('\\');
  if (last == std::string_view::npos || last == 0) return {};
  const std::size_t secondLast = path.rfind('\\', last - 1);
  if (secondLast == std::string_view::npos || secondLast == 0) return {};
  return std::string(path.substr(0, secondLast + 1));
}

std::string GetFirstDirectory(std::string_view path) {
  const std::size_t first = path.find('\\');
  if (first == std::string_view::npos) return {};
  return std::string(path.substr(0, first));
}

std::string_view SizeBand(std::int64_t size) {
  if (size <= 1000) return kSizeBands[0];
  if (size <= 100000) return kSizeBands[1];
  if (size <= 1000000) return kSizeBands[2];
  if (size <= 10000000) return kSizeBands[3];
  return kSizeBands[4];
}

std::string TreePath(util::TScanType source, std::string_view fullName, std::string_view prefix) {
  std::string path(prefix);
  if (source == util::stLowScan) return path;
  const std::size_t last = fullName.rfind('\\');
  if (last == std::string_view::npos) return path;
  // The drive letter, ":" and the first "\" are not part of the tree.
  const std::string_view directory = fullName.substr(0, last + 1);
  if (directory.size() > 3) path += directory.substr(3);
  return path;
}

std::string_view FileNamePart(std::string_view fullName) {
  const std::size_t last = fullName.rfind('\\');
  return last == std::string_view::npos ? fullName : fullName.substr(last + 1);
}

std::string TypeKey(std::string_view extension) { return util::UpperCase(extension) + "\\"; }

}  // namespace wizard
