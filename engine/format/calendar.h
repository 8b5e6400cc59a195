#pragma once

// Day numbers and times of day as Paradox stores them. A date is the count of days of the
// proleptic Gregorian calendar with 0001-01-01 = day 1; a time is milliseconds since
// midnight; a timestamp is day number * 86 400 000 + milliseconds.

#include <cstdint>
#include <optional>

namespace pdx {

struct CivilDate {
    int year = 1;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
};

inline constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// Works for every 32-bit day number (years before 1 and after 9999 included).
CivilDate civil_from_day_number(std::int64_t day_number);
// Nothing when the month or day does not exist.
std::optional<std::int32_t> day_number_from_civil(int year, int month, int day);

// Milliseconds are reduced modulo one day first (negative values count back from midnight).
TimeOfDay time_from_milliseconds(std::int64_t milliseconds);
std::int32_t milliseconds_from_time(const TimeOfDay& time);

}  // namespace pdx
