#pragma once
// Size texts shown in the wizard and sent to the service. The thousands separator
// is always the comma, whatever the locale, so texts match across machines.

#include <cstdint>
#include <string>

namespace util {

// The quotient rounded to a whole number (halves away from zero) with commas every three digits.
std::string FormatThousands(std::int64_t value, std::int64_t divisor = 1);
// "[n Bytes]", "[n KB]", "[n MB]", "[n GB]", or "[no disk]" for a negative size.
std::string GetSizeDescription(std::int64_t size);
// The amount in millions of bytes, "n MB", no brackets.
std::string GetFormatedMemory(std::int64_t amount);

}  // namespace util
