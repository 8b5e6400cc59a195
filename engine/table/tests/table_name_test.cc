// A table is found in its directory whatever the letter case of its name and with or
// without extension; a name never leads out of the directory.

#include "engine/table/table_name.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "engine/table/table.h"
#include "engine/table/tests/test_support.h"

namespace pdx {
namespace {

using testing::TempDir;

void touch(const std::filesystem::path& path) {
    testing::write_file(path, {});
}

TEST(TableName, OneTableWhateverTheLetterCaseAndExtension) {
    TempDir dir;
    touch(dir / "WorkON.DB");
    for (const char* name : {"WorkON", "workon.db", "WorkOn.DB", "WORKON", "workon.DB"}) {
        const auto found = find_table_file(dir.path(), name);
        ASSERT_TRUE(found) << name;
        EXPECT_EQ(found->filename(), "WorkON.DB") << name;
    }
    EXPECT_FALSE(find_table_file(dir.path(), "WorkOff"));
    EXPECT_FALSE(find_table_file(dir.path(), "WorkON.PX"));
}

TEST(TableName, TheExactSpellingWinsOverOtherCases) {
    TempDir dir;
    touch(dir / "door.db");
    touch(dir / "Door.DB");
    EXPECT_EQ(find_table_file(dir.path(), "Door.DB")->filename(), "Door.DB");
    EXPECT_EQ(find_table_file(dir.path(), "door.db")->filename(), "door.db");
    EXPECT_THROW(find_table_file(dir.path(), "DOOR"), vaq::Error);
}

TEST(TableName, NamesThatLeaveTheDirectoryAreRefused) {
    TempDir dir;
    for (const char* name : {"../Door", "sub/Door", "sub\\Door", "..", "", "/etc/passwd"}) {
        EXPECT_THROW(find_table_file(dir.path(), name), vaq::Error) << name;
        EXPECT_THROW(Table::open(dir.path(), name), vaq::Error) << name;
    }
    try {
        check_table_name("../Door");
        ADD_FAILURE();
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Invalid table name: ../Door (a table name may not hold a path).");
    }
}

TEST(TableName, MissingTableIsNamedInTheError) {
    TempDir dir;
    try {
        Table::open(dir.path(), "Door.DB");
        ADD_FAILURE();
    } catch (const vaq::Error& e) {
        EXPECT_STREQ(e.what(), "Table does not exist: Door.DB.");
    }
}

TEST(TableName, FamilyMembersAreFoundInAnyCase) {
    TempDir dir;
    touch(dir / "Customer.DB");
    touch(dir / "CUSTOMER.mb");
    touch(dir / "customer.X06");
    EXPECT_EQ(find_family_file(dir / "Customer.DB", ".MB")->filename(), "CUSTOMER.mb");
    EXPECT_EQ(find_family_file(dir / "Customer.DB", ".x06")->filename(), "customer.X06");
    EXPECT_FALSE(find_family_file(dir / "Customer.DB", ".PX"));
}

}  // namespace
}  // namespace pdx
