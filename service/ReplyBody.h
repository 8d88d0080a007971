#pragma once
// Reply bodies in the one shape the client reads: "<html><body>", a line
// break, the content, a line break, "</body></html>". List replies end each
// line in "<BR />" with nothing between lines, because the client splits at
// "<BR />" without trimming the pieces.

#include <string>
#include <string_view>
#include <vector>

namespace service {

// A reply of one value (a transaction number, "VERSION;1.0").
std::string ReplyValue(std::string_view value);
// A reply of list lines, each followed by "<BR />".
std::string ReplyLines(const std::vector<std::string>& lines);

// The lines of a catalogue file, one per file line (CR and blank lines dropped);
// empty when the file is missing or unreadable.
std::vector<std::string> ReadCatalogueLines(const std::string& path);

}  // namespace service
