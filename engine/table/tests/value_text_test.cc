// The text forms of dates and times, written digit by digit, read as printf writes them for
// every value a field can hold, damaged ones included: years beyond four digits or before
// year 1, hours beyond a day, negative parts.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/table/value.h"

namespace pdx {
namespace {

std::string printed_date(const CivilDate& d) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buffer;
}

TEST(ValueText, DatesReadAsPrintfWritesThem) {
    for (const CivilDate d :
         {CivilDate{2024, 2, 29}, CivilDate{1, 1, 1}, CivilDate{999, 12, 31}, CivilDate{-1, 12, 31},
          CivilDate{-12345, 1, 9}, CivilDate{12345, 10, 1}, CivilDate{0, 0, 0}})
        EXPECT_EQ(format_date(d), printed_date(d));
}

TEST(ValueText, TimesShowMillisecondsOnlyWhenThereAreSome) {
    EXPECT_EQ(format_time(0), "00:00:00");
    EXPECT_EQ(format_time(((23 * 60 + 59) * 60 + 59) * 1000 + 7), "23:59:59.007");
    EXPECT_EQ(format_time(9 * 3'600'000 + 120), "09:00:00.120");
}

TEST(ValueText, TimestampsJoinDateAndTimeAndShowHugeNumbersAsTheyStand) {
    // Day 730'000 counts from 1 January of year 1, day 1.
    const double day = 730'000.0 * 86'400'000.0;
    EXPECT_EQ(format_timestamp(day + 3'600'000.0),
              format_date(civil_from_day_number(730'000)) + " 01:00:00");
    EXPECT_EQ(format_timestamp(1e300), format_double(1e300));
    std::string appended = "x";
    append_timestamp(appended, day);
    EXPECT_EQ(appended, "x" + format_timestamp(day));
}

}  // namespace
}  // namespace pdx
