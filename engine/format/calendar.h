#pragma once

// Day numbers and times of day as Paradox stores them. A date is the count of days of the
// proleptic Gregorian calendar with 0001-01-01 = day 1; a time is milliseconds since
// midnight; a timestamp is day number * 86 400 000 + milliseconds. The arithmetic is the
// common calendar's, without its range of years: a file may hold any day number.

#include <cstdint>
#include <optional>

#include "common/datetime.h"

namespace pdx {

using CivilDate = vaq::Date;
using TimeOfDay = vaq::Time;

inline constexpr std::int64_t kMillisecondsPerDay = vaq::kMillisecondsPerDay;

// Works for every 32-bit day number (years before 1 and after 9999 included).
inline CivilDate civil_from_day_number(std::int64_t day_number) {
    return vaq::from_any_day_number(day_number);
}
// Nothing when the month or day does not exist.
inline std::optional<std::int32_t> day_number_from_civil(int year, int month, int day) {
    return vaq::to_any_day_number(year, month, day);
}

// Milliseconds are reduced modulo one day first (negative values count back from midnight).
inline TimeOfDay time_from_milliseconds(std::int64_t milliseconds) {
    return vaq::from_any_milliseconds(milliseconds);
}
inline std::int32_t milliseconds_from_time(const TimeOfDay& time) {
    return vaq::milliseconds_since_midnight(time);
}

}  // namespace pdx
