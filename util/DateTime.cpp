#include "util/DateTime.h"

#include <cmath>
#include <ctime>

namespace util {
namespace {

constexpr std::int64_t kDaysFrom1899To1970 = 25569;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

std::optional<TDateTime> EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                                        int millisecond) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999) {
    return std::nullopt;
  }
  const double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                        static_cast<unsigned>(day)) +
                                          kDaysFrom1899To1970);
  const double time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
  // Before 1899-12-30 the fraction counts forward from the (negative) day number.
  return days < 0 ? days - time : days + time;
}

DateTimeFields DecodeDateTime(TDateTime value) {
  const double wholeDays = std::trunc(value);
  double fraction = std::fabs(value - wholeDays);
  auto msOfDay = static_cast<std::int64_t>(std::llround(fraction * 86400000.0));
  std::int64_t z = static_cast<std::int64_t>(wholeDays) - kDaysFrom1899To1970;
  if (msOfDay >= 86400000) {
    msOfDay -= 86400000;
    ++z;
  }
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  DateTimeFields f;
  f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  f.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (f.month <= 2));
  f.hour = static_cast<int>(msOfDay / 3600000);
  f.minute = static_cast<int>(msOfDay / 60000 % 60);
  f.second = static_cast<int>(msOfDay / 1000 % 60);
  f.millisecond = static_cast<int>(msOfDay % 1000);
  return f;
}

std::int64_t LocalDateTimeToUnix(TDateTime value) {
  const DateTimeFields f = DecodeDateTime(value);
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

TDateTime MyFileTimeToDateTime(std::uint64_t fileTime) {
  const auto unixSeconds = static_cast<std::int64_t>(fileTime / 10000000ULL) - kSecondsFrom1601To1970;
  const auto ms = static_cast<int>(fileTime / 10000ULL % 1000ULL);
  const auto t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                        local.tm_sec, ms)
      .value_or(0);
}

}  // namespace util
