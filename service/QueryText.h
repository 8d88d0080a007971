#pragma once
// Reading the query part of a request target. The service decodes it itself
// rather than through the HTTP library so that "+" stays a plus sign (the
// client never sends form encoding) and a broken "%" escape is refused
// instead of being passed on silently.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace service {

// Percent-decodes `text`; std::nullopt when a "%" is not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view text);

struct ParsedQuery {
  std::map<std::string, std::string> values;  // first occurrence of each key wins
  std::string error;                          // empty when the query was well formed
};

// The query of a request target ("/php/addlog.php?transaction=1&message=x"),
// split at "&" and "=" before decoding, so encoded separators stay in values.
ParsedQuery ParseQuery(std::string_view target);

// The value of `key`, or std::nullopt when the query does not carry it.
std::optional<std::string> QueryValue(const ParsedQuery& query, const std::string& key);

}  // namespace service
