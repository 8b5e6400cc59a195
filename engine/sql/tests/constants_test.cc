#include "engine/sql/constants.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/sql/sql_error.h"

namespace pdx::sql {
namespace {

template <typename Call>
std::string error_of(Call call) {
    try {
        call();
    } catch (const SqlError& error) {
        return error.what();
    }
    return "no error";
}

TEST(DateConstant, ReadsMonthFirst) {
    EXPECT_EQ(parse_date("1/1/2000"), (vaq::Date{2000, 1, 1}));
    EXPECT_EQ(parse_date("1/31/2000"), (vaq::Date{2000, 1, 31}));
    EXPECT_EQ(parse_date("12/1/1999"), (vaq::Date{1999, 12, 1}));
    EXPECT_EQ(parse_date(" 02-03-2004 "), (vaq::Date{2004, 2, 3}));
    EXPECT_EQ(parse_date("2.3.2004"), (vaq::Date{2004, 2, 3}));
    EXPECT_EQ(parse_date("2/29/2000"), (vaq::Date{2000, 2, 29}));
    EXPECT_EQ(parse_date("12/31/9999"), (vaq::Date{9999, 12, 31}));
}

TEST(DateConstant, TwoDigitYearsFallIn1969To2068AndFourDigitYearFirstIsIso) {
    EXPECT_EQ(parse_date("1/1/00"), (vaq::Date{2000, 1, 1}));
    EXPECT_EQ(parse_date("1/1/68"), (vaq::Date{2068, 1, 1}));
    EXPECT_EQ(parse_date("1/1/69"), (vaq::Date{1969, 1, 1}));
    EXPECT_EQ(parse_date("1/1/99"), (vaq::Date{1999, 1, 1}));
    EXPECT_EQ(parse_date("1/1/5"), (vaq::Date{2005, 1, 1}));
    EXPECT_EQ(parse_date("2000-01-31"), (vaq::Date{2000, 1, 31}));
    EXPECT_EQ(parse_date("2024/2/29"), (vaq::Date{2024, 2, 29}));
}

TEST(DateConstant, RefusesWhatIsNoDateNamingFieldTextAndReason) {
    EXPECT_EQ(error_of([] { parse_date("13/1/2000", "WinterTriggerDate"); }),
              "Not a valid date for field WinterTriggerDate: '13/1/2000' (there is no month 13; "
              "dates are written month first, as 1/31/2000)");
    EXPECT_EQ(error_of([] { parse_date("2/29/2001"); }),
              "Not a valid date: '2/29/2001' (February 2001 has no day 29)");
    EXPECT_EQ(error_of([] { parse_date("2/29/1900"); }),
              "Not a valid date: '2/29/1900' (February 1900 has no day 29)");
    EXPECT_EQ(error_of([] { parse_date("4/31/2000"); }),
              "Not a valid date: '4/31/2000' (April 2000 has no day 31)");
    EXPECT_EQ(error_of([] { parse_date("1/0/2000"); }),
              "Not a valid date: '1/0/2000' (January 2000 has no day 0)");
    EXPECT_EQ(error_of([] { parse_date("1/1/0000"); }),
              "Not a valid date: '1/1/0000' (there is no year 0)");
    EXPECT_EQ(error_of([] { parse_date("0000-01-01"); }),
              "Not a valid date: '0000-01-01' (there is no year 0)");
    EXPECT_EQ(error_of([] { parse_date("2000-1"); }),
              "Not a valid date: '2000-1' (dates are written month first, as 1/31/2000)");
    EXPECT_EQ(error_of([] { parse_date("2000-01-xx"); }),
              "Not a valid date: '2000-01-xx' (expected year-month-day, as 2000-01-31)");
    for (const char* text : {"", "1/1", "1/1/2000/1", "a/b/c", "1/1/20000", "123/1/2000", "1//2000",
                             "1/1/-5", "1 / 1 / 2000", "1/1-2000"}) {
        EXPECT_NE(error_of([text] { parse_date(text); }).find("Not a valid date"),
                  std::string::npos)
            << text;
    }
}

TEST(TimeConstant, ReadsHoursMinutesSecondsWithTrailingColonAndFraction) {
    EXPECT_EQ(parse_time("0:0:0:"), vaq::Time{});
    EXPECT_EQ(parse_time("0:0:0"), vaq::Time{});
    EXPECT_EQ(parse_time("09:00:00"), (vaq::Time{9, 0, 0, 0}));
    EXPECT_EQ(parse_time("23:59:59"), (vaq::Time{23, 59, 59, 0}));
    EXPECT_EQ(parse_time("7:05"), (vaq::Time{7, 5, 0, 0}));
    EXPECT_EQ(parse_time("7:05:"), (vaq::Time{7, 5, 0, 0}));
    EXPECT_EQ(parse_time("10:20:30.5"), (vaq::Time{10, 20, 30, 500}));
    EXPECT_EQ(parse_time("10:20:30.25"), (vaq::Time{10, 20, 30, 250}));
    EXPECT_EQ(parse_time("10:20:30.125"), (vaq::Time{10, 20, 30, 125}));
    EXPECT_EQ(parse_time(" 12:00 AM "), (vaq::Time{0, 0, 0, 0}));
    EXPECT_EQ(parse_time("12:30:00 pm"), (vaq::Time{12, 30, 0, 0}));
    EXPECT_EQ(parse_time("1:15PM"), (vaq::Time{13, 15, 0, 0}));
}

TEST(TimeConstant, RefusesWhatIsNoTime) {
    EXPECT_EQ(error_of([] { parse_time("24:00:00", "WorkingHourStart"); }),
              "Not a valid time for field WorkingHourStart: '24:00:00' (there is no hour 24)");
    EXPECT_EQ(error_of([] { parse_time("9:60"); }),
              "Not a valid time: '9:60' (minutes run from 0 to 59)");
    EXPECT_EQ(error_of([] { parse_time("9:00:61"); }),
              "Not a valid time: '9:00:61' (seconds run from 0 to 59)");
    EXPECT_EQ(error_of([] { parse_time("13:00 PM"); }),
              "Not a valid time: '13:00 PM' (with AM or PM the hour runs from 1 to 12)");
    EXPECT_EQ(error_of([] { parse_time("9:00:00.1234"); }),
              "Not a valid time: '9:00:00.1234' (milliseconds take one to three digits)");
    EXPECT_EQ(error_of([] { parse_time("9"); }),
              "Not a valid time: '9' (times are written hours:minutes:seconds, as 9:30:00)");
    for (const char* text : {"", ":", "9:", "9::", "0:0:0::", "1:2:3:4", "a:b", "-1:00", "9:0 0",
                             "123:00", "9:00:00.", "9.5:00"}) {
        EXPECT_NE(error_of([text] { parse_time(text); }).find("Not a valid time"),
                  std::string::npos)
            << text;
    }
}

TEST(TimestampConstant, DateAndTimeOrDateAlone) {
    EXPECT_EQ(parse_timestamp("1/31/2000 13:45:10"),
              (vaq::DateTime{{2000, 1, 31}, {13, 45, 10, 0}}));
    EXPECT_EQ(parse_timestamp("1/31/2000\t1:45:10 PM"),
              (vaq::DateTime{{2000, 1, 31}, {13, 45, 10, 0}}));
    EXPECT_EQ(parse_timestamp("2000-01-31"), (vaq::DateTime{{2000, 1, 31}, {}}));
    EXPECT_EQ(error_of([] { parse_timestamp("1/31/2000 25:00", "DT"); }),
              "Not a valid time for field DT: ' 25:00' (there is no hour 25)");
    EXPECT_EQ(error_of([] { parse_timestamp("31/1/2000 10:00", "DT"); }),
              "Not a valid date for field DT: '31/1/2000' (there is no month 31; dates are "
              "written month first, as 1/31/2000)");
}

TEST(BooleanConstant, ReadsTheUsualWordsIgnoringCase) {
    for (const char* text : {"true", "TRUE", "True", "t", "yes", "Y", "1", " true "}) {
        EXPECT_TRUE(parse_boolean(text)) << text;
    }
    for (const char* text : {"false", "FALSE", "f", "no", "N", "0"}) {
        EXPECT_FALSE(parse_boolean(text)) << text;
    }
    EXPECT_EQ(error_of([] { parse_boolean("maybe", "IsSupportEMCard"); }),
              "Not a valid logical value for field IsSupportEMCard: 'maybe' (expected true or "
              "false)");
    EXPECT_NE(error_of([] { parse_boolean(""); }), "no error");
    EXPECT_NE(error_of([] { parse_boolean("2"); }), "no error");
}

TEST(IntegerConstant, ReadsWholeNumbersWithinTheFieldRange) {
    EXPECT_EQ(parse_integer("0", -32768, 32767), 0);
    EXPECT_EQ(parse_integer(" -32768 ", -32768, 32767), -32768);
    EXPECT_EQ(parse_integer("+32767", -32768, 32767), 32767);
    EXPECT_EQ(parse_integer("1001.000", 0, 2000), 1001);
    EXPECT_EQ(parse_integer("-9223372036854775808", INT64_MIN, INT64_MAX), INT64_MIN);
    EXPECT_EQ(parse_integer("9223372036854775807", INT64_MIN, INT64_MAX), INT64_MAX);
    EXPECT_EQ(error_of([] { parse_integer("32768", -32768, 32767, "ConnectMethod"); }),
              "Not a valid whole number for field ConnectMethod: '32768' (it must be from -32768 "
              "to 32767)");
    EXPECT_EQ(error_of([] { parse_integer("1.5", -10, 10); }),
              "Not a valid whole number: '1.5' (expected digits, as 42 or -7)");
    EXPECT_NE(error_of([] { parse_integer("9223372036854775808", INT64_MIN, INT64_MAX); }),
              "no error");
    EXPECT_NE(error_of([] { parse_integer("99999999999999999999", INT64_MIN, INT64_MAX); }),
              "no error");
    for (const char* text : {"", "-", "abc", "1e3", "0x10", "1 2", "--1", "."}) {
        EXPECT_NE(error_of([text] { parse_integer(text, INT64_MIN, INT64_MAX); }), "no error")
            << text;
    }
}

TEST(FloatConstant, ReadsDecimalsAndExponents) {
    EXPECT_EQ(parse_float("1001"), 1001.0);
    EXPECT_EQ(parse_float("-0.5"), -0.5);
    EXPECT_EQ(parse_float("+.25"), 0.25);
    EXPECT_EQ(parse_float("1.5e3"), 1500.0);
    EXPECT_EQ(parse_float(" 0.1 "), 0.1);
    EXPECT_EQ(error_of([] { parse_float("12abc", "UDP_PORT"); }),
              "Not a valid number for field UDP_PORT: '12abc' (expected a decimal number, as "
              "1001 or -0.5)");
    EXPECT_EQ(error_of([] { parse_float("1e999"); }),
              "Not a valid number: '1e999' (it is beyond the range of a floating-point number)");
    for (const char* text : {"", "inf", "nan", "-", "1,5", "1.2.3"}) {
        EXPECT_NE(error_of([text] { parse_float(text); }), "no error") << text;
    }
}

}  // namespace
}  // namespace pdx::sql
