#pragma once
// Test helpers: the bundled catalogue files and the committed sample files.

#include <filesystem>
#include <string>
#include <vector>

namespace lowscan::testing {

std::filesystem::path SourceDir();
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::string> CatalogueDetails();
std::vector<std::string> CatalogueOverview();

struct Sample {
  std::string extension;  // the catalogue type it belongs to
  std::filesystem::path path;
  std::string bytes;
};
// Every tests/data/samples/sample[.variant].<ext>, sorted by name.
std::vector<Sample> Samples();

}  // namespace lowscan::testing
