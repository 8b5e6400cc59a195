#pragma once

#include <compare>
#include <cstdint>
#include <optional>

namespace vaq {

// A calendar date in the proleptic Gregorian calendar, years 1 to 9999.
struct Date {
    int year = 1;
    int month = 1;
    int day = 1;

    friend auto operator<=>(const Date&, const Date&) = default;
};

// A time of day, 00:00:00.000 to 23:59:59.999.
struct Time {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend auto operator<=>(const Time&, const Time&) = default;
};

struct DateTime {
    Date date;
    Time time;

    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;
// Day numbers as Paradox stores them: day 1 is 0001-01-01, the last day is 9999-12-31.
inline constexpr std::int32_t kFirstDayNumber = 1;
inline constexpr std::int32_t kLastDayNumber = 3652059;
inline constexpr std::int32_t kMillisecondsPerDay = 86'400'000;

bool is_leap_year(int year);
// 0 when the month is not 1..12.
int days_in_month(int year, int month);
bool is_valid_date(int year, int month, int day);
bool is_valid_date(const Date& date);
bool is_valid_time(int hour, int minute, int second, int millisecond = 0);
bool is_valid_time(const Time& time);

// Day number of a date (0001-01-01 is 1). Throws vaq::Error for an invalid date.
std::int32_t to_day_number(const Date& date);
// Date of a day number. Throws vaq::Error outside kFirstDayNumber..kLastDayNumber.
Date from_day_number(std::int32_t dayNumber);

// The same arithmetic without the range of the calendar, for values read from files: every
// 64-bit day number has a date (years before 1 and after 9999 included), and milliseconds
// are reduced modulo one day first (negative values count back from midnight).
Date from_any_day_number(std::int64_t dayNumber);
// Nothing when the month or day does not exist or the day number leaves 32 bits.
std::optional<std::int32_t> to_any_day_number(int year, int month, int day);
Time from_any_milliseconds(std::int64_t milliseconds);
// Milliseconds since midnight of a time whose fields are not checked.
std::int32_t milliseconds_since_midnight(const Time& time);

// Milliseconds since midnight. Throws vaq::Error for an invalid time.
std::int32_t to_milliseconds(const Time& time);
// Throws vaq::Error outside 0..kMillisecondsPerDay-1.
Time from_milliseconds(std::int32_t milliseconds);

// A moment as milliseconds on the day-number scale: dayNumber * 86 400 000 + milliseconds
// since midnight, so 0001-01-01 00:00 is 86 400 000 (the value of a Paradox timestamp).
double to_timestamp(const DateTime& moment);
// Throws vaq::Error when the value is not a whole number of milliseconds in range.
DateTime from_timestamp(double milliseconds);

// Throws vaq::Error when the result leaves the years 1..9999.
Date add_days(const Date& date, std::int32_t days);
std::int32_t days_between(const Date& from, const Date& to);
// ISO weekday: 1 is Monday, 7 is Sunday.
int iso_weekday(const Date& date);

// The local date and time of the machine's clock.
DateTime local_now();

}  // namespace vaq
