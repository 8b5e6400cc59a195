#include "engine/format/calendar.h"

namespace pdx {

namespace {

// Day 1 (0001-01-01) is 306 days after 0000-03-01, the start of the 400-year eras counted
// below; years then run March to February so that the leap day comes last.
constexpr std::int64_t kDaysFromEraBaseToDayZero = 306;
constexpr std::int64_t kDaysPerEra = 146'097;

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

}  // namespace

CivilDate civil_from_day_number(std::int64_t day_number) {
    const std::int64_t days = day_number + kDaysFromEraBaseToDayZero - 1;  // since 0000-03-01
    const std::int64_t era = floor_div(days, kDaysPerEra);
    const std::int64_t day_of_era = days - era * kDaysPerEra;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
    date.month =
        static_cast<int>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
    date.year = static_cast<int>(year_of_era + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

std::optional<std::int32_t> day_number_from_civil(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) return std::nullopt;
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t month_from_march = month > 2 ? month - 3 : month + 9;
    const std::int64_t day_of_year = (153 * month_from_march + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    const std::int64_t days = era * kDaysPerEra + day_of_era;  // since 0000-03-01
    const std::int64_t day_number = days - kDaysFromEraBaseToDayZero + 1;
    if (day_number < INT32_MIN + 1 || day_number > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(day_number);
}

TimeOfDay time_from_milliseconds(std::int64_t milliseconds) {
    std::int64_t ms = milliseconds % kMillisecondsPerDay;
    if (ms < 0) ms += kMillisecondsPerDay;
    TimeOfDay t;
    t.millisecond = static_cast<int>(ms % 1000);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.minute = static_cast<int>(ms / 60'000 % 60);
    t.hour = static_cast<int>(ms / 3'600'000);
    return t;
}

std::int32_t milliseconds_from_time(const TimeOfDay& t) {
    return ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

}  // namespace pdx
