#include "fsscan/SafeNames.h"

namespace fsscan {

std::string SafeName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F ? '_' : c);
  }
  if (out.empty() || out == "." || out == "..") out.insert(out.begin(), '_');
  return out;
}

std::string SafeDirectory(std::string_view dir) {
  std::string out = "\\";
  std::size_t start = 0;
  while (start <= dir.size()) {
    const std::size_t end = dir.find('\\', start);
    const std::string_view level = dir.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!level.empty()) out += SafeName(level) + "\\";
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

}  // namespace fsscan
