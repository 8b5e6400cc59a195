// The closing full stop of the error box.

#include <gtest/gtest.h>

#include "app/error_box.h"

using vaq::app::withClosingFullStop;

TEST(ClosingFullStop, AddedAfterLettersDigitsAndCharactersAboveTheFullStop) {
    EXPECT_EQ(withClosingFullStop("Table does not exist: Door.DB"),
              "Table does not exist: Door.DB.");
    EXPECT_EQ(withClosingFullStop("Key violation in table 7"), "Key violation in table 7.");
    EXPECT_EQ(withClosingFullStop("Path is /data/vaq/"), "Path is /data/vaq/.");
    EXPECT_EQ(withClosingFullStop("Is the table open?"), "Is the table open?.");
    EXPECT_EQ(withClosingFullStop("Record locked by user Müller"), "Record locked by user Müller.");
    EXPECT_EQ(withClosingFullStop("Feld ist ungültig: Größe"), "Feld ist ungültig: Größe.");
}

TEST(ClosingFullStop, NotAddedAtOrBelowTheFullStop) {
    EXPECT_EQ(withClosingFullStop("Rebuild was successful."), "Rebuild was successful.");
    EXPECT_EQ(withClosingFullStop("Re-arrange Fail!"), "Re-arrange Fail!");
    EXPECT_EQ(withClosingFullStop("Value (12)"), "Value (12)");
    EXPECT_EQ(withClosingFullStop("Range 1-"), "Range 1-");
    EXPECT_EQ(withClosingFullStop("a,"), "a,");
    EXPECT_EQ(withClosingFullStop("trailing blank "), "trailing blank ");
    EXPECT_EQ(withClosingFullStop("'15/13/2004' is not a valid date and time"),
              "'15/13/2004' is not a valid date and time.");
    EXPECT_EQ(withClosingFullStop("quoted '"), "quoted '");
}

TEST(ClosingFullStop, EmptyMessageStaysEmpty) {
    EXPECT_EQ(withClosingFullStop(""), "");
}
