#pragma once

#include <string>
#include <string_view>

#include "common/datetime.h"

namespace vaq {

// How dates and times are written as text.
//
// A date format is made of the fields d (day), dd (two-digit day), m, mm (month), yy
// (two-digit year) and yyyy (four-digit year), letters of any case; a '/' stands for the date
// separator; any other character, or text in single or double quotes, is copied as it is.
// A time format is made of h, hh (hour), n, nn (minute; m and mm mean the minute too),
// s, ss (second), z, zzz (millisecond) and ampm (the AM or PM text, which makes the hours
// run 1 to 12); a ':' stands for the time separator.
struct DateTimeFormats {
    std::string short_date_format = "mm/dd/yyyy";
    char date_separator = '/';
    std::string long_time_format = "hh:nn:ss";
    char time_separator = ':';
    std::string time_am_string = "AM";
    std::string time_pm_string = "PM";

    friend bool operator==(const DateTimeFormats&, const DateTimeFormats&) = default;
};

// Throws vaq::Error naming what is wrong: a date format needs one day, one month and one
// year field; separators must be printable ASCII characters other than digits and letters.
void validate_date_time_formats(const DateTimeFormats& formats);

// The formats of the system's regional settings, from the C library's LC_TIME locale of the
// environment (LC_ALL, LC_TIME, LANG). Two-digit years are widened to four digits, so that a
// date written as text reads back as the same date.
DateTimeFormats system_date_time_formats();

// The same derivation from strftime patterns such as "%d.%m.%Y" and "%H:%M:%S". Patterns
// that give no usable date or time format leave the default of DateTimeFormats in place.
DateTimeFormats formats_from_strftime(std::string_view datePattern, std::string_view timePattern,
                                      std::string_view amText = "AM",
                                      std::string_view pmText = "PM");

// The same derivation from locale patterns of the kind "dd/MM/yyyy" and "HH:mm:ss" (M for
// month, m for minute, AP for the AM/PM text), as user-interface toolkits report them.
DateTimeFormats formats_from_locale_patterns(std::string_view datePattern,
                                             std::string_view timePattern,
                                             std::string_view amText = "AM",
                                             std::string_view pmText = "PM");

// The process-wide formats. They start from system_date_time_formats() on first use; the
// program may replace them at start, and the transaction import changes the short date
// format and leaves it changed. Every setter validates and throws vaq::Error.
DateTimeFormats date_time_formats();
void set_date_time_formats(const DateTimeFormats& formats);
void reset_date_time_formats_to_system();
std::string short_date_format();
void set_short_date_format(std::string_view format);
char date_separator();
void set_date_separator(char separator);
char time_separator();
void set_time_separator(char separator);

// Dates and times as text under the process-wide formats, or under a given format with the
// process-wide separators; a given format may leave fields out ("mm/yyyy"). A format with
// a day or month name field or an unclosed quote throws vaq::Error.
std::string format_date(const Date& date);
std::string format_date(const Date& date, std::string_view format);
std::string format_time(const Time& time);
std::string format_time(const Time& time, std::string_view format);
// The short date, a blank and the long time.
std::string format_date_time(const DateTime& moment);

// Text to dates and times. A date is three numbers separated by the date separator, in the
// order of day, month and year in the short date format; a year of one or two digits lies
// in 1969..2068. A time is hours and minutes, optionally seconds and milliseconds after a
// '.', separated by the time separator, optionally followed by the AM or PM text. Blanks
// around the text are allowed. Failures throw vaq::Error:
//   "'31/02/2004' is not a valid date", "'25:00' is not a valid time",
//   "'x' is not a valid date and time".
Date parse_date(std::string_view text);
Time parse_time(std::string_view text);
// A date, optionally followed by blanks and a time.
DateTime parse_date_time(std::string_view text);

Date parse_date(std::string_view text, const DateTimeFormats& formats);
Time parse_time(std::string_view text, const DateTimeFormats& formats);
DateTime parse_date_time(std::string_view text, const DateTimeFormats& formats);
std::string format_date(const Date& date, const DateTimeFormats& formats);
std::string format_time(const Time& time, const DateTimeFormats& formats);

// Fixed forms independent of any locale, for exchange files: YYYY-MM-DD, HH:MM:SS with
// .mmm when the milliseconds are not zero, and both joined by a blank.
std::string iso_date(const Date& date);
std::string iso_time(const Time& time);
std::string iso_date_time(const DateTime& moment);
Date parse_iso_date(std::string_view text);
Time parse_iso_time(std::string_view text);
DateTime parse_iso_date_time(std::string_view text);

}  // namespace vaq
