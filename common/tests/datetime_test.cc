#include "common/datetime.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace vaq {
namespace {

TEST(Calendar, DayNumbersMatchTheValuesStoredInParadoxFiles) {
    EXPECT_EQ(toDayNumber({1, 1, 1}), 1);
    EXPECT_EQ(toDayNumber({100, 1, 1}), 36160);
    EXPECT_EQ(toDayNumber({1996, 5, 4}), 728783);
    EXPECT_EQ(toDayNumber({2024, 1, 15}), 738900);
    EXPECT_EQ(toDayNumber({1970, 1, 1}), 719163);
    EXPECT_EQ(toDayNumber({9999, 12, 31}), kLastDayNumber);
    EXPECT_EQ(fromDayNumber(738900), (Date{2024, 1, 15}));
}

TEST(Calendar, EveryDayNumberRoundTrips) {
    Date expected{1, 1, 1};
    for (std::int32_t n = kFirstDayNumber; n <= kLastDayNumber; ++n) {
        const Date date = fromDayNumber(n);
        ASSERT_EQ(date, expected) << "day number " << n;
        ASSERT_EQ(toDayNumber(date), n);
        if (++expected.day > daysInMonth(expected.year, expected.month)) {
            expected.day = 1;
            if (++expected.month > 12) {
                expected.month = 1;
                ++expected.year;
            }
        }
    }
}

// Files may hold day numbers and times outside the calendar's range; they still have a date
// and a time of day.
TEST(Calendar, AnyDayNumberRoundTripsAcrossEras) {
    for (std::int32_t day = -800'000; day <= 3'700'000; day += 7) {
        const Date d = fromAnyDayNumber(day);
        ASSERT_EQ(toAnyDayNumber(d.year, d.month, d.day), day) << day;
    }
    EXPECT_EQ(fromAnyDayNumber(738'900), (Date{2024, 1, 15}));
    EXPECT_EQ(toAnyDayNumber(0, 12, 31), 0);
    EXPECT_FALSE(toAnyDayNumber(2023, 2, 29));
    EXPECT_TRUE(toAnyDayNumber(2000, 2, 29));
    EXPECT_FALSE(toAnyDayNumber(1900, 2, 29));
    EXPECT_FALSE(toAnyDayNumber(2024, 13, 1));
}

TEST(Calendar, AnyMillisecondsAreReducedToATimeOfDay) {
    EXPECT_EQ(fromAnyMilliseconds(3'601'000), (Time{1, 0, 1, 0}));
    EXPECT_EQ(fromAnyMilliseconds(86'399'999), (Time{23, 59, 59, 999}));
    EXPECT_EQ(fromAnyMilliseconds(-1), (Time{23, 59, 59, 999}));
    EXPECT_EQ(fromAnyMilliseconds(kMillisecondsPerDay + 1), (Time{0, 0, 0, 1}));
    EXPECT_EQ(millisecondsSinceMidnight({1, 0, 1, 0}), 3'601'000);
}

TEST(Calendar, LeapYearsAndInvalidDates) {
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_TRUE(isLeapYear(2024));
    EXPECT_TRUE(isValidDate(2024, 2, 29));
    EXPECT_FALSE(isValidDate(2023, 2, 29));
    EXPECT_FALSE(isValidDate(2004, 13, 1));
    EXPECT_FALSE(isValidDate(0, 1, 1));
    EXPECT_FALSE(isValidDate(10000, 1, 1));
    EXPECT_THROW(toDayNumber({2023, 2, 29}), Error);
    EXPECT_THROW(fromDayNumber(0), Error);
    EXPECT_THROW(fromDayNumber(kLastDayNumber + 1), Error);
}

TEST(Calendar, TimesAreMillisecondsSinceMidnight) {
    EXPECT_EQ(toMilliseconds({1, 0, 1, 0}), 3601000);
    EXPECT_EQ(toMilliseconds({23, 59, 59, 999}), kMillisecondsPerDay - 1);
    EXPECT_EQ(fromMilliseconds(3601000), (Time{1, 0, 1, 0}));
    EXPECT_THROW(toMilliseconds({24, 0, 0, 0}), Error);
    EXPECT_THROW(fromMilliseconds(-1), Error);
    EXPECT_THROW(fromMilliseconds(kMillisecondsPerDay), Error);
}

TEST(Calendar, TimestampsCountMillisecondsOnTheDayNumberScale) {
    EXPECT_EQ(toTimestamp({{1, 1, 1}, {}}), 86'400'000.0);
    EXPECT_EQ(toTimestamp({{1970, 1, 1}, {}}), 62'135'683'200'000.0);
    const DateTime moment{{2020, 2, 1}, {1, 0, 1, 0}};
    EXPECT_EQ(fromTimestamp(toTimestamp(moment)), moment);
    EXPECT_THROW(fromTimestamp(0.0), Error);
    EXPECT_THROW(fromTimestamp(86'400'000.5), Error);
}

TEST(Calendar, Arithmetic) {
    EXPECT_EQ(addDays({2004, 2, 28}, 1), (Date{2004, 2, 29}));
    EXPECT_EQ(addDays({2004, 3, 1}, -1), (Date{2004, 2, 29}));
    EXPECT_EQ(addDays({2003, 12, 31}, 366), (Date{2004, 12, 31}));
    EXPECT_EQ(daysBetween({2004, 1, 1}, {2005, 1, 1}), 366);
    EXPECT_THROW(addDays({9999, 12, 31}, 1), Error);
    EXPECT_THROW(addDays({1, 1, 1}, -1), Error);
    EXPECT_EQ(isoWeekday({2004, 10, 15}), 5);  // a Friday
    EXPECT_EQ(isoWeekday({2024, 1, 14}), 7);   // a Sunday
}

}  // namespace
}  // namespace vaq
