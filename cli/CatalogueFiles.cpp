#include "cli/CatalogueFiles.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/Companion.h"
#include "util/Text.h"

namespace cli {

std::filesystem::path BundledCatalogue() {
  if (const char* dir = std::getenv("TRELLMOND_CATALOGUE_DIR"); dir != nullptr && *dir != '\0') return dir;
  if (std::string installed = platform::InstalledDataFolder("service/catalogue"); !installed.empty()) return installed;
  return TRELLMOND_CATALOGUE_DIR;
}

bool ReadCatalogueLines(const std::filesystem::path& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) {
    // The service's reply form ends lines with "<BR />"; a file may have either.
    if (const auto br = line.find("<BR />"); br != std::string::npos) line.erase(br);
    line = util::Trim(line);
    if (!line.empty()) lines.push_back(line);
  }
  return true;
}

std::vector<std::string> KnownTypes(const std::vector<std::string>& overview) {
  std::vector<std::string> known;
  for (const auto& line : overview) {
    std::string ext = util::LowerCase(util::GetField(line, 1, ';'));
    if (!ext.empty() && std::find(known.begin(), known.end(), ext) == known.end()) known.push_back(std::move(ext));
  }
  return known;
}

std::vector<std::string> UnknownTypes(const std::string& types, const std::vector<std::string>& known) {
  std::vector<std::string> unknown;
  std::size_t start = 0;
  while (start <= types.size()) {
    const std::size_t end = std::min(types.find(',', start), types.size());
    const std::string ext = util::LowerCase(util::Trim(types.substr(start, end - start)));
    if (!ext.empty() && std::find(known.begin(), known.end(), ext) == known.end()) unknown.push_back(ext);
    start = end + 1;
  }
  return unknown;
}

std::string UnknownTypesError(const std::string& types, const std::vector<std::string>& overview,
                              const std::string& scanName) {
  const std::vector<std::string> known = KnownTypes(overview);
  const std::vector<std::string> unknown = UnknownTypes(types, known);
  if (unknown.empty()) return {};
  std::string text = std::string(unknown.size() == 1 ? "unknown type " : "unknown types ");
  for (std::size_t i = 0; i < unknown.size(); ++i) text += (i ? ", " : "") + unknown[i];
  text += " for the " + scanName + "; known types: ";
  for (std::size_t i = 0; i < known.size(); ++i) text += (i ? ", " : "") + known[i];
  return text;
}

}  // namespace cli
