// The rebuild of AntiPassBack.db keeps its rows on disk in a complete table at every moment:
// a rebuild cut off between its renames is finished by the next upgrade, whichever moment
// it stopped at, and no row is lost or doubled.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr std::string_view kOldLayout =
    "CREATE TABLE \"AntiPassBack.db\" (ControllerID smallint, FromDoorID smallint, "
    "FromDirection smallint, ToDOorID smallint, ToDirection smallint)";
constexpr std::string_view kNewLayout =
    "CREATE TABLE \"%s\" ( Pkey Autoinc, ControllerID SmallINt, FromDoorID SmallInt, "
    "FromDirection SmallInt, ToDOorID SmallInt, ToDirection SmallInt, PRIMARY KEY (pkey))";

class AntiPassBackRebuild : public UpgradeFixture {
  protected:
    void SetUp() override { UpgradeFixture::SetUp(); }

    // A table of the old layout under `name` holding the three rules.
    void old_table(std::string_view name) {
        std::string create(kOldLayout);
        create.replace(create.find("AntiPassBack.db"), 15, name);
        sql(create);
        for (const char* row : {"(2, 1, 0, 1, 1)", "(1, 1, 0, 2, 1)", "(1, 2, 1, 1, 0)"})
            sql("INSERT INTO \"" + std::string(name) + "\" VALUES " + row);
    }

    // A table of the new layout under `name`, with the three rules copied into it.
    void new_table(std::string_view name) {
        std::string create(kNewLayout);
        create.replace(create.find("%s"), 2, name);
        sql(create);
        for (const char* row : {"(2, 1, 0, 1, 1)", "(1, 1, 0, 2, 1)", "(1, 2, 1, 1, 0)"})
            sql("INSERT INTO \"" + std::string(name) +
                "\" (ControllerID, FromDoorID, FromDirection, ToDOorID, ToDirection) VALUES " +
                row);
    }

    void expect_rebuilt() {
        EXPECT_FALSE(table_exists("AntiPassBackOld"));
        EXPECT_FALSE(table_exists("tmpdb"));
        EXPECT_THAT(rows_of("AntiPassBack"),
                    ElementsAre("1|2|1|0|1|1", "2|1|1|0|2|1", "3|1|2|1|1|0"));
        EXPECT_EQ(form_->AntiPassBack.table_name(), "AntiPassBack.db");
    }
};

TEST_F(AntiPassBackRebuild, CopyReplacesTheOldTableAndLeavesNoWorkTable) {
    old_table("AntiPassBack.db");
    form_->rebuild_anti_pass_back();
    expect_rebuilt();
    EXPECT_FALSE(form_->AntiPassBack.active());
    EXPECT_TRUE(form_->AntiPassBack.find_field("PKEY"));
    EXPECT_TRUE(mainDB_->connected());
    EXPECT_EQ(window_.log(), "");
}

TEST_F(AntiPassBackRebuild, CutOffBetweenTheRenamesIsFinishedFromTheCompleteCopy) {
    // The old table already moved aside, the copy not yet renamed into place.
    old_table("AntiPassBackOld.db");
    new_table("tmpdb.DB");
    form_->rebuild_anti_pass_back();
    expect_rebuilt();
}

TEST_F(AntiPassBackRebuild, CutOffBeforeTheKeptTableWasDeletedOnlyDeletesIt) {
    old_table("AntiPassBackOld.db");
    new_table("AntiPassBack.db");
    form_->rebuild_anti_pass_back();
    expect_rebuilt();
}

TEST_F(AntiPassBackRebuild, KeptTableWithoutItsCopyGoesBackAndIsRebuilt) {
    old_table("AntiPassBackOld.db");
    form_->rebuild_anti_pass_back();
    expect_rebuilt();
}

TEST_F(AntiPassBackRebuild, KeptTableBesideAnUnrebuiltTableIsNeverDeleted) {
    old_table("AntiPassBack.db");
    old_table("AntiPassBackOld.db");
    EXPECT_THAT(failure_of([&] { form_->rebuild_anti_pass_back(); }), HasSubstr("AntiPassBackOld"));
    EXPECT_EQ(rows_of("AntiPassBackOld").size(), 3u);
    EXPECT_EQ(rows_of("AntiPassBack").size(), 3u);
    EXPECT_EQ(form_->AntiPassBack.table_name(), "AntiPassBack.db");
}

TEST_F(AntiPassBackRebuild, MissingTableStopsTheStepWithTheEngineError) {
    EXPECT_THAT(failure_of([&] { form_->rebuild_anti_pass_back(); }), HasSubstr("ntiPassback"));
    EXPECT_FALSE(table_exists("tmpdb"));
}

}  // namespace
}  // namespace vaq::upgrade::testing
