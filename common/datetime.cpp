#include "common/datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <string>

#include "common/error.h"

namespace vaq {

namespace {

std::string twoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

std::string describe(const Date& date) {
    return std::to_string(date.year) + "-" + twoDigits(date.month) + "-" + twoDigits(date.day);
}

// Days before January 1st of the given year, counted from 0001-01-01.
std::int32_t daysBeforeYear(int year) {
    const int y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400;
}

std::int32_t daysBeforeMonth(int year, int month) {
    static constexpr int kCumulative[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    return kCumulative[month - 1] + ((month > 2 && isLeapYear(year)) ? 1 : 0);
}

}  // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return kDays[month - 1] + ((month == 2 && isLeapYear(year)) ? 1 : 0);
}

bool isValidDate(int year, int month, int day) {
    return year >= kMinYear && year <= kMaxYear && day >= 1 && day <= daysInMonth(year, month);
}

bool isValidDate(const Date& date) {
    return isValidDate(date.year, date.month, date.day);
}

bool isValidTime(int hour, int minute, int second, int millisecond) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
           millisecond >= 0 && millisecond < 1000;
}

bool isValidTime(const Time& time) {
    return isValidTime(time.hour, time.minute, time.second, time.millisecond);
}

std::int32_t toDayNumber(const Date& date) {
    if (!isValidDate(date)) throw Error("Not a valid calendar date: " + describe(date));
    return daysBeforeYear(date.year) + daysBeforeMonth(date.year, date.month) + date.day;
}

Date fromDayNumber(std::int32_t dayNumber) {
    if (dayNumber < kFirstDayNumber || dayNumber > kLastDayNumber)
        throw Error("Day number out of the calendar's range: " + std::to_string(dayNumber));
    // Estimate the year from the mean year length, then correct by at most one.
    int year = static_cast<int>(static_cast<std::int64_t>(dayNumber) * 400 / 146097) + 1;
    while (year > kMinYear && daysBeforeYear(year) >= dayNumber)
        --year;
    while (year < kMaxYear && daysBeforeYear(year + 1) < dayNumber)
        ++year;
    const std::int32_t dayOfYear = dayNumber - daysBeforeYear(year);
    int month = 12;
    while (daysBeforeMonth(year, month) >= dayOfYear)
        --month;
    return Date{year, month, static_cast<int>(dayOfYear - daysBeforeMonth(year, month))};
}

std::int32_t toMilliseconds(const Time& time) {
    if (!isValidTime(time))
        throw Error("Not a valid time of day: " + std::to_string(time.hour) + ":" +
                    twoDigits(time.minute) + ":" + twoDigits(time.second) + "." +
                    std::to_string(time.millisecond));
    return ((time.hour * 60 + time.minute) * 60 + time.second) * 1000 + time.millisecond;
}

Time fromMilliseconds(std::int32_t milliseconds) {
    if (milliseconds < 0 || milliseconds >= kMillisecondsPerDay)
        throw Error("Milliseconds out of the range of a day: " + std::to_string(milliseconds));
    Time time;
    time.millisecond = milliseconds % 1000;
    time.second = milliseconds / 1000 % 60;
    time.minute = milliseconds / 60'000 % 60;
    time.hour = milliseconds / 3'600'000;
    return time;
}

double toTimestamp(const DateTime& moment) {
    return static_cast<double>(toDayNumber(moment.date)) * kMillisecondsPerDay +
           toMilliseconds(moment.time);
}

DateTime fromTimestamp(double milliseconds) {
    const double kFirst = static_cast<double>(kFirstDayNumber) * kMillisecondsPerDay;
    const double kEnd = (static_cast<double>(kLastDayNumber) + 1) * kMillisecondsPerDay;
    if (!std::isfinite(milliseconds) || milliseconds < kFirst || milliseconds >= kEnd ||
        std::floor(milliseconds) != milliseconds)
        throw Error("Timestamp out of range: " + std::to_string(milliseconds));
    const auto whole = static_cast<std::int64_t>(milliseconds);
    return DateTime{fromDayNumber(static_cast<std::int32_t>(whole / kMillisecondsPerDay)),
                    fromMilliseconds(static_cast<std::int32_t>(whole % kMillisecondsPerDay))};
}

Date addDays(const Date& date, std::int32_t days) {
    const std::int64_t target = static_cast<std::int64_t>(toDayNumber(date)) + days;
    if (target < kFirstDayNumber || target > kLastDayNumber)
        throw Error("Date out of the calendar's range: " + describe(date) + " plus " +
                    std::to_string(days) + " days");
    return fromDayNumber(static_cast<std::int32_t>(target));
}

std::int32_t daysBetween(const Date& from, const Date& to) {
    return toDayNumber(to) - toDayNumber(from);
}

int isoWeekday(const Date& date) {
    // Day 1 (0001-01-01) was a Monday.
    return static_cast<int>((toDayNumber(date) - 1) % 7) + 1;
}

DateTime localNow() {
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
