// The closing full stop of the error box.

#include <gtest/gtest.h>

#include "app/error_box.h"

using vaq::app::with_closing_full_stop;

TEST(ClosingFullStop, AddedAfterLettersDigitsAndCharactersAboveTheFullStop) {
    EXPECT_EQ(with_closing_full_stop("Table does not exist: Door.DB"),
              "Table does not exist: Door.DB.");
    EXPECT_EQ(with_closing_full_stop("Key violation in table 7"), "Key violation in table 7.");
    EXPECT_EQ(with_closing_full_stop("Path is /data/vaq/"), "Path is /data/vaq/.");
    EXPECT_EQ(with_closing_full_stop("Is the table open?"), "Is the table open?.");
    EXPECT_EQ(with_closing_full_stop("Record locked by user Müller"),
              "Record locked by user Müller.");
    EXPECT_EQ(with_closing_full_stop("Feld ist ungültig: Größe"), "Feld ist ungültig: Größe.");
}

TEST(ClosingFullStop, NotAddedAtOrBelowTheFullStop) {
    EXPECT_EQ(with_closing_full_stop("Rebuild was successful."), "Rebuild was successful.");
    EXPECT_EQ(with_closing_full_stop("Re-arrange Fail!"), "Re-arrange Fail!");
    EXPECT_EQ(with_closing_full_stop("Value (12)"), "Value (12)");
    EXPECT_EQ(with_closing_full_stop("Range 1-"), "Range 1-");
    EXPECT_EQ(with_closing_full_stop("a,"), "a,");
    EXPECT_EQ(with_closing_full_stop("trailing blank "), "trailing blank ");
    EXPECT_EQ(with_closing_full_stop("'15/13/2004' is not a valid date and time"),
              "'15/13/2004' is not a valid date and time.");
    EXPECT_EQ(with_closing_full_stop("quoted '"), "quoted '");
}

TEST(ClosingFullStop, EmptyMessageStaysEmpty) {
    EXPECT_EQ(with_closing_full_stop(""), "");
}
