// Replays kept inputs through a fuzz target without libFuzzer, so the normal test
// run (any compiler, any sanitizer setting) checks that no earlier finding returns.
// Arguments: files or folders (searched recursively); a missing folder holds nothing.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "tests/fuzz/FuzzTarget.h"

namespace {

void Collect(const std::filesystem::path& path, std::vector<std::filesystem::path>& files) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) {
    files.push_back(path);
    return;
  }
  if (!std::filesystem::is_directory(path, ec)) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ec)) {
    if (entry.is_regular_file() && entry.path().filename().string().front() != '.') files.push_back(entry.path());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) Collect(argv[i], files);
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::cout << "replay " << file.filename().string() << " (" << bytes.size() << " bytes)" << std::endl;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::cout << files.size() << " inputs replayed" << std::endl;
  return 0;
}
