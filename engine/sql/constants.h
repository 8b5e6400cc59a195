#pragma once

// Reading the constants of a statement as the value of a field. Dates are read month first
// ('1/1/2000' is the first of January 2000); times as hours:minutes:seconds, where a
// trailing colon is allowed ('0:0:0:' is midnight). An empty text is not a value: the caller
// empties the field instead. Every refusal is a SqlError naming the field and the text.

#include <compare>
#include <cstdint>
#include <string_view>

namespace pdx::sql {

struct Date {
    int year = 1;
    int month = 1;
    int day = 1;

    friend auto operator<=>(const Date&, const Date&) = default;
};

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend auto operator<=>(const TimeOfDay&, const TimeOfDay&) = default;
};

struct Timestamp {
    Date date;
    TimeOfDay time;

    friend auto operator<=>(const Timestamp&, const Timestamp&) = default;
};

// M/D/Y with '/', '-' or '.' between the parts. A year of one or two digits is read as
// 2000-2049 (00-49) or 1950-1999 (50-99). A text starting with a four-digit year is read
// year first: 2000-01-31.
Date parse_date(std::string_view text, std::string_view field = {});

// H:M or H:M:S, optionally S.mmm, optionally a trailing colon, optionally AM or PM.
TimeOfDay parse_time(std::string_view text, std::string_view field = {});

// A date, then blanks and a time; a date alone is midnight of that day.
Timestamp parse_timestamp(std::string_view text, std::string_view field = {});

// true, false, t, f, yes, no, y, n, 1, 0; letter case ignored.
bool parse_boolean(std::string_view text, std::string_view field = {});

// A whole number within [min, max]; a decimal point followed only by zeros is allowed.
std::int64_t parse_integer(std::string_view text, std::int64_t min, std::int64_t max,
                           std::string_view field = {});

// A decimal number, optionally with an exponent: 1001, -0.5, 1.5e3.
double parse_float(std::string_view text, std::string_view field = {});

}  // namespace pdx::sql
