#include "util/Text.h"

#include <algorithm>
#include <cctype>

namespace util {

std::string Trim(std::string_view text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  return UpperCase(text).find(UpperCase(part)) != std::string::npos;
}

std::string GetField(std::string_view text, int index, char delimiter) {
  if (index <= 0) return {};
  if (text.find(delimiter) == std::string_view::npos && index > 1) return {};
  std::string_view rest = text;
  std::string_view field;
  for (int i = 1; i <= index; ++i) {
    const std::size_t at = rest.find(delimiter);
    if (at == std::string_view::npos) {
      field = (i == index) ? rest : std::string_view{};
      break;
    }
    field = rest.substr(0, at);
    rest.remove_prefix(at + 1);
  }
  return Trim(field);
}

std::string RemoveMultiples(std::string_view text, char c) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    if (ch == c && !out.empty() && out.back() == c) continue;
    out.push_back(ch);
  }
  return out;
}

bool IsShortenedExtension(std::string_view name, std::string_view shortExtension) {
  const std::size_t dot = name.rfind('.');
  if (shortExtension.size() != 3 || dot == std::string_view::npos) return false;
  const std::string_view own = name.substr(dot + 1);
  return own.size() > 3 && own.find(' ') == std::string_view::npos &&
         UpperCase(own.substr(0, 3)) == UpperCase(shortExtension);
}

std::string TidyFilename(std::string_view path) {
  std::string out = RemoveMultiples(path, '\\');
  if (!out.empty() && out.front() == '\\') out.insert(out.begin(), '\\');
  return out;
}

std::string ReplaceNulls(std::string_view text, std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0') {
      out.append(replacement);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string StrToHex(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(' ');
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0x0F]);
  }
  return out;
}

std::string GetCheckboxValueAsText(bool value) { return value ? "1" : "0"; }

bool ValidEmail(std::string_view text) {
  if (text.empty()) return true;
  static constexpr std::string_view kPunctuation = "!#$%&'*+-./=?^_{|}~@`";
  const bool allAllowed = std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 && u < 128 ? true : kPunctuation.find(c) != std::string_view::npos;
  });
  if (!allAllowed) return false;
  const std::size_t at = text.find('@');
  if (at == std::string_view::npos || at == 0) return false;
  if (text.find('@', at + 1) != std::string_view::npos) return false;
  return text.find('.') != std::string_view::npos;
}

}  // namespace util
