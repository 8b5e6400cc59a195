// The six primitives of the upgrade and the hidden Button3, on real tables: what each tests
// before it changes anything, what it changes, and the log line it writes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "common/error.h"
#include "engine/format/fault_injection.h"

#include "upgrade/table_steps.h"
#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using window::Control;

class Primitives : public UpgradeFixture {
  protected:
    void create_table_step(std::string_view name) {
        const TableStep& step = table_step(name);
        form_->CreateTableIfMissing(step.fileName, step.lines, step.followUps, step.log);
    }

    // A copy of the corpus table CUSTOMER (fields CustNo, FirstName, ..., City, ...; one
    // named index City), for what reading alone can show.
    bool copy_customer() {
        if (!have_corpus()) return false;
        copy_corpus_table("paradoxdriver/db/CUSTOMER.DB");
        return true;
    }
};

TEST_F(Primitives, LogLinesAreAppendedWithCrLfAndNothingElse) {
    window_.set_text(Control::Memo1, "earlier\r\n");
    form_->AppendUpgradeLog("Upgraded Successfully : Table LQ Added");
    form_->AppendUpgradeLog("PanicPIN Field added ");
    form_->AppendUpgradeLog("");
    EXPECT_EQ(window_.log(),
              "earlier\r\nUpgraded Successfully : Table LQ Added\r\nPanicPIN Field added \r\n\r\n");
}

// ---- CreateTableIfMissing ----

TEST_F(Primitives, TableWhoseFileExistsInAnotherLetterCaseIsLeftAlone) {
    // Not a table the engine could read: any statement run on it would fail.
    std::ofstream(data() / "emailALERT.db") << "not a table";
    const auto before = snapshot();
    create_table_step("T18");
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(window_.log(), "");
}

TEST_F(Primitives, MissingTableIsCreatedFromItsLinesThenItsFollowUpsRunThenItIsLogged) {
    create_table_step("T6");
    EXPECT_THAT(fields_of("LeaveType"),
                ElementsAre("LeaveTypeID smallint", "LeaveTypeName char(40)"));
    EXPECT_THAT(rows_of("LeaveType"), ElementsAre("1|Annual Leave", "2|Sick Leave with Certificate",
                                                  "3|Sick Leave without Certificate"));
    EXPECT_EQ(window_.log(), "Upgraded Successfully : Table LeaveType.db Added\r\n");

    // The second time the file is there: nothing runs, the rows are not written again.
    sql("delete from LeaveType");
    create_table_step("T6");
    EXPECT_TRUE(rows_of("LeaveType").empty());
    EXPECT_EQ(window_.log(), "Upgraded Successfully : Table LeaveType.db Added\r\n");
}

TEST_F(Primitives, TestedNameAndCreatedNameDifferingInCaseAreOneTable) {
    create_table_step("T12");  // tests SGCountTbl.DB, creates SGCountTBl.DB
    create_table_step("T18");  // tests Emailalert.DB, creates EmailAlert.DB
    create_table_step("T12");
    create_table_step("T18");
    EXPECT_EQ(log_lines(), (Lines{"Upgraded Successfully : Table SGCountTbl.DB Added",
                                  "Upgraded Successfully : Table EmailAlert.DB  added "}));
    EXPECT_THAT(fields_of("EmailAlert"), ElementsAre("pkey autoinc", "PName char(20)",
                                                     "emailaddress char(30)", "EventID smallint"));
}

TEST_F(Primitives, StepWithoutLogMessageCreatesSilently) {
    create_table_step("T8");
    EXPECT_TRUE(table_exists("StaffTimeTbl.db"));
    const Lines fields = fields_of("StaffTimeTbl");
    ASSERT_EQ(fields.size(), 22u);
    EXPECT_EQ(fields.front(), "StaffID char(20)");
    EXPECT_EQ(fields[9], "FriS time");
    EXPECT_EQ(fields.back(), "FriE time");
    EXPECT_EQ(window_.log(), "");
}

TEST_F(Primitives, FailingCreateStatementLogsNothing) {
    const std::string_view lines[] = {"CREATE TABLE \"Broken.db\" ( A Char(20), A Char(20))"};
    EXPECT_NE(failure_of([&] { form_->CreateTableIfMissing("\\Broken.db", lines, {}, "never"); }),
              "no error");
    EXPECT_FALSE(table_exists("Broken"));
    EXPECT_EQ(window_.log(), "");
}

// ---- AddFieldIfMissing and Button3 ----

TEST_F(Primitives, PresentColumnInAnotherLetterCaseChangesNothingAndKeepsTheSelectOpen) {
    if (!copy_customer()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
    const auto before = snapshot();
    form_->AddFieldIfMissing(form_->q1, "Customer", "LASTNAME", "Char(20)");
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(window_.log(), "");
    ASSERT_TRUE(form_->q1.active());
    EXPECT_EQ(form_->q1.text(), "Select * from 'Customer'");
    EXPECT_EQ(form_->q1.record_count(), 20u);
}

TEST_F(Primitives, AddFieldOnMissingTableFailsAtItsSelectAndLogsNothing) {
    EXPECT_THAT(
        failure_of([&] { form_->AddFieldIfMissing(form_->q1, "Door", "DoorPIN", "Char(10)"); }),
        HasSubstr("Door"));
    EXPECT_EQ(window_.log(), "");
}

TEST_F(Primitives, MissingColumnIsAddedAtTheEndWithTheGenericLine) {
    sql({"CREATE TABLE \"Door.DB\" (DoorID autoinc, Name Char(30), PRIMARY KEY (DoorID))",
         "INSERT INTO Door (Name) VALUES ('Lobby')"});
    form_->AddFieldIfMissing(form_->q1, "Door", "MainEntrance", "Boolean");
    EXPECT_THAT(fields_of("Door"),
                ElementsAre("DoorID autoinc", "Name char(30)", "MainEntrance boolean"));
    EXPECT_THAT(rows_of("Door"), ElementsAre("1|Lobby|"));
    EXPECT_EQ(window_.log(), "Upgraded Successfully : MainEntranceField added \r\n");
    EXPECT_FALSE(form_->q1.active());
}

TEST_F(Primitives, HiddenButtonAddsStaffIdOnlyWhenPersonalLacksIt) {
    sql("CREATE TABLE \"Personal.DB\" (PersonalID autoinc, CardID Char(10), PRIMARY KEY "
        "(PersonalID))");
    form_->Button3Click();
    form_->Button3Click();
    EXPECT_THAT(fields_of("Personal"),
                ElementsAre("PersonalID autoinc", "CardID char(10)", "StaffID char(20)"));
    EXPECT_EQ(window_.log(), "Upgraded Successfully : StaffIDField added \r\n");
}

// ---- AlterIfFieldMissing ----

TEST_F(Primitives, ColumnOfTheOpenSelectInAnotherLetterCaseIsNotAltered) {
    if (!copy_customer()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
    form_->Q2.set_sql("Select * from \"Customer.DB\"");
    form_->Q2.open();
    const auto before = snapshot();
    EXPECT_FALSE(form_->AlterIfFieldMissing("email", "alter table Customer add EMail Char(20)",
                                            std::nullopt, "never"));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(window_.log(), "");
}

TEST_F(Primitives, MissingColumnIsAlteredFilledAndLogged) {
    sql(
        {"CREATE TABLE \"SecMas.DB\" (SecurityGroupID autoinc, SecurityGroupName Char(30), "
         "PRIMARY KEY (SecurityGroupID))",
         "INSERT INTO SecMas (SecurityGroupName) VALUES ('All Doors')",
         "INSERT INTO SecMas (SecurityGroupName) VALUES ('Office')"});
    form_->Q2.set_sql("Select * from \"secmas.DB\"");
    form_->Q2.open();
    EXPECT_TRUE(form_->AlterIfFieldMissing(
        "WorkingHourStart", "alter table SecMas add WorkingHourStart time",
        "update SecMas set WorkingHourStart='09:00:00'",
        "Upgraded Successfully : WorkingHourStart Field added "));
    EXPECT_TRUE(form_->AlterIfFieldMissing("CarparkCount",
                                           "alter table SecMas add CarParkCount smallInt",
                                           std::nullopt, std::nullopt));
    EXPECT_THAT(rows_of("SecMas"), ElementsAre("1|All Doors|09:00:00|", "2|Office|09:00:00|"));
    EXPECT_EQ(window_.log(), "Upgraded Successfully : WorkingHourStart Field added \r\n");
}

TEST_F(Primitives, ColumnAddedByTheSameGroupIsNotSeenByItsSelect) {
    sql("CREATE TABLE \"Holiday.db\" (HolidayID autoinc, PRIMARY KEY (HolidayID))");
    form_->Q2.set_sql("Select * from \"Holiday.DB\"");
    form_->Q2.open();
    const std::string_view alter = "alter table \"Holiday.db\" add HolidayName Char(20)";
    form_->AlterIfFieldMissing("HolidayName", alter, std::nullopt, "added");
    // The field list was read when the select opened: the ALTER runs again and the engine
    // refuses it; the log keeps the one line of the step that succeeded.
    EXPECT_THAT(failure_of([&] { form_->AlterIfFieldMissing("HolidayName", alter, {}, "again"); }),
                HasSubstr("HolidayName"));
    EXPECT_EQ(log_lines(), (Lines{"added"}));
}

// ---- steps of several statements cut off by a failed write ----

// The step run with its `n`-th file-changing call failing once, then run again without a
// fault; false when the first run made fewer than n calls.
template <typename Step>
bool fail_once_then_run_again(std::uint64_t n, Step&& step) {
    {
        pdx::FaultInjection faults({.fail_at = n});
        try {
            step();
        } catch (const Error&) {
        }
        if (faults.calls() < n) return false;
    }
    step();
    return true;
}

TEST_F(Primitives, TableStepCutOffBeforeItsRowsIsDoneWholeByTheNextRun) {
    for (std::uint64_t n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        for (const auto& entry : fs::directory_iterator(data()))
            fs::remove_all(entry.path());
        if (!fail_once_then_run_again(n, [&] { create_table_step("T6"); })) break;
        EXPECT_THAT(rows_of("LeaveType"),
                    ElementsAre("1|Annual Leave", "2|Sick Leave with Certificate",
                                "3|Sick Leave without Certificate"));
        EXPECT_FALSE(fs::exists(data() / ".upgrade-step"));
    }
}

TEST_F(Primitives, ColumnStepCutOffBeforeItsUpdateIsFilledByTheNextRun) {
    const auto step = [&] {
        form_->Q2.close();
        form_->Q2.set_sql("Select * from \"secmas.DB\"");
        form_->Q2.open();
        form_->AlterIfFieldMissing("WorkingHourStart",
                                   "alter table SecMas add WorkingHourStart time",
                                   "update SecMas set WorkingHourStart='09:00:00'", "filled");
    };
    for (std::uint64_t n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        form_->Q2.close();
        for (const auto& entry : fs::directory_iterator(data()))
            fs::remove_all(entry.path());
        sql(
            {"CREATE TABLE \"SecMas.DB\" (SecurityGroupID autoinc, SecurityGroupName Char(30), "
             "PRIMARY KEY (SecurityGroupID))",
             "INSERT INTO SecMas (SecurityGroupName) VALUES ('All Doors'), ('Office')"});
        if (!fail_once_then_run_again(n, step)) break;
        form_->Q2.close();
        EXPECT_THAT(rows_of("SecMas"), ElementsAre("1|All Doors|09:00:00", "2|Office|09:00:00"));
        EXPECT_FALSE(fs::exists(data() / ".upgrade-step"));
    }
}

// ---- IndexExists ----

TEST_F(Primitives, WantedIndexFoundInAnotherLetterCaseDeletesNothing) {
    if (!copy_customer()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
    db::Table customer("VAQ", "Customer");
    const auto before = snapshot();
    EXPECT_TRUE(form_->IndexExists(customer, "CITY"));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(window_.items(Control::ListBox1), (Lines{"City"}));
}

TEST_F(Primitives, TableWithoutNamedIndexesGivesFalseAndLosesNothing) {
    if (!have_corpus()) GTEST_SKIP() << "The Paradox corpus folder is absent.";
    copy_corpus_table("paradoxdriver/db/ORDERS.DB");
    window_.set_items(Control::ListBox1, {"from an earlier table"});
    db::Table orders("VAQ", "Orders");
    const auto before = snapshot();
    EXPECT_FALSE(form_->IndexExists(orders, "idx_SaleDate"));
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(window_.items(Control::ListBox1).empty());
}

class IndexSteps : public Primitives {
  protected:
    void SetUp() override {
        Primitives::SetUp();
        sql(
            {"CREATE TABLE \"Holiday.db\" (HolidayID autoinc, TDate Date, A smallint, B "
             "smallint, PRIMARY KEY (HolidayID))",
             "INSERT INTO Holiday (TDate, A, B) VALUES ('1/2/2001', 1, 2)",
             "CREATE INDEX idx_A ON Holiday (A)", "CREATE INDEX idx_B ON Holiday (B)"});
        ASSERT_EQ(indexes_of("Holiday"), (Lines{"idx_A", "idx_B"}));
    }

    db::Table holiday_{"VAQ", "Holiday.db"};
};

TEST_F(IndexSteps, NamedIndexesBeforeTheWantedOneAreDeleted) {
    EXPECT_TRUE(form_->IndexExists(holiday_, "IDX_b"));
    EXPECT_EQ(indexes_of("Holiday"), (Lines{"idx_B"}));
    EXPECT_EQ(window_.items(Control::ListBox1), (Lines{"idx_A", "idx_B"}));
    EXPECT_TRUE(fs::exists(data() / "Holiday.PX") || fs::exists(data() / "HOLIDAY.PX"));
    EXPECT_EQ(rows_of("Holiday").size(), 1u);
}

TEST_F(IndexSteps, MissingIndexCostsEveryNamedIndex) {
    EXPECT_FALSE(form_->IndexExists(holiday_, "idx_C"));
    EXPECT_TRUE(indexes_of("Holiday").empty());
    EXPECT_EQ(window_.items(Control::ListBox1), (Lines{"idx_A", "idx_B"}));
    EXPECT_EQ(rows_of("Holiday").size(), 1u);
}

TEST_F(IndexSteps, IndexTestedInAnotherLetterCaseIsFoundAfterItsCreation) {
    holiday_.open();
    EXPECT_TRUE(form_->CreateIndex(holiday_, "idx_TDate", "TDate"));
    EXPECT_FALSE(holiday_.active());
    EXPECT_EQ(log_lines(), (Lines{"Upgraded Successfully : New Index added on: Holiday.db"}));
    EXPECT_EQ(indexes_of("Holiday"), (Lines{"idx_A", "idx_B", "idx_TDate"}));
    EXPECT_TRUE(form_->IndexExists(holiday_, "idx_Tdate"));
    EXPECT_EQ(indexes_of("Holiday"), (Lines{"idx_TDate"}));
}

TEST_F(IndexSteps, IndexNameTheTableHasIsShownInABoxAndTheRunGoesOn) {
    holiday_.open();
    EXPECT_FALSE(form_->CreateIndex(holiday_, "idx_B", "B"));
    EXPECT_FALSE(holiday_.active());
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_THAT(window_.boxes[0].text, HasSubstr("idx_B"));
    EXPECT_EQ(window_.boxes[0].title, "");
    EXPECT_EQ(window_.boxes[0].icon, window::BoxIcon::kNone);
    EXPECT_EQ(window_.log(), "");
    EXPECT_EQ(indexes_of("Holiday"), (Lines{"idx_A", "idx_B"}));
}

TEST_F(Primitives, AnyEngineErrorOfCreateIndexEndsInABoxNotInTheCaller) {
    db::Table missing("VAQ", "Leave.DB");
    bool created = true;
    EXPECT_EQ(failure_of([&] { created = form_->CreateIndex(missing, "idx_StaffID", "StaffID"); }),
              "no error");
    EXPECT_FALSE(created);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_FALSE(window_.boxes[0].text.empty());
    EXPECT_EQ(window_.log(), "");
}

}  // namespace
}  // namespace vaq::upgrade::testing
