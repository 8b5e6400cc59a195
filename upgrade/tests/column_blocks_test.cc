// Column blocks on tables that an intermediate version left with some of their columns, and
// the copy of department names into the staff table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

using ::testing::ElementsAre;

class ColumnBlocks : public UpgradeFixture {
  protected:
    void SetUp() override { UpgradeFixture::SetUp(); }
};

TEST_F(ColumnBlocks, ExistingLqGetsTheMissingColumnsAfterItsOwnWithNameOfTwentyCharacters) {
    sql({"CREATE TABLE \"LQ.DB\" (StaffID Char(20), TDate Date, DateName Char(40))",
         "INSERT INTO LQ VALUES ('S001', '3/1/2004', 'Monday')"});
    form_->run_column_block(6);
    EXPECT_THAT(fields_of("LQ"),
                ElementsAre("StaffID char(20)", "TDate date", "DateName char(40)",
                            "CardID char(20)", "Name char(20)", "department char(40)", "TTime time",
                            "InTime time", "OutTime time", "LateMin smallint",
                            "EarlyLeaveMin smallint", "I autoinc", "WokringHourStart time",
                            "OT smallint", "Status char(40)", "DateTime char(40)"));
    EXPECT_THAT(rows_of("LQ", {"StaffID", "TDate", "DateName"}),
                ElementsAre("S001|2004-03-01|Monday"));
    EXPECT_EQ(log_lines(), (Lines{"Upgraded Successfully : CardID Field added ",
                                  "Upgraded Successfully : Name Field added ",
                                  "Upgraded Successfully : department Field added ",
                                  "Upgraded Successfully : TTime Field added ",
                                  "Upgraded Successfully : InTime Field added ",
                                  "Upgraded Successfully : OutTime Field added ",
                                  "Upgraded Successfully : LateMin Field added ",
                                  "Upgraded Successfully : EarlyLeaveMin Field added ",
                                  "Upgraded Successfully : I Field added ",
                                  "Upgraded Successfully : WokringHourStart Field added ",
                                  "Upgraded Successfully : OT Field added ",
                                  "Upgraded Successfully : Status Field added ",
                                  "Upgraded Successfully : DateTime Field added "}));
}

TEST_F(ColumnBlocks, ExistingEmailAlertGetsAnAddressOfTwentyCharacters) {
    sql("CREATE TABLE \"EmailAlert.DB\" (pkey Autoinc, PRIMARY KEY (pkey))");
    form_->run_column_block(11);
    EXPECT_THAT(fields_of("EmailAlert"), ElementsAre("pkey autoinc", "PName char(20)",
                                                     "emailaddress char(20)", "EventID smallint"));
    EXPECT_EQ(log_lines(), (Lines{"Upgraded Successfully : Field PName Added",
                                  "Upgraded Successfully : Field EmailAddress Added",
                                  "Upgraded Successfully : Field EventID Added"}));
}

TEST_F(ColumnBlocks, OldActiveRelayGetsBlockTwoColumnsFirstAndAColumnAddedAsCOnIdCountsAsConId) {
    sql({"CREATE TABLE \"WorkOn.db\" (DeptID smallint, DeptName Char(20))",
         "CREATE TABLE \"DeptTimeTable.db\" (DeptTimeTableID smallint, DeptName Char(20))",
         "CREATE TABLE \"Department.db\" (DeptID smallint, RoundOTMin smallint)",
         "CREATE TABLE \"Personal.DB\" (PersonalID autoinc, LastDoorName Char(20), "
         "DoorAccessStatus Char(20), LastDoorID smallint, LastAccessDate Date, LastAccessTime "
         "Time, PRIMARY KEY (PersonalID))",
         "CREATE TABLE \"ActiveRelay.DB\" (ID autoinc, PRIMARY KEY (ID))",
         "INSERT INTO ActiveRelay VALUES (NULL)"});
    form_->run_column_block(2);
    form_->run_column_block(3);
    form_->run_column_block(3);
    EXPECT_THAT(fields_of("ActiveRelay"),
                ElementsAre("ID autoinc", "FromDoorID smallint", "ToDoorID smallint",
                            "DoorIn boolean", "DoorOut boolean", "FromCardID char(20)",
                            "ToCardID char(20)", "ActiveRelay smallint", "EventID smallint",
                            "RelayID smallint", "COnID smallint"));
    EXPECT_EQ(rows_of("ActiveRelay").size(), 1u);
    EXPECT_EQ(log_lines(), (Lines{"Upgraded Successfully : FromDoorIDField added ",
                                  "Upgraded Successfully : ToDoorIDField added ",
                                  "Upgraded Successfully : DoorInField added ",
                                  "Upgraded Successfully : DoorOutField added ",
                                  "Upgraded Successfully : Field FromCardID Added",
                                  "Upgraded Successfully : Field ToCardID Added",
                                  "Upgraded Successfully : Field ActiveRelay Added",
                                  "Upgraded Successfully : Field EventID Added",
                                  "Upgraded Successfully : Field RelayID Added",
                                  "Upgraded Successfully : Field COnID Added"}));
}

TEST_F(ColumnBlocks, OnlyTheTransactionBlockReadsItsFieldsAgainAfterAdding) {
    sql({"CREATE TABLE \"Transact.db\" (TransID autoinc, TDate Date, PRIMARY KEY (TransID))",
         "CREATE TABLE \"Holiday.db\" (HolidayID autoinc, TDate Date, PRIMARY KEY (HolidayID))"});
    form_->run_column_block(7);
    EXPECT_TRUE(form_->Q2.find_field("DT"));
    form_->run_column_block(8);
    EXPECT_FALSE(form_->Q2.find_field("HolidayName"));
    EXPECT_EQ(form_->Q2.text(), "Select * from \"Holiday.DB\"");
    EXPECT_EQ(log_lines(), (Lines{"Upgraded Successfully : DT Field added ",
                                  "Upgraded Successfully : HolidayName Field added "}));
}

// The missing columns of one table are added by one ALTER: one the engine refuses (here the
// record would no longer fit in a block of the table) leaves the table as it was, with none
// of the group's columns and none of its lines, where column by column the table would have
// been left with the first eleven.
TEST_F(ColumnBlocks, ColumnsOfATableThatCannotAllBeAddedLeaveItAsItWasAndLogNothing) {
    std::string create = "CREATE TABLE \"personal.DB\" (PersonalID autoinc";
    for (int i = 0; i < 12; ++i)
        create += ", Filler" + std::to_string(i) + " Char(255)";
    sql({create + ", PRIMARY KEY (PersonalID))", "INSERT INTO personal (Filler0) VALUES ('kept')"});
    const Lines before = fields_of("personal");
    const std::string failure = failure_of([&] { form_->run_column_block(9); });
    EXPECT_NE(failure.find("A record of"), std::string::npos) << failure;
    EXPECT_EQ(fields_of("personal"), before);
    EXPECT_THAT(rows_of("personal", {"Filler0"}), ElementsAre("kept"));
    EXPECT_EQ(log_lines(), Lines{});
}

class DepartmentNames : public UpgradeFixture {
  protected:
    void SetUp() override {
        UpgradeFixture::SetUp();
        sql(
            {"CREATE TABLE \"Personal.DB\" (PersonalID autoinc, Department Char(40), DeptID "
             "smallint, PRIMARY KEY (PersonalID))",
             "INSERT INTO Personal (Department, DeptID) VALUES ('old one', 2)",
             "INSERT INTO Personal (Department, DeptID) VALUES ('kept', 7)",
             "INSERT INTO Personal (Department) VALUES ('no department')",
             "INSERT INTO Personal (Department, DeptID) VALUES ('old two', 1)",
             "CREATE TABLE \"Department.db\" (DeptID smallint, DeptName Char(40), "
             "LateAllowance smallint, EnableLateAllowance boolean)",
             "INSERT INTO Department (DeptID, DeptName) VALUES (1, 'Finance')",
             "INSERT INTO Department (DeptID, DeptName) VALUES (2, 'Sales')",
             "INSERT INTO Department (DeptID, DeptName) VALUES (2, 'Second Sales')",
             "INSERT INTO Department (DeptID, DeptName) VALUES (0, 'Unassigned')"});
    }
};

TEST_F(DepartmentNames, EachStaffRowTakesTheNameOfItsFirstMatchingDepartment) {
    form_->copy_department_names();
    EXPECT_THAT(rows_of("Personal"),
                ElementsAre("1|Sales|2", "2|kept|7", "3|Unassigned|", "4|Finance|1"));
    EXPECT_TRUE(form_->Personnel.active());
    EXPECT_TRUE(form_->Department.active());
    EXPECT_EQ(window_.log(), "");
}

TEST_F(DepartmentNames, NameLongerThanTheStaffColumnIsCutToItsWidth) {
    sql(
        {"CREATE TABLE \"Short.db\" (PersonalID autoinc, Department Char(5), DeptID smallint, "
         "PRIMARY KEY (PersonalID))",
         "INSERT INTO Short (DeptID) VALUES (1)", "Drop Table \"Personal.DB\""});
    db::Table("VAQ", "Short").rename_table("Personal");
    form_->copy_department_names();
    EXPECT_THAT(rows_of("Personal"), ElementsAre("1|Finan|1"));
}

}  // namespace
}  // namespace vaq::upgrade::testing
