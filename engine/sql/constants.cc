#include "engine/sql/constants.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/sql/sql_error.h"

namespace pdx::sql {

namespace {

constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

[[noreturn]] void refuse(std::string_view kind, std::string_view text, std::string_view field,
                         std::string_view reason) {
    std::string message = "Not a valid " + std::string(kind);
    if (!field.empty()) message += " for field " + std::string(field);
    message += ": '" + std::string(text) + "' (" + std::string(reason) + ")";
    throw SqlError(message);
}

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A run of 1 to `max_digits` digits as a number, or nothing.
std::optional<int> small_number(std::string_view text, std::size_t max_digits) {
    if (!all_digits(text) || text.size() > max_digits) return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

constexpr std::string_view kDateForm = "dates are written month first, as 1/31/2000";

vaq::Date checked_date(int year, int month, int day, std::string_view text,
                       std::string_view field) {
    if (month < 1 || month > 12) {
        refuse("date", text, field,
               "there is no month " + std::to_string(month) + "; " + std::string(kDateForm));
    }
    if (year < 1) refuse("date", text, field, "there is no year 0");
    if (day < 1 || day > vaq::days_in_month(year, month)) {
        refuse("date", text, field,
               std::string(kMonthNames[static_cast<std::size_t>(month - 1)]) + " " +
                   std::to_string(year) + " has no day " + std::to_string(day));
    }
    return vaq::Date{year, month, day};
}

char date_separator(std::string_view text) {
    for (char c : text) {
        if (c == '/' || c == '-' || c == '.') return c;
    }
    return '/';
}

int full_year(std::string_view digits, int value) {
    if (digits.size() > 2) return value;
    return value < 69 ? 2000 + value : 1900 + value;
}

constexpr std::string_view kTimeForm = "times are written hours:minutes:seconds, as 9:30:00";

}  // namespace

vaq::Date parse_date(std::string_view text, std::string_view field) {
    const std::string_view value = vaq::trim_space(text);
    const std::vector<std::string_view> parts = split(value, date_separator(value));
    if (parts.size() != 3) refuse("date", text, field, kDateForm);
    if (parts[0].size() == 4) {
        const auto year = small_number(parts[0], 4);
        const auto month = small_number(parts[1], 2);
        const auto day = small_number(parts[2], 2);
        if (!year || !month || !day)
            refuse("date", text, field, "expected year-month-day, as 2000-01-31");
        return checked_date(*year, *month, *day, text, field);
    }
    const auto month = small_number(parts[0], 2);
    const auto day = small_number(parts[1], 2);
    const auto year = small_number(parts[2], 4);
    if (!month || !day || !year) refuse("date", text, field, kDateForm);
    return checked_date(full_year(parts[2], *year), *month, *day, text, field);
}

vaq::Time parse_time(std::string_view text, std::string_view field) {
    std::string_view value = vaq::trim_space(text);
    std::optional<bool> afternoon;
    if (value.size() >= 2) {
        const std::string_view suffix = value.substr(value.size() - 2);
        if (vaq::iequals(suffix, "AM") || vaq::iequals(suffix, "PM")) {
            afternoon = vaq::iequals(suffix, "PM");
            value = vaq::trim_space(value.substr(0, value.size() - 2));
        }
    }
    std::vector<std::string_view> parts = split(value, ':');
    // '0:0:0:' : the system writes times with a closing colon.
    if (parts.size() >= 3 && parts.back().empty()) parts.pop_back();
    if (parts.size() < 2 || parts.size() > 3) refuse("time", text, field, kTimeForm);

    vaq::Time time;
    const auto hour = small_number(parts[0], 2);
    const auto minute = small_number(parts[1], 2);
    if (!hour || !minute) refuse("time", text, field, kTimeForm);
    time.hour = *hour;
    time.minute = *minute;
    if (parts.size() == 3) {
        const std::vector<std::string_view> second_parts = split(parts[2], '.');
        const auto second = small_number(second_parts[0], 2);
        if (!second || second_parts.size() > 2) refuse("time", text, field, kTimeForm);
        time.second = *second;
        if (second_parts.size() == 2) {
            const std::string_view fraction = second_parts[1];
            const auto digits = small_number(fraction, 3);
            if (!digits) refuse("time", text, field, "milliseconds take one to three digits");
            time.millisecond = *digits * (fraction.size() == 1   ? 100
                                          : fraction.size() == 2 ? 10
                                                                 : 1);
        }
    }
    if (afternoon) {
        if (time.hour < 1 || time.hour > 12) {
            refuse("time", text, field, "with AM or PM the hour runs from 1 to 12");
        }
        time.hour = (time.hour % 12) + (*afternoon ? 12 : 0);
    }
    if (time.hour > 23)
        refuse("time", text, field, "there is no hour " + std::to_string(time.hour));
    if (time.minute > 59) refuse("time", text, field, "minutes run from 0 to 59");
    if (time.second > 59) refuse("time", text, field, "seconds run from 0 to 59");
    return time;
}

vaq::DateTime parse_timestamp(std::string_view text, std::string_view field) {
    const std::string_view value = vaq::trim_space(text);
    std::size_t blank = 0;
    while (blank < value.size() && !vaq::is_space(value[blank]))
        ++blank;
    // A bad date or time is reported for its own part of the text.
    vaq::DateTime stamp;
    stamp.date = parse_date(value.substr(0, blank), field);
    if (blank < value.size()) stamp.time = parse_time(value.substr(blank), field);
    return stamp;
}

bool parse_boolean(std::string_view text, std::string_view field) {
    const std::string_view value = vaq::trim_space(text);
    for (std::string_view yes : {"true", "t", "yes", "y", "1"}) {
        if (vaq::iequals(value, yes)) return true;
    }
    for (std::string_view no : {"false", "f", "no", "n", "0"}) {
        if (vaq::iequals(value, no)) return false;
    }
    refuse("logical value", text, field, "expected true or false");
}

std::int64_t parse_integer(std::string_view text, std::int64_t min, std::int64_t max,
                           std::string_view field) {
    std::string_view value = vaq::trim_space(text);
    const bool negative = !value.empty() && value.front() == '-';
    if (!value.empty() && (value.front() == '-' || value.front() == '+')) value.remove_prefix(1);
    const std::size_t point = value.find('.');
    const std::string_view whole = value.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : value.substr(point + 1);
    if (!all_digits(whole) || fraction.find_first_not_of('0') != std::string_view::npos) {
        refuse("whole number", text, field, "expected digits, as 42 or -7");
    }
    const std::string range =
        "it must be from " + std::to_string(min) + " to " + std::to_string(max);
    constexpr std::uint64_t kLowestMagnitude = std::uint64_t{1} << 63;  // of INT64_MIN
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(whole.data(), whole.data() + whole.size(), magnitude);
    if (error != std::errc() || magnitude > kLowestMagnitude ||
        (!negative && magnitude == kLowestMagnitude)) {
        refuse("whole number", text, field, range);
    }
    const std::int64_t number =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    if (number < min || number > max) refuse("whole number", text, field, range);
    return number;
}

double parse_float(std::string_view text, std::string_view field) {
    std::string_view value = vaq::trim_space(text);
    if (!value.empty() && value.front() == '+') value.remove_prefix(1);
    // from_chars also reads "inf" and "nan", which are not numbers a user writes.
    const bool plain =
        !value.empty() && value.find_first_not_of("0123456789.eE+-") == std::string_view::npos;
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (!plain || error == std::errc::invalid_argument || end != value.data() + value.size()) {
        refuse("number", text, field, "expected a decimal number, as 1001 or -0.5");
    }
    if (error == std::errc::result_out_of_range || !std::isfinite(number)) {
        refuse("number", text, field, "it is beyond the range of a floating-point number");
    }
    return number;
}

}  // namespace pdx::sql
