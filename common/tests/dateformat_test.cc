#include "common/dateformat.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error.h"

namespace vaq {
namespace {

std::string message_of(void (*fn)()) {
    try {
        fn();
    } catch (const Error& error) {
        return error.what();
    }
    return "no error";
}

// Each test starts from US-like formats and puts the process-wide formats back afterwards.
class DateFormats : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = date_time_formats();
        set_date_time_formats(DateTimeFormats{});
    }
    void TearDown() override { set_date_time_formats(saved_); }

  private:
    DateTimeFormats saved_;
};

TEST_F(DateFormats, WritesDatesWithTheSystemSeparator) {
    const Date date{2004, 10, 5};
    EXPECT_EQ(format_date(date), "10/05/2004");
    set_date_separator('.');
    set_short_date_format("dd/mm/yyyy");
    EXPECT_EQ(format_date(date), "05.10.2004");
    EXPECT_EQ(format_date(date, "d/m/yy"), "5.10.04");
    EXPECT_EQ(format_date(date, "yyyy'/'mm"), "2004/10");  // quoted text is copied as it is
    EXPECT_THROW(format_date(date, "dd mmm yyyy"), Error);
    EXPECT_EQ(format_date({99, 1, 2}, "dd/mm/yyyy"), "02.01.0099");
}

TEST_F(DateFormats, ReadsDatesInTheOrderOfTheShortDateFormat) {
    set_short_date_format("dd/mm/yyyy");
    EXPECT_EQ(parse_date("1/2/2004"), (Date{2004, 2, 1}));
    EXPECT_EQ(parse_date(" 15/10/2004 "), (Date{2004, 10, 15}));
    set_short_date_format("mm/dd/yyyy");
    EXPECT_EQ(parse_date("1/2/2004"), (Date{2004, 1, 2}));
    set_short_date_format("yyyy/mm/dd");
    set_date_separator('-');
    EXPECT_EQ(parse_date("2004-10-15"), (Date{2004, 10, 15}));
    EXPECT_THROW(parse_date("2004/10/15"), Error);  // not the system's separator
}

TEST_F(DateFormats, TwoDigitYearsFallInAHundredYearWindow) {
    EXPECT_EQ(parse_date("1/2/04").year, 2004);
    EXPECT_EQ(parse_date("1/2/68").year, 2068);
    EXPECT_EQ(parse_date("1/2/69").year, 1969);
    EXPECT_EQ(parse_date("1/2/0099").year, 99);
}

TEST_F(DateFormats, RefusesWhatIsNotADate) {
    for (const char* text : {"", " ", "31/02/2004", "32/01/2004", "1/2", "1/2/2004/5", "a/b/c",
                             "1//2004", "001/2/2004", "1/2/20041", "1/2/2004 x"}) {
        set_short_date_format("dd/mm/yyyy");
        try {
            parse_date(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const Error& error) {
            EXPECT_EQ(error.what(), "'" + std::string(text) + "' is not a valid date");
        }
    }
}

TEST_F(DateFormats, ReadsADateWithAnOptionalTimeOfDay) {
    set_short_date_format("dd/mm/yyyy");
    EXPECT_EQ(parse_date_time("15/10/2004"), (DateTime{{2004, 10, 15}, {}}));
    EXPECT_EQ(parse_date_time("15/10/2004 15:33:00"), (DateTime{{2004, 10, 15}, {15, 33, 0, 0}}));
    EXPECT_EQ(parse_date_time("15/10/2004  3:33 PM"), (DateTime{{2004, 10, 15}, {15, 33, 0, 0}}));
    EXPECT_EQ(message_of([] { parse_date_time(""); }), "'' is not a valid date and time");
    EXPECT_EQ(message_of([] { parse_date_time("15/10/200415:33"); }),
              "'15/10/200415:33' is not a valid date and time");
    EXPECT_EQ(message_of([] { parse_date_time("15/10/2004 25:00"); }),
              "'15/10/2004 25:00' is not a valid date and time");
}

TEST_F(DateFormats, ReadsAndWritesTimes) {
    EXPECT_EQ(parse_time("15:33:00"), (Time{15, 33, 0, 0}));
    EXPECT_EQ(parse_time("7:05"), (Time{7, 5, 0, 0}));
    EXPECT_EQ(parse_time("0:0:0.5"), (Time{0, 0, 0, 500}));
    EXPECT_EQ(parse_time("12:00 AM"), (Time{0, 0, 0, 0}));
    EXPECT_EQ(parse_time("12:30 pm"), (Time{12, 30, 0, 0}));
    EXPECT_EQ(parse_time("PM 1:15"), (Time{13, 15, 0, 0}));
    for (const char* bad : {"", "15", "24:00", "12:60", "13:00 PM", "1:2:3:4", "1:00 XM", "1:2.5"})
        EXPECT_THROW(parse_time(bad), Error) << bad;
    EXPECT_EQ(message_of([] { parse_time("25:00"); }), "'25:00' is not a valid time");

    EXPECT_EQ(format_time({9, 5, 7, 0}), "09:05:07");
    set_time_separator('.');
    EXPECT_EQ(format_time({9, 5, 7, 0}), "09.05.07");
    EXPECT_EQ(parse_time("9.05.07"), (Time{9, 5, 7, 0}));
    EXPECT_EQ(format_time({0, 5, 0, 42}, "h:nn:ss.zzz ampm"), "12.05.00.042 AM");
    EXPECT_EQ(format_time({13, 5, 0, 0}, "h:mm ampm"), "1.05 PM");
    EXPECT_EQ(format_date_time({{2004, 10, 15}, {15, 33, 0, 0}}), "10/15/2004 15.33.00");
}

// The AM and PM texts are read where they stand, whether the formats name their own or
// leave them empty for the defaults. Texts longer than a short string live on the heap, where
// a sanitizer build sees any read of a copy that has already gone.
TEST_F(DateFormats, ReadsTheAmPmTextsOfTheFormats) {
    DateTimeFormats formats;
    formats.time_am_string = "Vormittagsstunden";
    formats.time_pm_string = "Nachmittagsstunden";
    set_date_time_formats(formats);
    EXPECT_EQ(parse_time("2:30 Nachmittagsstunden"), (Time{14, 30, 0, 0}));
    EXPECT_EQ(parse_time("vormittagsstunden 12:05"), (Time{0, 5, 0, 0}));
    EXPECT_THROW(parse_time("2:30 PM"), Error);

    formats.time_am_string.clear();
    formats.time_pm_string.clear();
    set_date_time_formats(formats);
    EXPECT_EQ(parse_time("2:30 PM"), (Time{14, 30, 0, 0}));
    EXPECT_EQ(parse_time("AM 12:00"), (Time{0, 0, 0, 0}));
}

TEST_F(DateFormats, SettersRefuseFormatsThatCannotBeRead) {
    EXPECT_THROW(set_short_date_format("dd/mm"), Error);
    EXPECT_THROW(set_short_date_format("dd/mmm/yyyy"), Error);
    EXPECT_THROW(set_short_date_format("dd/mm/yyyy/dd"), Error);
    EXPECT_THROW(set_short_date_format("'dd/mm/yyyy"), Error);
    EXPECT_THROW(set_date_separator('1'), Error);
    EXPECT_THROW(set_date_separator('x'), Error);
    EXPECT_THROW(set_time_separator('\n'), Error);
    DateTimeFormats noMinutes;
    noMinutes.long_time_format = "hh";
    EXPECT_THROW(set_date_time_formats(noMinutes), Error);
    EXPECT_EQ(short_date_format(), "mm/dd/yyyy");  // a refused setting changes nothing
}

// The transaction import reads day first and writes month first, with the system's separator
// standing for the "/" of both formats, and leaves the format changed.
TEST_F(DateFormats, ImportConversionKeepsTheDate) {
    set_date_separator('/');
    set_short_date_format("dd/mm/yyyy");
    const Date date = parse_date_time("1/2/2004").date;
    set_short_date_format("mm/dd/yyyy");
    const std::string text = format_date(date, "mm/dd/yyyy");
    EXPECT_EQ(text, "02/01/2004");
    EXPECT_EQ(parse_date(text), (Date{2004, 2, 1}));
    EXPECT_EQ(format_date(date), "02/01/2004");  // shown month first afterwards

    set_date_separator('-');
    set_short_date_format("dd/mm/yyyy");
    EXPECT_EQ(parse_date_time("1-2-2004").date, (Date{2004, 2, 1}));
    EXPECT_EQ(format_date(date, "mm/dd/yyyy"), "02-01-2004");
}

TEST(SystemFormats, DerivedFromStrftimePatterns) {
    const auto us = formats_from_strftime("%m/%d/%y", "%r", "AM", "PM");
    EXPECT_EQ(us.short_date_format, "mm/dd/yyyy");  // two-digit years widened
    EXPECT_EQ(us.date_separator, '/');
    EXPECT_EQ(us.long_time_format, "hh:nn:ss ampm");
    EXPECT_EQ(us.time_separator, ':');

    const auto german = formats_from_strftime("%d.%m.%Y", "%T", "", "");
    EXPECT_EQ(german.short_date_format, "dd/mm/yyyy");
    EXPECT_EQ(german.date_separator, '.');
    EXPECT_EQ(german.long_time_format, "hh:nn:ss");

    const auto swedish = formats_from_strftime("%Y-%m-%d", "%H.%M.%S");
    EXPECT_EQ(swedish.short_date_format, "yyyy/mm/dd");
    EXPECT_EQ(swedish.date_separator, '-');
    EXPECT_EQ(swedish.time_separator, '.');

    const auto hungarian = formats_from_strftime("%Y. %m. %d.", "%H:%M:%S");
    EXPECT_EQ(hungarian.short_date_format, "yyyy/ mm/ dd/");
    EXPECT_EQ(hungarian.date_separator, '.');
    EXPECT_EQ(parse_date("2004. 10. 15.", hungarian), (Date{2004, 10, 15}));
    EXPECT_EQ(format_date({2004, 10, 15}, hungarian), "2004. 10. 15.");

    EXPECT_EQ(formats_from_strftime("%e/%-m/%Y", "%l:%M %p").short_date_format, "d/m/yyyy");
    EXPECT_EQ(formats_from_strftime("%D", "%R").short_date_format, "mm/dd/yyyy");
    EXPECT_EQ(formats_from_strftime("%F", "%T").date_separator, '-');
    const auto named = formats_from_strftime("%a %d %b %Y", "%T");  // names become numbers
    EXPECT_EQ(named.short_date_format, "dd/mm/yyyy");
    EXPECT_EQ(named.date_separator, ' ');
    EXPECT_EQ(parse_date("15 10 2004", named), (Date{2004, 10, 15}));
}

TEST(SystemFormats, PatternsWithoutANumericDateKeepTheDefault) {
    const DateTimeFormats defaults;
    const auto formats = formats_from_strftime("%Q", "%Q");
    EXPECT_EQ(formats.short_date_format, defaults.short_date_format);
    EXPECT_EQ(formats.long_time_format, defaults.long_time_format);
    // Non-ASCII literal text stays, quoted; the separator falls back to '/'.
    const auto japanese = formats_from_strftime("%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", "%T");
    EXPECT_EQ(japanese.date_separator, '/');
    EXPECT_EQ(format_date({2004, 10, 15}, japanese),
              "2004\xE5\xB9\xB4"
              "10\xE6\x9C\x88"
              "15\xE6\x97\xA5");
}

TEST(SystemFormats, DerivedFromToolkitLocalePatterns) {
    const auto british = formats_from_locale_patterns("dd/MM/yyyy", "HH:mm:ss");
    EXPECT_EQ(british.short_date_format, "dd/mm/yyyy");
    EXPECT_EQ(british.long_time_format, "hh:nn:ss");
    const auto us = formats_from_locale_patterns("M/d/yy", "h:mm:ss AP t");
    EXPECT_EQ(us.short_date_format, "m/d/yyyy");
    EXPECT_EQ(us.long_time_format, "h:nn:ss ampm");
    const auto finnish = formats_from_locale_patterns("d.M.yyyy", "H.mm.ss");
    EXPECT_EQ(finnish.date_separator, '.');
    EXPECT_EQ(finnish.time_separator, '.');
    const auto named = formats_from_locale_patterns("dddd d MMMM yyyy", "HH:mm");
    EXPECT_EQ(named.short_date_format, "d/mm/yyyy");
    EXPECT_EQ(named.date_separator, ' ');
}

TEST(SystemFormats, TheProcessStartsFromTheEnvironmentLocale) {
    // The C locale has "%m/%d/%y" and "%H:%M:%S".
    EXPECT_NO_THROW(validate_date_time_formats(system_date_time_formats()));
}

TEST(IsoForms, RoundTripAndRefuseLooseText) {
    const DateTime moment{{2004, 10, 5}, {7, 8, 9, 10}};
    EXPECT_EQ(iso_date_time(moment), "2004-10-05 07:08:09.010");
    EXPECT_EQ(iso_time({7, 8, 9, 0}), "07:08:09");
    EXPECT_EQ(parse_iso_date_time("2004-10-05 07:08:09.010"), moment);
    EXPECT_EQ(parse_iso_date("0001-01-01"), (Date{1, 1, 1}));
    EXPECT_EQ(parse_iso_time("23:59:59"), (Time{23, 59, 59, 0}));
    for (const char* bad : {"2004-1-05", "2004-02-30", " 2004-10-05", "2004-10-05x"})
        EXPECT_THROW(parse_iso_date(bad), Error) << bad;
    EXPECT_THROW(parse_iso_time("7:08:09"), Error);
    EXPECT_THROW(parse_iso_date_time("2004-10-05T07:08:09"), Error);
}

}  // namespace
}  // namespace vaq
