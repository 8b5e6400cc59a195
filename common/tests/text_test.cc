#include "common/text.h"

#include <gtest/gtest.h>

namespace vaq {
namespace {

TEST(Text, CaseIsIgnoredForAsciiLettersOnly) {
    EXPECT_TRUE(iequals("WorkON.DB", "workon.db"));
    EXPECT_FALSE(iequals("WorkON", "WorkON.DB"));
    // Bytes of other code pages never fold: 0xC4 and 0xE4 stay different names.
    EXPECT_FALSE(iequals("\xC4", "\xE4"));
    EXPECT_TRUE(iless("apple", "Banana"));
    EXPECT_FALSE(iless("Door", "door"));
    EXPECT_EQ(ascii_upper("idx_Tdate"), "IDX_TDATE");
}

TEST(Text, TrimBlanksKeepsInnerText) {
    EXPECT_EQ(trim_blanks(" \t a b \t"), "a b");
    EXPECT_EQ(trim_blanks("   "), "");
}

}  // namespace
}  // namespace vaq
