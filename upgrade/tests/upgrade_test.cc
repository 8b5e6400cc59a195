// "Upgrade DataBase" on a small old-layout database: one run gives every table, column and
// index of the 3.2.1 layout, keeps every row, writes the reference rows and the exact log;
// a second run changes no layout and appends only the lines that every run writes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <map>
#include <memory>

#include "common/error.h"
#include "db/schema.h"
#include "engine/api/config.h"
#include "engine/table/cursor.h"
#include "engine/table/table.h"
#include "engine/table/tests/pxlib_reader.h"
#include "upgrade/column_blocks.h"
#include "upgrade/reference_data.h"
#include "upgrade/tests/old_database.h"
#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

namespace schema = db::schema;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using window::Control;

// What the repair, pressed at the end, appends to the log in these tests: its last result
// text, without CR LF.
constexpr std::string_view kRepairText = "(repair of every table)";

// The log of one upgrade of the old database of old_database.cc, line by line.
const Lines kFirstRunLog = {
    // table steps T1 to T4
    "Upgraded Successfully : Table EMCARD_MAS.db Added",
    "Upgraded Successfully : Table EMCARD_DET.db Added",
    "Upgraded Successfully : Table CardFormat.db Added",
    "Upgraded Successfully : Table DoorTree.db Added",
    // column block 1
    "Upgraded Successfully : MainEntranceField added ",
    "Upgraded Successfully : FireReportInField added ",
    "Upgraded Successfully : FireReportOutField added ",
    "Upgraded Successfully : CardListDetailField added ",
    "Upgraded Successfully : TimeAttendanceField added ",
    // table steps T5 to T14 (T8 logs nothing)
    "Upgraded Successfully : Table WorkOn.db Added",
    "Upgraded Successfully : Table LeaveType.db Added",
    "Upgraded Successfully : Table Leave.db Added",
    "Upgraded Successfully : Table DeptTimeTable.db Added",
    "Upgraded Successfully : Table Department.db Added",
    "Upgraded Successfully : Table Attendance.db Added",
    "Upgraded Successfully : Table SGCountTbl.DB Added",
    "Upgraded Successfully : Table ActiveRelay Added",
    "Upgraded Successfully : Table DoorStatus.db Added",
    // column block 2; block 3 finds every column of the new ActiveRelay.DB
    "Upgraded Successfully : DeptNameField added ",
    "Upgraded Successfully : DeptNameField added ",
    "Upgraded Successfully : RoundOTMinField added ",
    "Upgraded Successfully : FromDoorIDField added ",
    "Upgraded Successfully : ToDoorIDField added ",
    "Upgraded Successfully : DoorInField added ",
    "Upgraded Successfully : DoorOutField added ",
    "Upgraded Successfully : LastDoorNameField added ",
    "Upgraded Successfully : DoorAccessStatusField added ",
    "Upgraded Successfully : LastDoorIDField added ",
    "Upgraded Successfully : LastAccessDateField added ",
    "Upgraded Successfully : LastAccessTimeField added ",
    // column block 4: ForceDoorCloseTimeTbl and IsSupportEMCard are added silently
    "DoorPIN Field added ",
    "DoorPINEnableTimeTable Field added ",
    // table steps T15 and T16
    "Upgraded Successfully : Table LQ Added",
    "Upgraded Successfully : Table FILORPT Added",
    // column block 5
    "Upgraded Successfully : ConnectMethod Field added ",
    "Upgraded Successfully : ReadCardFormatField added ",
    "Upgraded Successfully : CardMaskField added ",
    "Upgraded Successfully : PresentCardDelay Field added ",
    "EnablePanicPIN Field added ",
    "PanicPIN Field added ",
    "Upgraded Successfully : UDP_HOSTField added ",
    "Upgraded Successfully : UDP_Port Field added ",
    "Upgraded Successfully : EnableAutoAdjTime Field added ",
    "Upgraded Successfully : WinterTriggerTime Field added ",
    "Upgraded Successfully : WinterTriggerDate Field added ",
    "Upgraded Successfully : SummerTriggerTime Field added ",
    "Upgraded Successfully : SummerTriggerDate Field added ",
    "Upgraded Successfully : WinterHour Field added ",
    "Upgraded Successfully : SummerHour Field added ",
    "Upgraded Successfully : Allow Any Card Field added ",
    "Upgraded Successfully : PhoneNumber Field added ",
    // column block 6 on the LQ.DB just created
    "Upgraded Successfully : TTime Field added ",
    "Upgraded Successfully : DateTime Field added ",
    // column blocks 7 and 8
    "Upgraded Successfully : DT Field added ",
    "Upgraded Successfully : HolidayName Field added ",
    // column block 9
    "Upgraded Successfully : DeptID Field added ",
    "Upgraded Successfully : HomePhoneNum Field added ",
    "Upgraded Successfully : MobilePhoneNum Field added ",
    "Upgraded Successfully : DateOfBirth Field added ",
    "Upgraded Successfully : Nationality Field added ",
    "Upgraded Successfully : EmergencyContactPerson Field added ",
    "Upgraded Successfully : EmergencyContactNum Field added ",
    "Upgraded Successfully : Address1 Field added ",
    "Upgraded Successfully : Address2 Field added ",
    "Upgraded Successfully : Comment1 Field added ",
    "Upgraded Successfully : Comment2 Field added ",
    "Upgraded Successfully : RelationToEmployee Field added ",
    // column block 10
    "Upgraded Successfully : FirstInRpt Field added ",
    "Upgraded Successfully : LastOutRptField added ",
    "Upgraded Successfully : FirstINLastOutRptField added ",
    "Upgraded Successfully : EventAlertRptField added ",
    "Upgraded Successfully : LateRptField added ",
    "Upgraded Successfully : EarlyLeaveRptField added ",
    "Upgraded Successfully : AttendanceRptField added ",
    "Upgraded Successfully : DepartmentField added ",
    "Upgraded Successfully : DBBackup Field added ",
    "Upgraded Successfully : DBRestore Field added ",
    "Upgraded Successfully : DoorAccessControl Field added ",
    "Upgraded Successfully : PatrolReport Field added ",
    "Upgraded Successfully : StopScan Field added ",
    "Upgraded Successfully : LocMapSetupMode Field added ",
    "Upgraded Successfully : LocMapUserMode Field added ",
    "Upgraded Successfully : PersonalData Field added ",
    // table steps T17 and T18; block 11 finds every column of the new EmailAlert.DB
    "Upgraded Successfully : LocationMap.DB  added ",
    "Upgraded Successfully : Table EmailAlert.DB  added ",
    // column block 12
    "Upgraded Successfully : WorkingHourStart Field added ",
    "Upgraded Successfully : CarParkCount Field added ",
    "Upgraded Successfully : CarParkBalance Field added ",
    // reference data
    "Upgraded Successfully : Event Type Updated",
    // index steps I1 to I11
    "Upgraded Successfully : New Index added on: DeptTimeTable.DB",
    "Upgraded Successfully : New Index added on: WorkON.DB",
    "Upgraded Successfully : New Index added on: Department.DB",
    "Upgraded Successfully : New Index added on: Leave.DB",
    "Upgraded Successfully : New Index added on: SecMas.DB",
    "Upgraded Successfully : New Index added on: Holiday.db",
    "Upgraded Successfully : New Index added on: Transact.db",
    "Upgraded Successfully : New Index added on: AntiPassBack.db",
    "Upgraded Successfully : New Index added on: EmailAlert.DB",
    "Upgraded Successfully : New Index added on: ActiveRelay.DB",
    "Upgraded Successfully : New Index added on: Leave.DB",
};

// What every later run appends.
const Lines kLaterRunLog = {
    "Upgraded Successfully : Event Type Updated",
    "Upgraded Successfully : New Index added on: Leave.DB",
    "Upgraded Successfully : New Index added on: Leave.DB",
};

// The columns each table of the old database has after an upgrade: its own, then those the
// upgrade adds, in the order the column blocks add them.
const std::map<std::string_view, Lines> kAddedToOldTables = {
    {"Ctrller.DB",
     {"ConnectMethod smallint", "ReadCardFormat smallint", "CardMask char(20)",
      "PresentCardDelay integer", "EnablePanicPIN boolean", "PanicPIN char(4)", "UDP_HOST char(50)",
      "UDP_PORT float", "EnableAutoAdjTime boolean", "WinterTriggerTime time",
      "WinterTriggerDate date", "SummerTriggerTime time", "SummerTriggerDate date",
      "WinterHour integer", "SummerHour integer", "AllowAnyCard boolean", "PhoneNumber char(30)"}},
    {"Door.DB",
     {"MainEntrance boolean", "ForceDoorCloseTimeTbl smallint", "DoorPIN char(10)",
      "DoorPINEnableTimeTable smallint", "IsSupportEMCard boolean"}},
    {"Personal.DB",
     {"LastDoorName char(20)", "DoorAccessStatus char(20)", "LastDoorID smallint",
      "LastAccessDate date", "LastAccessTime time", "DeptID smallint", "HomePhoneNum char(20)",
      "MobilePhoneNum char(20)", "DateOfBirth date", "Nationality char(40)",
      "EmergencyContactPerson char(20)", "EmergencyContactNum char(20)", "Address1 char(200)",
      "Address2 char(200)", "Comment1 char(200)", "Comment2 char(200)",
      "RelationToEmployee char(200)"}},
    {"Transact.db", {"DT datetime"}},
    {"Holiday.db", {"HolidayName char(20)"}},
    {"SecMas.DB", {"WorkingHourStart time", "CarParkCount smallint", "CarParkBalance smallint"}},
    {"User.DB", {"FireReportIn boolean",      "FireReportOut boolean", "CardListDetail boolean",
                 "TimeAttendance boolean",    "FirstInRpt boolean",    "LastOutRpt boolean",
                 "FirstINLastOutRpt boolean", "EventAlertRpt boolean", "LateRpt boolean",
                 "EarlyLeaveRpt boolean",     "AttendanceRpt boolean", "Department boolean",
                 "DBBackup boolean",          "DBRestore boolean",     "DoorAccessControl boolean",
                 "PatrolReport boolean",      "StopScan boolean",      "LocMapSetupMode boolean",
                 "LocMapUserMode boolean",    "PersonalData boolean"}},
    {"events.db", {}},
};

std::string typeText(const schema::ColumnLayout& column, int size) {
    using T = schema::ColumnType;
    switch (column.type) {
        case T::Char:
            return "char(" + std::to_string(size) + ")";
        case T::SmallInt:
            return "smallint";
        case T::Integer:
            return "integer";
        case T::AutoInc:
            return "autoinc";
        case T::Boolean:
            return "boolean";
        case T::Date:
            return "date";
        case T::Time:
            return "time";
        case T::DateTime:
            return "datetime";
        case T::Float:
            return "float";
        default:
            return "?";
    }
}

// A table of the upgrade created in the run: its columns for creation, then those added to
// it, at their sizes for creation.
Lines createdLayout(const schema::TableLayout& table) {
    Lines fields;
    for (const schema::ColumnLayout& column : table.columns)
        if (column.created)
            fields.push_back(std::string(column.name) + " " + typeText(column, column.size));
    for (const schema::ColumnLayout& column : table.columns)
        if (column.added && !column.created)
            fields.push_back(std::string(column.name) + " " + typeText(column, column.size));
    return fields;
}

// Stands in for the repair that "Upgrade DataBase" presses at its end: counts the presses,
// notes whether the upgrade left a table or a result open, and appends the repair's text.
struct RepairStandIn {
    void install(RecordingWindow& window, UpgradeForm& form) {
        window.onClick[Control::BitBtn2] = [this, &window, &form] {
            ++presses;
            openAtPress = form.q1.active() || form.Q2.active() || form.Personnel.active() ||
                          form.Department.active();
            window.appendText(Control::Memo1, kRepairText);
        };
    }
    int presses = 0;
    bool openAtPress = false;
};

// One upgrade of the old database, made once for the tests that look at its outcome: an
// upgrade takes seconds, and these tests only read what it left behind.
struct FirstRun {
    fs::path folder;
    std::string log;
    std::string error;
    RepairStandIn repair;
    std::vector<window::MessageBox> boxes;

    FirstRun() {
        std::string pattern = (fs::temp_directory_path() / "vaq-upgraded-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw Error("Cannot make a scratch folder.");
        folder = pattern;
        std::shared_ptr<const pdx::Configuration> previous;
        try {
            previous = pdx::currentConfiguration();
        } catch (const Error&) {
            // The test had no configuration of its own; it reads the file again below.
        }
        pdx::useConfiguration(
            pdx::Configuration::fromText("[alias VAQ]\npath = .\n", folder, "first run"));
        error = upgrade();
        if (previous)
            pdx::useConfiguration(*previous);
        else
            pdx::reloadConfiguration();
    }
    ~FirstRun() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string upgrade() {
        RecordingWindow window;
        std::string failure;
        try {
            writeOldDatabase(folder);
            db::Session session("Session1");
            db::Database mainDB(session, "MainDB", "VAQ");
            mainDB.open();
            UpgradeForm form(window, mainDB);
            repair.install(window, form);
            form.BitBtn1Click();
        } catch (const std::exception& thrown) {
            failure = thrown.what();
        }
        log = window.log();
        boxes = window.boxes;
        return failure;
    }
};

const FirstRun& firstRun() {
    static const FirstRun run;
    return run;
}

class Upgrade : public UpgradeFixture {
  protected:
    void SetUp() override {
        UpgradeFixture::SetUp();
        const std::string missing = missingForUpgrade();
        if (!missing.empty()) GTEST_SKIP() << missing;
        repair_.install(window_, *form_);
    }

    // Each table of the directory with its fields and named indexes.
    std::map<std::string, std::pair<Lines, Lines>> layouts() const {
        std::map<std::string, std::pair<Lines, Lines>> all;
        for (const auto& entry : fs::directory_iterator(data())) {
            const std::string file = entry.path().filename().string();
            if (entry.path().extension() != ".DB" && entry.path().extension() != ".db") continue;
            all[file] = {fieldsOf(file), indexesOf(file)};
        }
        return all;
    }

    RepairStandIn repair_;
};

// The tests that start from the database the first run left, copied, with its log.
class Upgraded : public Upgrade {
  protected:
    void SetUp() override {
        Upgrade::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(firstRun().error, "");
        fs::copy(firstRun().folder, data(), fs::copy_options::recursive);
        window_.setText(Control::Memo1, firstRun().log);
    }
};

TEST_F(Upgraded, OldDatabaseGetsTheWholeLayoutKeepsItsRowsAndLogsEveryStep) {
    EXPECT_EQ(firstRun().log, logText(kFirstRunLog) + std::string(kRepairText));
    EXPECT_EQ(firstRun().repair.presses, 1);
    EXPECT_FALSE(firstRun().repair.openAtPress);
    EXPECT_TRUE(firstRun().boxes.empty());
    // Tables of the access-control program: their own columns, then the added ones; their
    // rows keep every value in their own columns.
    for (const OldTable& old : oldTables()) {
        if (old.name == "AntiPassBack.db") continue;
        SCOPED_TRACE(old.name);
        Lines expected(old.fields.begin(), old.fields.end());
        const Lines& added = kAddedToOldTables.at(old.name);
        expected.insert(expected.end(), added.begin(), added.end());
        EXPECT_EQ(fieldsOf(old.name), expected);
        if (old.name == "events.db") continue;
        std::vector<std::string_view> ownColumns;
        for (const std::string_view field : old.fields)
            ownColumns.push_back(field.substr(0, field.find(' ')));
        EXPECT_EQ(rowsOf(old.name, ownColumns), Lines(old.rows.begin(), old.rows.end()));
    }

    // Tables the upgrade creates, in their full layout with their keys.
    for (const schema::TableLayout& table : schema::tables()) {
        if (table.group != schema::TableGroup::CreatedByUpgrade) continue;
        SCOPED_TRACE(table.name);
        ASSERT_TRUE(tableExists(table.name));
        EXPECT_EQ(fieldsOf(table.name), createdLayout(table));
        EXPECT_EQ(pdx::Table::open(data(), table.name)->schema().key_fields(),
                  table.primaryKey.size());
    }

    // Named indexes: the ones each table must have, and no other.
    for (const schema::TableLayout& table : schema::tables()) {
        if (!tableExists(table.name)) continue;
        SCOPED_TRACE(table.name);
        Lines expected;
        for (const schema::IndexLayout& index : table.indexes)
            expected.emplace_back(index.name);
        EXPECT_EQ(indexesOf(table.name), expected);
    }
    EXPECT_FALSE(tableExists("tmpdb"));
    EXPECT_FALSE(tableExists("AntiPassBackOld"));
}

TEST_F(Upgraded, ReferenceRowsAreWrittenAndEarlierContentIsGone) {
    Lines events;
    for (const CodeName& event : eventNames())
        events.push_back(std::to_string(event.code) + "|" + std::string(event.name));
    ASSERT_EQ(events.size(), 50u);
    EXPECT_EQ(rowsOf("events"), events);
    EXPECT_THAT(rowsOf("CardFormat"),
                ElementsAre("0|Normal 32-bit", "1|Custom Mask", "2|Reverse 32-bit"));
    EXPECT_THAT(rowsOf("LeaveType"), ElementsAre("1|Annual Leave", "2|Sick Leave with Certificate",
                                                 "3|Sick Leave without Certificate"));
    EXPECT_THAT(rowsOf("DoorStatus"), ElementsAre("1|128", "2|128", "3|128"));
}

TEST_F(Upgraded, NewColumnsGetTheirFirstValuesInEveryExistingRow) {
    EXPECT_THAT(rowsOf("Ctrller", {"ConnectMethod", "ReadCardFormat", "CardMask",
                                   "PresentCardDelay", "EnablePanicPIN", "PanicPIN", "UDP_HOST",
                                   "UDP_PORT", "EnableAutoAdjTime", "WinterTriggerTime",
                                   "WinterTriggerDate", "SummerTriggerTime", "SummerTriggerDate",
                                   "WinterHour", "SummerHour", "AllowAnyCard", "PhoneNumber"}),
                ElementsAre("1|||0|false|1234||1001|false|00:00:00|2000-01-01|00:00:00|"
                            "2000-01-01|0|0|false|",
                            "1|||0|false|1234||1001|false|00:00:00|2000-01-01|00:00:00|"
                            "2000-01-01|0|0|false|"));
    EXPECT_THAT(rowsOf("Door", {"MainEntrance", "ForceDoorCloseTimeTbl", "DoorPIN",
                                "DoorPINEnableTimeTable", "IsSupportEMCard"}),
                ElementsAre("||||false", "||||false", "||||false"));
    EXPECT_THAT(rowsOf("SecMas", {"WorkingHourStart", "CarParkCount", "CarParkBalance"}),
                ElementsAre("09:00:00||", "09:00:00||"));
}

TEST_F(Upgraded, AntiPassBackWithoutKeyIsRebuiltNumberedInSelectOrder) {
    EXPECT_THAT(fieldsOf("AntiPassBack"),
                ElementsAre("Pkey autoinc", "ControllerID smallint", "FromDoorID smallint",
                            "FromDirection smallint", "ToDOorID smallint", "ToDirection smallint"));
    EXPECT_EQ(pdx::Table::open(data(), "AntiPassBack")->schema().key_fields(), 1u);
    EXPECT_THAT(rowsOf("AntiPassBack"), ElementsAre("1|2|1|0|1|1", "2|1|1|0|2|1", "3|1|2|1|1|0"));
}

TEST_F(Upgraded, SecondRunChangesNoLayoutAndAppendsOnlyWhatEveryRunWrites) {
    const auto before = layouts();
    const std::string firstLog = window_.log();

    form_->BitBtn1Click();
    EXPECT_EQ(layouts(), before);
    EXPECT_EQ(window_.log(), firstLog + logText(kLaterRunLog) + std::string(kRepairText));
    EXPECT_EQ(indexesOf("Leave"), (Lines{"idx_StaffID"}));
    EXPECT_EQ(repair_.presses, 1);
    EXPECT_THAT(rowsOf("AntiPassBack"), ElementsAre("1|2|1|0|1|1", "2|1|1|0|2|1", "3|1|2|1|1|0"));
}

// A table as pxlib, written by other people, sees it: fields with type and size, and the
// bytes of every record in the order the data blocks hold them.
Lines pxlibView(const fs::path& file) {
    pdx::testing::PxlibTable px(file.string());
    Lines view;
    for (int i = 0; i < px.field_count(); ++i) {
        const pxfield_t& field = px.field(i);
        view.push_back(std::string(field.px_fname) + " " + std::to_string(field.px_ftype) + " " +
                       std::to_string(field.px_flen));
    }
    const auto size = static_cast<std::size_t>(px.doc()->px_head->px_recordsize);
    for (int n = 0; n < px.record_count(); ++n)
        view.emplace_back(px.read_record(n), size);
    return view;
}

Lines engineView(const fs::path& file) {
    const auto table = pdx::Table::open_file(file);
    Lines view;
    for (const pdx::Field& field : table->schema().fields())
        view.push_back(field.stored_name + " " +
                       std::to_string(static_cast<int>(field.descriptor.type)) + " " +
                       std::to_string(field.width()));
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        const pdx::Bytes record = cursor->record();
        view.emplace_back(reinterpret_cast<const char*>(record.data()), record.size());
    }
    return view;
}

TEST_F(Upgraded, EveryTableReadsIdenticallyThroughPxlib) {
    int tables = 0;
    for (const auto& entry : fs::directory_iterator(data())) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".DB" && extension != ".db") continue;
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(pxlibView(entry.path()), engineView(entry.path()));
        ++tables;
    }
    EXPECT_EQ(tables, 27);
}

TEST_F(Upgrade, LeftoverTmpdbIsDroppedBeforeTheCopyAndKeptWhenTheTableHasItsKey) {
    writeOldDatabase(data());
    sql({"CREATE TABLE \"tmpdb.DB\" (Leftover Char(10))", "INSERT INTO tmpdb VALUES ('x')"});
    form_->rebuildAntiPassBack();
    EXPECT_FALSE(tableExists("tmpdb"));
    EXPECT_EQ(rowsOf("AntiPassBack").size(), 3u);

    sql({"CREATE TABLE \"tmpdb.DB\" (Leftover Char(10))", "INSERT INTO tmpdb VALUES ('x')"});
    const auto before = snapshot();
    form_->rebuildAntiPassBack();
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(form_->q1.active());
    EXPECT_EQ(form_->q1.text(), "Select * from \"antiPassback.DB\"");
}

TEST_F(Upgrade, MissingDoorTableStopsTheRunWithTheEngineErrorAndKeepsEarlierSteps) {
    writeOldDatabase(data(), {"Door.DB"});
    const std::string error = failureOf([&] { form_->BitBtn1Click(); });
    EXPECT_THAT(error, HasSubstr("Door"));
    EXPECT_EQ(logLines(), Lines(kFirstRunLog.begin(), kFirstRunLog.begin() + 4));
    for (const std::string_view table : {"EMCARD_MAS", "EMCARD_DET", "CardFormat", "DoorTree"})
        EXPECT_TRUE(tableExists(table)) << table;
    EXPECT_FALSE(tableExists("WorkOn"));
    EXPECT_EQ(repair_.presses, 0);
    EXPECT_FALSE(form_->Personnel.active());

    // The next run skips what was made and goes on once the table is there.
    writeOldDatabase(data(), {"Ctrller.DB", "Personal.DB", "Transact.db", "Holiday.db", "SecMas.DB",
                              "User.DB", "AntiPassBack.db", "events.db"});
    window_.setText(Control::Memo1, "");
    form_->BitBtn1Click();
    EXPECT_EQ(
        logText(Lines(kFirstRunLog.begin() + 4, kFirstRunLog.end())) + std::string(kRepairText),
        window_.log());
}

TEST_F(Upgrade, MissingUserTableStopsTheRunAtItsColumnBlock) {
    writeOldDatabase(data(), {"User.DB"});
    EXPECT_THAT(failureOf([&] { form_->BitBtn1Click(); }), HasSubstr("User"));
    EXPECT_EQ(logLines(), Lines(kFirstRunLog.begin(), kFirstRunLog.begin() + 5));
    EXPECT_EQ(repair_.presses, 0);
}

TEST_F(Upgrade, DoorTableWithoutRowsLeavesDoorStatusEmpty) {
    writeOldDatabase(data());
    sql({"delete from Door",
         "CREATE TABLE \"DoorStatus.db\" (DoorID smallint,\tStatus "
         "smallint, Primary Key(DoorID, Status) )",
         "INSERT INTO DoorStatus VALUES (9, 1)"});
    form_->refillDoorStatus();
    EXPECT_TRUE(rowsOf("DoorStatus").empty());
    EXPECT_TRUE(form_->q1.active());
}

}  // namespace
}  // namespace vaq::upgrade::testing
