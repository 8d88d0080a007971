#pragma once
// Small text helpers on 8-bit text. Positions count from 1 where a field number is asked.

#include <string>
#include <string_view>

namespace util {

// Removes every leading and trailing character whose code is 32 or less.
std::string Trim(std::string_view text);
std::string UpperCase(std::string_view text);
// Whether the short (8.3) extension was cut from the name's longer one, as short names are
// made: "Plan.docx" and "DOC", "holiday.jpeg" and "JPE" (letters compared without case).
bool IsShortenedExtension(std::string_view name, std::string_view shortExtension);
std::string LowerCase(std::string_view text);
bool ContainsNoCase(std::string_view text, std::string_view part);

// Field `index` (from 1) of a line split at `delimiter`, trimmed; empty when absent.
std::string GetField(std::string_view text, int index, char delimiter);

// Every run of `c` reduced to one.
std::string RemoveMultiples(std::string_view text, char c);
// Doubled backslashes collapsed; a leading "\" becomes the network prefix "\\".
std::string TidyFilename(std::string_view path);
// Every NUL character replaced by `replacement`.
std::string ReplaceNulls(std::string_view text, std::string_view replacement);
// Each character as " " + two upper-case hexadecimal digits.
std::string StrToHex(std::string_view text);
std::string GetCheckboxValueAsText(bool value);
bool ValidEmail(std::string_view text);

}  // namespace util
