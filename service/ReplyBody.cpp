#include "service/ReplyBody.h"

#include <fstream>

namespace service {
namespace {

constexpr std::string_view kHead = "<html><body>\n";
constexpr std::string_view kTail = "\n</body></html>\n";

}  // namespace

std::string ReplyValue(std::string_view value) {
  std::string reply(kHead);
  reply += value;
  reply += kTail;
  return reply;
}

std::string ReplyLines(const std::vector<std::string>& lines) {
  std::string reply(kHead);
  for (const std::string& line : lines) {
    reply += line;
    reply += "<BR />";
  }
  reply += kTail;
  return reply;
}

std::vector<std::string> ReadCatalogueLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (in && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A blank line is layout in the file, not an entry; as an entry it would
    // reach the catalogue reader as an empty type.
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    lines.push_back(line);
  }
  return lines;
}

}  // namespace service
