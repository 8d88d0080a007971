#include "cli/LogLines.h"

#include "util/Text.h"

namespace cli {

std::string FormatLogLine(const std::string& message, const std::string& action) {
  const std::string prefix = "[" + action + "] ";
  const std::string indent(prefix.size(), ' ');
  const std::string lower = util::LowerCase(message);
  std::string out = prefix;
  std::size_t start = 0;
  bool first = true;
  while (start <= message.size()) {
    std::size_t br = lower.find("<br>", start);
    if (br == std::string::npos) br = message.size();
    const std::string piece = util::Trim(message.substr(start, br - start));
    // An empty piece between two breaks is a blank line; a trailing break adds nothing.
    if (!(piece.empty() && br == message.size() && !first)) {
      out += (first ? "" : "\n" + indent) + piece;
    }
    first = false;
    start = br + 4;
  }
  return out;
}

}  // namespace cli
