#pragma once

// Reading the constants of a statement as the value of a field. Dates are read month first
// ('1/1/2000' is the first of January 2000); times as hours:minutes:seconds, where a
// trailing colon is allowed ('0:0:0:' is midnight). An empty text is not a value: the caller
// empties the field instead. Every refusal is a SqlError naming the field and the text.

#include <cstdint>
#include <string_view>

#include "common/datetime.h"

namespace pdx::sql {

// M/D/Y with '/', '-' or '.' between the parts. A year of one or two digits lies in
// 1969..2068, as in the process date format. A text starting with a four-digit year is read
// year first: 2000-01-31.
vaq::Date parse_date(std::string_view text, std::string_view field = {});

// H:M or H:M:S, optionally S.mmm, optionally a trailing colon, optionally AM or PM.
vaq::Time parse_time(std::string_view text, std::string_view field = {});

// A date, then blanks and a time; a date alone is midnight of that day.
vaq::DateTime parse_timestamp(std::string_view text, std::string_view field = {});

// true, false, t, f, yes, no, y, n, 1, 0; letter case ignored.
bool parse_boolean(std::string_view text, std::string_view field = {});

// A whole number within [min, max]; a decimal point followed only by zeros is allowed.
std::int64_t parse_integer(std::string_view text, std::int64_t min, std::int64_t max,
                           std::string_view field = {});

// A decimal number, optionally with an exponent: 1001, -0.5, 1.5e3.
double parse_float(std::string_view text, std::string_view field = {});

}  // namespace pdx::sql
