#include "service/QueryText.h"

namespace service {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (text.size() - i < 3) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

ParsedQuery ParseQuery(std::string_view target) {
  ParsedQuery result;
  const std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) return result;
  std::string_view rest = target.substr(mark + 1);
  // A fragment never reaches a server from a well-behaved client; drop it like a browser would.
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    const auto key = PercentDecode(pair.substr(0, eq));
    const auto value = PercentDecode(eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1));
    if (!key || !value) {
      result.error = "invalid percent escape in query";
      return result;
    }
    result.values.emplace(*key, *value);
  }
  return result;
}

std::optional<std::string> QueryValue(const ParsedQuery& query, const std::string& key) {
  const auto it = query.values.find(key);
  if (it == query.values.end()) return std::nullopt;
  return it->second;
}

}  // namespace service
