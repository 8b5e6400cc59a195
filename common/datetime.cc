#include "common/datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

#include "common/error.h"

namespace vaq {

namespace {

std::string two_digits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string describe(const Date& date) {
    return std::to_string(date.year) + "-" + two_digits(date.month) + "-" + two_digits(date.day);
}

// Day 1 (0001-01-01) is 306 days after 0000-03-01, the start of the 400-year eras counted
// below; years then run March to February so that the leap day comes last.
constexpr std::int64_t kDaysFromEraBaseToDayZero = 306;
constexpr std::int64_t kDaysPerEra = 146'097;

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

bool is_leap_year(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return kDays[month - 1] + ((month == 2 && is_leap_year(year)) ? 1 : 0);
}

bool is_valid_date(int year, int month, int day) {
    return year >= kMinYear && year <= kMaxYear && day >= 1 && day <= days_in_month(year, month);
}

bool is_valid_date(const Date& date) {
    return is_valid_date(date.year, date.month, date.day);
}

bool is_valid_time(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

bool is_valid_time(const Time& time) {
    return is_valid_time(time.hour, time.minute, time.second, time.millisecond);
}

Date from_any_day_number(std::int64_t dayNumber) {
    const std::int64_t days = dayNumber + kDaysFromEraBaseToDayZero - 1;  // since 0000-03-01
    const std::int64_t era = floor_div(days, kDaysPerEra);
    const std::int64_t dayOfEra = days - era * kDaysPerEra;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    Date date;
    date.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    date.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

std::optional<std::int32_t> to_any_day_number(int year, int month, int day) {
    if (day < 1 || day > days_in_month(year, month)) return std::nullopt;
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * kDaysPerEra + dayOfEra;  // since 0000-03-01
    const std::int64_t dayNumber = days - kDaysFromEraBaseToDayZero + 1;
    if (dayNumber < INT32_MIN + 1 || dayNumber > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(dayNumber);
}

Time from_any_milliseconds(std::int64_t milliseconds) {
    std::int64_t ms = milliseconds % kMillisecondsPerDay;
    if (ms < 0) ms += kMillisecondsPerDay;
    Time time;
    time.millisecond = static_cast<int>(ms % 1000);
    time.second = static_cast<int>(ms / 1000 % 60);
    time.minute = static_cast<int>(ms / 60'000 % 60);
    time.hour = static_cast<int>(ms / 3'600'000);
    return time;
}

std::int32_t milliseconds_since_midnight(const Time& time) {
    return ((time.hour * 60 + time.minute) * 60 + time.second) * 1000 + time.millisecond;
}

std::int32_t to_day_number(const Date& date) {
    if (!is_valid_date(date)) throw Error("Not a valid calendar date: " + describe(date));
    return *to_any_day_number(date.year, date.month, date.day);
}

Date from_day_number(std::int32_t dayNumber) {
    if (dayNumber < kFirstDayNumber || dayNumber > kLastDayNumber)
        throw Error("Day number out of the calendar's range: " + std::to_string(dayNumber));
    return from_any_day_number(dayNumber);
}

std::int32_t to_milliseconds(const Time& time) {
    if (!is_valid_time(time))
        throw Error("Not a valid time of day: " + std::to_string(time.hour) + ":" +
                    two_digits(time.minute) + ":" + two_digits(time.second) + "." +
                    std::to_string(time.millisecond));
    return milliseconds_since_midnight(time);
}

Time from_milliseconds(std::int32_t milliseconds) {
    if (milliseconds < 0 || milliseconds >= kMillisecondsPerDay)
        throw Error("Milliseconds out of the range of a day: " + std::to_string(milliseconds));
    return from_any_milliseconds(milliseconds);
}

double to_timestamp(const DateTime& moment) {
    return static_cast<double>(to_day_number(moment.date)) * kMillisecondsPerDay +
           to_milliseconds(moment.time);
}

DateTime from_timestamp(double milliseconds) {
    const double kFirst = static_cast<double>(kFirstDayNumber) * kMillisecondsPerDay;
    const double kEnd = (static_cast<double>(kLastDayNumber) + 1) * kMillisecondsPerDay;
    if (!std::isfinite(milliseconds) || milliseconds < kFirst || milliseconds >= kEnd ||
        std::floor(milliseconds) != milliseconds)
        throw Error("Timestamp out of range: " + std::to_string(milliseconds));
    const auto whole = static_cast<std::int64_t>(milliseconds);
    return DateTime{from_day_number(static_cast<std::int32_t>(whole / kMillisecondsPerDay)),
                    from_milliseconds(static_cast<std::int32_t>(whole % kMillisecondsPerDay))};
}

Date add_days(const Date& date, std::int32_t days) {
    const std::int64_t target = static_cast<std::int64_t>(to_day_number(date)) + days;
    if (target < kFirstDayNumber || target > kLastDayNumber)
        throw Error("Date out of the calendar's range: " + describe(date) + " plus " +
                    std::to_string(days) + " days");
    return from_day_number(static_cast<std::int32_t>(target));
}

std::int32_t days_between(const Date& from, const Date& to) {
    return to_day_number(to) - to_day_number(from);
}

int iso_weekday(const Date& date) {
    // Day 1 (0001-01-01) was a Monday.
    return static_cast<int>((to_day_number(date) - 1) % 7) + 1;
}

DateTime local_now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    return DateTime{Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
                    Time{local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis)}};
}

}  // namespace vaq
