#include "common/dateformat.h"

#include <gtest/gtest.h>

#include <string>

#include "common/error.h"

namespace vaq {
namespace {

std::string messageOf(void (*fn)()) {
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
        saved_ = dateTimeFormats();
        setDateTimeFormats(DateTimeFormats{});
    }
    void TearDown() override { setDateTimeFormats(saved_); }

  private:
    DateTimeFormats saved_;
};

TEST_F(DateFormats, WritesDatesWithTheSystemSeparator) {
    const Date date{2004, 10, 5};
    EXPECT_EQ(formatDate(date), "10/05/2004");
    setDateSeparator('.');
    setShortDateFormat("dd/mm/yyyy");
    EXPECT_EQ(formatDate(date), "05.10.2004");
    EXPECT_EQ(formatDate(date, "d/m/yy"), "5.10.04");
    EXPECT_EQ(formatDate(date, "yyyy'/'mm"), "2004/10");  // quoted text is copied as it is
    EXPECT_THROW(formatDate(date, "dd mmm yyyy"), Error);
    EXPECT_EQ(formatDate({99, 1, 2}, "dd/mm/yyyy"), "02.01.0099");
}

TEST_F(DateFormats, ReadsDatesInTheOrderOfTheShortDateFormat) {
    setShortDateFormat("dd/mm/yyyy");
    EXPECT_EQ(parseDate("1/2/2004"), (Date{2004, 2, 1}));
    EXPECT_EQ(parseDate(" 15/10/2004 "), (Date{2004, 10, 15}));
    setShortDateFormat("mm/dd/yyyy");
    EXPECT_EQ(parseDate("1/2/2004"), (Date{2004, 1, 2}));
    setShortDateFormat("yyyy/mm/dd");
    setDateSeparator('-');
    EXPECT_EQ(parseDate("2004-10-15"), (Date{2004, 10, 15}));
    EXPECT_THROW(parseDate("2004/10/15"), Error);  // not the system's separator
}

TEST_F(DateFormats, TwoDigitYearsFallInAHundredYearWindow) {
    EXPECT_EQ(parseDate("1/2/04").year, 2004);
    EXPECT_EQ(parseDate("1/2/68").year, 2068);
    EXPECT_EQ(parseDate("1/2/69").year, 1969);
    EXPECT_EQ(parseDate("1/2/0099").year, 99);
}

TEST_F(DateFormats, RefusesWhatIsNotADate) {
    for (const char* text : {"", " ", "31/02/2004", "32/01/2004", "1/2", "1/2/2004/5", "a/b/c",
                             "1//2004", "001/2/2004", "1/2/20041", "1/2/2004 x"}) {
        setShortDateFormat("dd/mm/yyyy");
        try {
            parseDate(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const Error& error) {
            EXPECT_EQ(error.what(), "'" + std::string(text) + "' is not a valid date");
        }
    }
}

TEST_F(DateFormats, ReadsADateWithAnOptionalTimeOfDay) {
    setShortDateFormat("dd/mm/yyyy");
    EXPECT_EQ(parseDateTime("15/10/2004"), (DateTime{{2004, 10, 15}, {}}));
    EXPECT_EQ(parseDateTime("15/10/2004 15:33:00"), (DateTime{{2004, 10, 15}, {15, 33, 0, 0}}));
    EXPECT_EQ(parseDateTime("15/10/2004  3:33 PM"), (DateTime{{2004, 10, 15}, {15, 33, 0, 0}}));
    EXPECT_EQ(messageOf([] { parseDateTime(""); }), "'' is not a valid date and time");
    EXPECT_EQ(messageOf([] { parseDateTime("15/10/200415:33"); }),
              "'15/10/200415:33' is not a valid date and time");
    EXPECT_EQ(messageOf([] { parseDateTime("15/10/2004 25:00"); }),
              "'15/10/2004 25:00' is not a valid date and time");
}

TEST_F(DateFormats, ReadsAndWritesTimes) {
    EXPECT_EQ(parseTime("15:33:00"), (Time{15, 33, 0, 0}));
    EXPECT_EQ(parseTime("7:05"), (Time{7, 5, 0, 0}));
    EXPECT_EQ(parseTime("0:0:0.5"), (Time{0, 0, 0, 500}));
    EXPECT_EQ(parseTime("12:00 AM"), (Time{0, 0, 0, 0}));
    EXPECT_EQ(parseTime("12:30 pm"), (Time{12, 30, 0, 0}));
    EXPECT_EQ(parseTime("PM 1:15"), (Time{13, 15, 0, 0}));
    for (const char* bad : {"", "15", "24:00", "12:60", "13:00 PM", "1:2:3:4", "1:00 XM", "1:2.5"})
        EXPECT_THROW(parseTime(bad), Error) << bad;
    EXPECT_EQ(messageOf([] { parseTime("25:00"); }), "'25:00' is not a valid time");

    EXPECT_EQ(formatTime({9, 5, 7, 0}), "09:05:07");
    setTimeSeparator('.');
    EXPECT_EQ(formatTime({9, 5, 7, 0}), "09.05.07");
    EXPECT_EQ(parseTime("9.05.07"), (Time{9, 5, 7, 0}));
    EXPECT_EQ(formatTime({0, 5, 0, 42}, "h:nn:ss.zzz ampm"), "12.05.00.042 AM");
    EXPECT_EQ(formatTime({13, 5, 0, 0}, "h:mm ampm"), "1.05 PM");
    EXPECT_EQ(formatDateTime({{2004, 10, 15}, {15, 33, 0, 0}}), "10/15/2004 15.33.00");
}

// The AM and PM texts are read where they stand, whether the formats name their own or
// leave them empty for the defaults. Texts longer than a short string live on the heap, where
// a sanitizer build sees any read of a copy that has already gone.
TEST_F(DateFormats, ReadsTheAmPmTextsOfTheFormats) {
    DateTimeFormats formats;
    formats.timeAmString = "Vormittagsstunden";
    formats.timePmString = "Nachmittagsstunden";
    setDateTimeFormats(formats);
    EXPECT_EQ(parseTime("2:30 Nachmittagsstunden"), (Time{14, 30, 0, 0}));
    EXPECT_EQ(parseTime("vormittagsstunden 12:05"), (Time{0, 5, 0, 0}));
    EXPECT_THROW(parseTime("2:30 PM"), Error);

    formats.timeAmString.clear();
    formats.timePmString.clear();
    setDateTimeFormats(formats);
    EXPECT_EQ(parseTime("2:30 PM"), (Time{14, 30, 0, 0}));
    EXPECT_EQ(parseTime("AM 12:00"), (Time{0, 0, 0, 0}));
}

TEST_F(DateFormats, SettersRefuseFormatsThatCannotBeRead) {
    EXPECT_THROW(setShortDateFormat("dd/mm"), Error);
    EXPECT_THROW(setShortDateFormat("dd/mmm/yyyy"), Error);
    EXPECT_THROW(setShortDateFormat("dd/mm/yyyy/dd"), Error);
    EXPECT_THROW(setShortDateFormat("'dd/mm/yyyy"), Error);
    EXPECT_THROW(setDateSeparator('1'), Error);
    EXPECT_THROW(setDateSeparator('x'), Error);
    EXPECT_THROW(setTimeSeparator('\n'), Error);
    DateTimeFormats noMinutes;
    noMinutes.longTimeFormat = "hh";
    EXPECT_THROW(setDateTimeFormats(noMinutes), Error);
    EXPECT_EQ(shortDateFormat(), "mm/dd/yyyy");  // a refused setting changes nothing
}

// The transaction import reads day first and writes month first, with the system's separator
// standing for the "/" of both formats, and leaves the format changed.
TEST_F(DateFormats, ImportConversionKeepsTheDate) {
    setDateSeparator('/');
    setShortDateFormat("dd/mm/yyyy");
    const Date date = parseDateTime("1/2/2004").date;
    setShortDateFormat("mm/dd/yyyy");
    const std::string text = formatDate(date, "mm/dd/yyyy");
    EXPECT_EQ(text, "02/01/2004");
    EXPECT_EQ(parseDate(text), (Date{2004, 2, 1}));
    EXPECT_EQ(formatDate(date), "02/01/2004");  // shown month first afterwards

    setDateSeparator('-');
    setShortDateFormat("dd/mm/yyyy");
    EXPECT_EQ(parseDateTime("1-2-2004").date, (Date{2004, 2, 1}));
    EXPECT_EQ(formatDate(date, "mm/dd/yyyy"), "02-01-2004");
}

TEST(SystemFormats, DerivedFromStrftimePatterns) {
    const auto us = formatsFromStrftime("%m/%d/%y", "%r", "AM", "PM");
    EXPECT_EQ(us.shortDateFormat, "mm/dd/yyyy");  // two-digit years widened
    EXPECT_EQ(us.dateSeparator, '/');
    EXPECT_EQ(us.longTimeFormat, "hh:nn:ss ampm");
    EXPECT_EQ(us.timeSeparator, ':');

    const auto german = formatsFromStrftime("%d.%m.%Y", "%T", "", "");
    EXPECT_EQ(german.shortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(german.dateSeparator, '.');
    EXPECT_EQ(german.longTimeFormat, "hh:nn:ss");

    const auto swedish = formatsFromStrftime("%Y-%m-%d", "%H.%M.%S");
    EXPECT_EQ(swedish.shortDateFormat, "yyyy/mm/dd");
    EXPECT_EQ(swedish.dateSeparator, '-');
    EXPECT_EQ(swedish.timeSeparator, '.');

    const auto hungarian = formatsFromStrftime("%Y. %m. %d.", "%H:%M:%S");
    EXPECT_EQ(hungarian.shortDateFormat, "yyyy/ mm/ dd/");
    EXPECT_EQ(hungarian.dateSeparator, '.');
    EXPECT_EQ(parseDate("2004. 10. 15.", hungarian), (Date{2004, 10, 15}));
    EXPECT_EQ(formatDate({2004, 10, 15}, hungarian), "2004. 10. 15.");

    EXPECT_EQ(formatsFromStrftime("%e/%-m/%Y", "%l:%M %p").shortDateFormat, "d/m/yyyy");
    EXPECT_EQ(formatsFromStrftime("%D", "%R").shortDateFormat, "mm/dd/yyyy");
    EXPECT_EQ(formatsFromStrftime("%F", "%T").dateSeparator, '-');
    const auto named = formatsFromStrftime("%a %d %b %Y", "%T");  // names become numbers
    EXPECT_EQ(named.shortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(named.dateSeparator, ' ');
    EXPECT_EQ(parseDate("15 10 2004", named), (Date{2004, 10, 15}));
}

TEST(SystemFormats, PatternsWithoutANumericDateKeepTheDefault) {
    const DateTimeFormats defaults;
    const auto formats = formatsFromStrftime("%Q", "%Q");
    EXPECT_EQ(formats.shortDateFormat, defaults.shortDateFormat);
    EXPECT_EQ(formats.longTimeFormat, defaults.longTimeFormat);
    // Non-ASCII literal text stays, quoted; the separator falls back to '/'.
    const auto japanese = formatsFromStrftime("%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", "%T");
    EXPECT_EQ(japanese.dateSeparator, '/');
    EXPECT_EQ(formatDate({2004, 10, 15}, japanese),
              "2004\xE5\xB9\xB4"
              "10\xE6\x9C\x88"
              "15\xE6\x97\xA5");
}

TEST(SystemFormats, DerivedFromToolkitLocalePatterns) {
    const auto british = formatsFromLocalePatterns("dd/MM/yyyy", "HH:mm:ss");
    EXPECT_EQ(british.shortDateFormat, "dd/mm/yyyy");
    EXPECT_EQ(british.longTimeFormat, "hh:nn:ss");
    const auto us = formatsFromLocalePatterns("M/d/yy", "h:mm:ss AP t");
    EXPECT_EQ(us.shortDateFormat, "m/d/yyyy");
    EXPECT_EQ(us.longTimeFormat, "h:nn:ss ampm");
    const auto finnish = formatsFromLocalePatterns("d.M.yyyy", "H.mm.ss");
    EXPECT_EQ(finnish.dateSeparator, '.');
    EXPECT_EQ(finnish.timeSeparator, '.');
    const auto named = formatsFromLocalePatterns("dddd d MMMM yyyy", "HH:mm");
    EXPECT_EQ(named.shortDateFormat, "d/mm/yyyy");
    EXPECT_EQ(named.dateSeparator, ' ');
}

TEST(SystemFormats, TheProcessStartsFromTheEnvironmentLocale) {
    // The C locale has "%m/%d/%y" and "%H:%M:%S".
    EXPECT_NO_THROW(validateDateTimeFormats(systemDateTimeFormats()));
}

TEST(IsoForms, RoundTripAndRefuseLooseText) {
    const DateTime moment{{2004, 10, 5}, {7, 8, 9, 10}};
    EXPECT_EQ(isoDateTime(moment), "2004-10-05 07:08:09.010");
    EXPECT_EQ(isoTime({7, 8, 9, 0}), "07:08:09");
    EXPECT_EQ(parseIsoDateTime("2004-10-05 07:08:09.010"), moment);
    EXPECT_EQ(parseIsoDate("0001-01-01"), (Date{1, 1, 1}));
    EXPECT_EQ(parseIsoTime("23:59:59"), (Time{23, 59, 59, 0}));
    for (const char* bad : {"2004-1-05", "2004-02-30", " 2004-10-05", "2004-10-05x"})
        EXPECT_THROW(parseIsoDate(bad), Error) << bad;
    EXPECT_THROW(parseIsoTime("7:08:09"), Error);
    EXPECT_THROW(parseIsoDateTime("2004-10-05T07:08:09"), Error);
}

}  // namespace
}  // namespace vaq
