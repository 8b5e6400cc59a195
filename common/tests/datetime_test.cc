#include "common/datetime.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace vaq {
namespace {

TEST(Calendar, DayNumbersMatchTheValuesStoredInParadoxFiles) {
    EXPECT_EQ(to_day_number({1, 1, 1}), 1);
    EXPECT_EQ(to_day_number({100, 1, 1}), 36160);
    EXPECT_EQ(to_day_number({1996, 5, 4}), 728783);
    EXPECT_EQ(to_day_number({2024, 1, 15}), 738900);
    EXPECT_EQ(to_day_number({1970, 1, 1}), 719163);
    EXPECT_EQ(to_day_number({9999, 12, 31}), kLastDayNumber);
    EXPECT_EQ(from_day_number(738900), (Date{2024, 1, 15}));
}

TEST(Calendar, EveryDayNumberRoundTrips) {
    Date expected{1, 1, 1};
    for (std::int32_t n = kFirstDayNumber; n <= kLastDayNumber; ++n) {
        const Date date = from_day_number(n);
        ASSERT_EQ(date, expected) << "day number " << n;
        ASSERT_EQ(to_day_number(date), n);
        if (++expected.day > days_in_month(expected.year, expected.month)) {
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
        const Date d = from_any_day_number(day);
        ASSERT_EQ(to_any_day_number(d.year, d.month, d.day), day) << day;
    }
    EXPECT_EQ(from_any_day_number(738'900), (Date{2024, 1, 15}));
    EXPECT_EQ(to_any_day_number(0, 12, 31), 0);
    EXPECT_FALSE(to_any_day_number(2023, 2, 29));
    EXPECT_TRUE(to_any_day_number(2000, 2, 29));
    EXPECT_FALSE(to_any_day_number(1900, 2, 29));
    EXPECT_FALSE(to_any_day_number(2024, 13, 1));
}

TEST(Calendar, AnyMillisecondsAreReducedToATimeOfDay) {
    EXPECT_EQ(from_any_milliseconds(3'601'000), (Time{1, 0, 1, 0}));
    EXPECT_EQ(from_any_milliseconds(86'399'999), (Time{23, 59, 59, 999}));
    EXPECT_EQ(from_any_milliseconds(-1), (Time{23, 59, 59, 999}));
    EXPECT_EQ(from_any_milliseconds(kMillisecondsPerDay + 1), (Time{0, 0, 0, 1}));
    EXPECT_EQ(milliseconds_since_midnight({1, 0, 1, 0}), 3'601'000);
}

TEST(Calendar, LeapYearsAndInvalidDates) {
    EXPECT_TRUE(is_leap_year(2000));
    EXPECT_FALSE(is_leap_year(1900));
    EXPECT_TRUE(is_leap_year(2024));
    EXPECT_TRUE(is_valid_date(2024, 2, 29));
    EXPECT_FALSE(is_valid_date(2023, 2, 29));
    EXPECT_FALSE(is_valid_date(2004, 13, 1));
    EXPECT_FALSE(is_valid_date(0, 1, 1));
    EXPECT_FALSE(is_valid_date(10000, 1, 1));
    EXPECT_THROW(to_day_number({2023, 2, 29}), Error);
    EXPECT_THROW(from_day_number(0), Error);
    EXPECT_THROW(from_day_number(kLastDayNumber + 1), Error);
}

TEST(Calendar, TimesAreMillisecondsSinceMidnight) {
    EXPECT_EQ(to_milliseconds({1, 0, 1, 0}), 3601000);
    EXPECT_EQ(to_milliseconds({23, 59, 59, 999}), kMillisecondsPerDay - 1);
    EXPECT_EQ(from_milliseconds(3601000), (Time{1, 0, 1, 0}));
    EXPECT_THROW(to_milliseconds({24, 0, 0, 0}), Error);
    EXPECT_THROW(from_milliseconds(-1), Error);
    EXPECT_THROW(from_milliseconds(kMillisecondsPerDay), Error);
}

TEST(Calendar, TimestampsCountMillisecondsOnTheDayNumberScale) {
    EXPECT_EQ(to_timestamp({{1, 1, 1}, {}}), 86'400'000.0);
    EXPECT_EQ(to_timestamp({{1970, 1, 1}, {}}), 62'135'683'200'000.0);
    const DateTime moment{{2020, 2, 1}, {1, 0, 1, 0}};
    EXPECT_EQ(from_timestamp(to_timestamp(moment)), moment);
    EXPECT_THROW(from_timestamp(0.0), Error);
    EXPECT_THROW(from_timestamp(86'400'000.5), Error);
}

TEST(Calendar, Arithmetic) {
    EXPECT_EQ(add_days({2004, 2, 28}, 1), (Date{2004, 2, 29}));
    EXPECT_EQ(add_days({2004, 3, 1}, -1), (Date{2004, 2, 29}));
    EXPECT_EQ(add_days({2003, 12, 31}, 366), (Date{2004, 12, 31}));
    EXPECT_EQ(days_between({2004, 1, 1}, {2005, 1, 1}), 366);
    EXPECT_THROW(add_days({9999, 12, 31}, 1), Error);
    EXPECT_THROW(add_days({1, 1, 1}, -1), Error);
    EXPECT_EQ(iso_weekday({2004, 10, 15}), 5);  // a Friday
    EXPECT_EQ(iso_weekday({2024, 1, 14}), 7);   // a Sunday
}

}  // namespace
}  // namespace vaq
