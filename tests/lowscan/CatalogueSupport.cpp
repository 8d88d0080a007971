#include "CatalogueSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace lowscan::testing {

std::filesystem::path SourceDir() {
  const char* dir = std::getenv("TRELLMOND_SOURCE_DIR");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path(TRELLMOND_SOURCE_DIR_FALLBACK);
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CatalogueDetails() {
  return ReadLines(SourceDir() / "service/data/catalogue/details.txt");
}

std::vector<std::string> CatalogueOverview() {
  return ReadLines(SourceDir() / "service/data/catalogue/overview-low.txt");
}

std::vector<Sample> Samples() {
  std::vector<Sample> samples;
  for (const auto& entry : std::filesystem::directory_iterator(SourceDir() / "tests/data/samples")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("sample.", 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    samples.push_back({name.substr(name.rfind('.') + 1), entry.path(), bytes.str()});
  }
  std::sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.path < b.path; });
  return samples;
}

}  // namespace lowscan::testing
