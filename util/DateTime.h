#pragma once
// Date-time values as days since 30 December 1899 (fraction = time of day), the
// form in which scan records carry file dates.

#include <cstdint>
#include <optional>

namespace util {

using TDateTime = double;

// std::nullopt for an impossible calendar date or time.
std::optional<TDateTime> EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                                        int second = 0, int millisecond = 0);

struct DateTimeFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
DateTimeFields DecodeDateTime(TDateTime value);

// Seconds since the Unix epoch for a local date-time value (for file timestamps).
std::int64_t LocalDateTimeToUnix(TDateTime value);

// A Windows file time (100-ns units since 1601, UTC) as local date-time; 0 on failure.
TDateTime MyFileTimeToDateTime(std::uint64_t fileTime);

}  // namespace util
