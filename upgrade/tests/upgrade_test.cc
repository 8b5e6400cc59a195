// "Upgrade DataBase" on a small old-layout database: one run gives every table, column and
// index of the 3.2.1 layout, keeps every row, writes the reference rows and the exact log;
// a second run changes no layout and appends only the lines that every run writes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <map>
#include <memory>

#include "common/error.h"
#include "db/schema.h"
#include "engine/api/config.h"
#include "engine/table/table.h"
#include "upgrade/column_blocks.h"
#include "upgrade/reference_data.h"
#include "upgrade/tests/old_database.h"
#include "upgrade/tests/upgrade_expectations.h"
#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

namespace schema = db::schema;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using window::Control;

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
        const AliasVaqAt alias(folder, "first run");
        error = upgrade();
    }
    ~FirstRun() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    std::string upgrade() {
        test_support::MemoryWindow window;
        std::string failure;
        try {
            write_old_database(folder);
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

const FirstRun& first_run() {
    static const FirstRun run;
    return run;
}

// Another process holding a byte-range lock on a file, as a Paradox program holds its
// lock files, until the object goes.
class LockHolder {
  public:
    explicit LockHolder(const fs::path& file) {
        std::ofstream(file, std::ios::app).put('\0');
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release_[1]);
            const int fd = ::open(file.c_str(), O_RDWR);
            struct flock range {};
            range.l_type = F_WRLCK;
            range.l_whence = SEEK_SET;
            if (fd < 0 || ::fcntl(fd, F_SETLK, &range) != 0) ::_exit(2);
            const char ok = 1;
            if (::write(ready[1], &ok, 1) != 1) ::_exit(3);
            char byte = 0;
            while (::read(release_[0], &byte, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char byte = 0;
        if (::read(ready[0], &byte, 1) != 1) throw std::runtime_error("the holder failed");
        ::close(ready[0]);
    }
    ~LockHolder() {
        ::close(release_[1]);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
};

class Upgrade : public UpgradeFixture {
  protected:
    void SetUp() override {
        UpgradeFixture::SetUp();
        repair_.install(window_, *form_);
    }

    // Each table of the directory with its fields and named indexes.
    std::map<std::string, std::pair<Lines, Lines>> layouts() const {
        std::map<std::string, std::pair<Lines, Lines>> all;
        for (const auto& entry : fs::directory_iterator(data())) {
            const std::string file = entry.path().filename().string();
            if (entry.path().extension() != ".DB" && entry.path().extension() != ".db") continue;
            all[file] = {fields_of(file), indexes_of(file)};
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
        ASSERT_EQ(first_run().error, "");
        fs::copy(first_run().folder, data(), fs::copy_options::recursive);
        window_.set_text(Control::Memo1, first_run().log);
    }
};

TEST_F(Upgraded, OldDatabaseGetsTheWholeLayoutKeepsItsRowsAndLogsEveryStep) {
    EXPECT_EQ(first_run().log, log_text(kFirstRunLog) + std::string(kRepairText));
    EXPECT_EQ(first_run().repair.presses, 1);
    EXPECT_FALSE(first_run().repair.openAtPress);
    EXPECT_TRUE(first_run().boxes.empty());
    // Tables of the access-control program: their own columns, then the added ones; their
    // rows keep every value in their own columns.
    for (const OldTable& old : old_tables()) {
        if (old.name == "AntiPassBack.db") continue;
        SCOPED_TRACE(old.name);
        Lines expected(old.fields.begin(), old.fields.end());
        const Lines& added = kAddedToOldTables.at(old.name);
        expected.insert(expected.end(), added.begin(), added.end());
        EXPECT_EQ(fields_of(old.name), expected);
        if (old.name == "events.db") continue;
        std::vector<std::string_view> ownColumns;
        for (const std::string_view field : old.fields)
            ownColumns.push_back(field.substr(0, field.find(' ')));
        EXPECT_EQ(rows_of(old.name, ownColumns), Lines(old.rows.begin(), old.rows.end()));
    }

    // Tables the upgrade creates, in their full layout with their keys.
    for (const schema::TableLayout& table : schema::tables()) {
        if (table.group != schema::TableGroup::kCreatedByUpgrade) continue;
        SCOPED_TRACE(table.name);
        ASSERT_TRUE(table_exists(table.name));
        EXPECT_EQ(fields_of(table.name), created_layout(table));
        EXPECT_EQ(pdx::Table::open(data(), table.name)->schema().key_fields(),
                  table.primaryKey.size());
    }

    // Named indexes: the ones each table must have, and no other.
    for (const schema::TableLayout& table : schema::tables()) {
        if (!table_exists(table.name)) continue;
        SCOPED_TRACE(table.name);
        Lines expected;
        for (const schema::IndexLayout& index : table.indexes)
            expected.emplace_back(index.name);
        EXPECT_EQ(indexes_of(table.name), expected);
    }
    EXPECT_FALSE(table_exists("tmpdb"));
    EXPECT_FALSE(table_exists("AntiPassBackOld"));
}

TEST_F(Upgraded, ReferenceRowsAreWrittenAndEarlierContentIsGone) {
    Lines events;
    for (const CodeName& event : event_names())
        events.push_back(std::to_string(event.code) + "|" + std::string(event.name));
    ASSERT_EQ(events.size(), 50u);
    EXPECT_EQ(rows_of("events"), events);
    EXPECT_THAT(rows_of("CardFormat"),
                ElementsAre("0|Normal 32-bit", "1|Custom Mask", "2|Reverse 32-bit"));
    EXPECT_THAT(rows_of("LeaveType"), ElementsAre("1|Annual Leave", "2|Sick Leave with Certificate",
                                                  "3|Sick Leave without Certificate"));
    EXPECT_THAT(rows_of("DoorStatus"), ElementsAre("1|128", "2|128", "3|128"));
}

TEST_F(Upgraded, NewColumnsGetTheirFirstValuesInEveryExistingRow) {
    EXPECT_THAT(rows_of("Ctrller", {"ConnectMethod", "ReadCardFormat", "CardMask",
                                    "PresentCardDelay", "EnablePanicPIN", "PanicPIN", "UDP_HOST",
                                    "UDP_PORT", "EnableAutoAdjTime", "WinterTriggerTime",
                                    "WinterTriggerDate", "SummerTriggerTime", "SummerTriggerDate",
                                    "WinterHour", "SummerHour", "AllowAnyCard", "PhoneNumber"}),
                ElementsAre("1|||0|false|1234||1001|false|00:00:00|2000-01-01|00:00:00|"
                            "2000-01-01|0|0|false|",
                            "1|||0|false|1234||1001|false|00:00:00|2000-01-01|00:00:00|"
                            "2000-01-01|0|0|false|"));
    EXPECT_THAT(rows_of("Door", {"MainEntrance", "ForceDoorCloseTimeTbl", "DoorPIN",
                                 "DoorPINEnableTimeTable", "IsSupportEMCard"}),
                ElementsAre("||||false", "||||false", "||||false"));
    EXPECT_THAT(rows_of("SecMas", {"WorkingHourStart", "CarParkCount", "CarParkBalance"}),
                ElementsAre("09:00:00||", "09:00:00||"));
}

TEST_F(Upgraded, AntiPassBackWithoutKeyIsRebuiltNumberedInSelectOrder) {
    EXPECT_THAT(fields_of("AntiPassBack"),
                ElementsAre("Pkey autoinc", "ControllerID smallint", "FromDoorID smallint",
                            "FromDirection smallint", "ToDOorID smallint", "ToDirection smallint"));
    EXPECT_EQ(pdx::Table::open(data(), "AntiPassBack")->schema().key_fields(), 1u);
    EXPECT_THAT(rows_of("AntiPassBack"), ElementsAre("1|2|1|0|1|1", "2|1|1|0|2|1", "3|1|2|1|1|0"));
}

TEST_F(Upgraded, SecondRunChangesNoLayoutAndAppendsOnlyWhatEveryRunWrites) {
    const auto before = layouts();
    const std::string firstLog = window_.log();

    form_->BitBtn1Click();
    EXPECT_EQ(layouts(), before);
    EXPECT_EQ(window_.log(), firstLog + log_text(kLaterRunLog) + std::string(kRepairText));
    EXPECT_EQ(indexes_of("Leave"), (Lines{"idx_StaffID"}));
    EXPECT_EQ(repair_.presses, 1);
    EXPECT_THAT(rows_of("AntiPassBack"), ElementsAre("1|2|1|0|1|1", "2|1|1|0|2|1", "3|1|2|1|1|0"));
}

TEST_F(Upgraded, EveryTableReadsIdenticallyThroughPxlib) {
    int tables = 0;
    for (const auto& entry : fs::directory_iterator(data())) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".DB" && extension != ".db") continue;
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(pxlib_view(entry.path()), engine_view(entry.path()));
        ++tables;
    }
    EXPECT_EQ(tables, 27);
}

TEST_F(Upgrade, LeftoverTmpdbIsDroppedBeforeTheCopyAndKeptWhenTheTableHasItsKey) {
    write_old_database(data());
    sql({"CREATE TABLE \"tmpdb.DB\" (Leftover Char(10))", "INSERT INTO tmpdb VALUES ('x')"});
    form_->rebuild_anti_pass_back();
    EXPECT_FALSE(table_exists("tmpdb"));
    EXPECT_EQ(rows_of("AntiPassBack").size(), 3u);

    sql({"CREATE TABLE \"tmpdb.DB\" (Leftover Char(10))", "INSERT INTO tmpdb VALUES ('x')"});
    const auto before = snapshot();
    form_->rebuild_anti_pass_back();
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(form_->q1.active());
    EXPECT_EQ(form_->q1.text(), "Select * from \"antiPassback.DB\"");
}

TEST_F(Upgrade, MissingDoorTableStopsTheRunWithTheEngineErrorAndKeepsEarlierSteps) {
    write_old_database(data(), {"Door.DB"});
    const std::string error = failure_of([&] { form_->BitBtn1Click(); });
    EXPECT_THAT(error, HasSubstr("Door"));
    EXPECT_EQ(log_lines(), Lines(kFirstRunLog.begin(), kFirstRunLog.begin() + 4));
    for (const std::string_view table : {"EMCARD_MAS", "EMCARD_DET", "CardFormat", "DoorTree"})
        EXPECT_TRUE(table_exists(table)) << table;
    EXPECT_FALSE(table_exists("WorkOn"));
    EXPECT_EQ(repair_.presses, 0);
    EXPECT_FALSE(form_->Personnel.active());

    // The next run skips what was made and goes on once the table is there.
    write_old_database(data(), {"Ctrller.DB", "Personal.DB", "Transact.db", "Holiday.db",
                                "SecMas.DB", "User.DB", "AntiPassBack.db", "events.db"});
    window_.set_text(Control::Memo1, "");
    form_->BitBtn1Click();
    EXPECT_EQ(
        log_text(Lines(kFirstRunLog.begin() + 4, kFirstRunLog.end())) + std::string(kRepairText),
        window_.log());
}

TEST_F(Upgrade, MissingUserTableStopsTheRunAtItsColumnBlock) {
    write_old_database(data(), {"User.DB"});
    EXPECT_THAT(failure_of([&] { form_->BitBtn1Click(); }), HasSubstr("User"));
    EXPECT_EQ(log_lines(), Lines(kFirstRunLog.begin(), kFirstRunLog.begin() + 5));
    EXPECT_EQ(repair_.presses, 0);
}

TEST_F(Upgrade, DoorTableWithoutRowsLeavesDoorStatusEmpty) {
    write_old_database(data());
    sql({"delete from Door",
         "CREATE TABLE \"DoorStatus.db\" (DoorID smallint,\tStatus "
         "smallint, Primary Key(DoorID, Status) )",
         "INSERT INTO DoorStatus VALUES (9, 1)"});
    form_->refill_door_status();
    EXPECT_TRUE(rows_of("DoorStatus").empty());
    EXPECT_TRUE(form_->q1.active());
}

TEST_F(Upgrade, ATableHeldByAnotherProgramStopsTheUpgradeBeforeAnyChange) {
    write_old_database(data());
    {
        const LockHolder door(data() / "Door.LCK");
        const auto before = snapshot();
        const std::string error = failure_of([&] { form_->BitBtn1Click(); });
        EXPECT_THAT(error, HasSubstr("Nothing was upgraded"));
        EXPECT_THAT(error, HasSubstr("Door.DB"));
        EXPECT_THAT(error, ::testing::Not(HasSubstr("Personal")));
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(window_.log(), "");
    }
    {
        // The directory's own lock file holds every table, those still to be created too.
        const LockHolder directory(data() / "PDOXUSRS.LCK");
        const auto before = snapshot();
        const std::string error = failure_of([&] { form_->BitBtn1Click(); });
        EXPECT_THAT(error, HasSubstr("Personal.DB"));
        EXPECT_THAT(error, HasSubstr("EMCARD_MAS.db"));
        EXPECT_EQ(snapshot(), before);
    }
    EXPECT_EQ(failure_of([&] { form_->BitBtn1Click(); }), "no error");
}

TEST_F(Upgrade, ADepartmentNameCutToFitIsLoggedOnce) {
    write_old_database(data(), {"Personal.DB"});
    sql(
        {"CREATE TABLE \"Personal.DB\" (PersonalID autoinc, CardID Char(10), StaffID Char(20), "
         "Name Char(40), Department Char(10), DeptID smallint, PRIMARY KEY (PersonalID))",
         "INSERT INTO Personal (CardID, Name, DeptID) VALUES ('0001', 'A', 1)",
         "INSERT INTO Personal (CardID, Name, DeptID) VALUES ('0002', 'B', 1)",
         "INSERT INTO Personal (CardID, Name, DeptID) VALUES ('0003', 'C', 2)",
         "CREATE TABLE \"Department.DB\" (DeptID smallint, DeptName char(40), LateAllowance "
         "smallint, EnableLateAllowance boolean)",
         "INSERT INTO Department (DeptID, DeptName) VALUES (1, 'Information Technology')",
         "INSERT INTO Department (DeptID, DeptName) VALUES (2, 'Sales')"});
    ASSERT_EQ(failure_of([&] { form_->BitBtn1Click(); }), "no error");
    const std::string log = window_.log();
    const std::string cut = "Department name 'Information Technology' cut to 'Informatio'.\r\n";
    const std::size_t first = log.find(cut);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(cut, first + 1), std::string::npos) << "logged twice";
    EXPECT_EQ(rows_of("Personal", {"Department"}), (Lines{"Informatio", "Informatio", "Sales"}));
}

TEST_F(Upgrade, TheRebuiltAntiPassBackTableKeepsItsLetterCase) {
    write_old_database(data());
    ASSERT_EQ(failure_of([&] { form_->BitBtn1Click(); }), "no error");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(data()))
        if (entry.path().stem() == "AntiPassBack") names.push_back(entry.path().filename());
    EXPECT_THAT(names, ::testing::Contains("AntiPassBack.db"));
    EXPECT_THAT(names, ::testing::Not(::testing::Contains("AntiPassBack.DB")));
}

}  // namespace
}  // namespace vaq::upgrade::testing
