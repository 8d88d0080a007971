#include "util/SizeText.h"

namespace util {

std::string FormatThousands(std::int64_t value, std::int64_t divisor) {
  const bool negative = value < 0;
  // Unsigned arithmetic so the most negative value still divides correctly.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const auto d = static_cast<std::uint64_t>(divisor > 0 ? divisor : 1);
  std::uint64_t quotient = magnitude / d;
  if (magnitude % d >= d - d / 2) ++quotient;
  const std::string digits = std::to_string(quotient);
  std::string out;
  if (negative && quotient != 0) out.push_back('-');
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

namespace {

// Appending piece by piece keeps GCC's -O3 from a false overlap warning on string sums.
std::string Bracketed(const std::string& number, const char* unit) {
  std::string out = "[";
  out.append(number).append(unit).append("]");
  return out;
}

}  // namespace

std::string GetSizeDescription(std::int64_t size) {
  if (size < 0) return "[no disk]";
  if (size < 1024) return Bracketed(std::to_string(size), " Bytes");
  if (size < 1048576) return Bracketed(FormatThousands(size, 1000), " KB");
  if (size < 1073741824) return Bracketed(FormatThousands(size, 1000000), " MB");
  return Bracketed(FormatThousands(size, 1000000000), " GB");
}

std::string GetFormatedMemory(std::int64_t amount) { return FormatThousands(amount, 1000000).append(" MB"); }

}  // namespace util
