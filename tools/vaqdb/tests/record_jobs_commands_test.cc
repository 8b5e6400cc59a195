// The shell's record jobs over a generated database: the back-fill, the key re-arrangement
// and the import of a transaction file, with what they print.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/table.h"
#include "engine/api/config.h"
#include "tools/vaqdb/shell.h"
#include "tools/vaqdb/tests/generated_database_test.h"

namespace vaq::shell {
namespace {

namespace fs = std::filesystem;

class RecordJobsCommandsTest : public GeneratedDatabaseTest {
  protected:
    RecordJobsCommandsTest()
        : GeneratedDatabaseTest("vaqdb-records", 50, kOtherAliasAndPrivateDir) {}

    // A column of a table through the alias VAQ standing for data().
    std::vector<std::string> column(const std::string& table, const std::string& field) {
        pdx::use_configuration(pdx::Configuration::from_text(
            "[alias VAQ]\npath = data\n[engine]\nprivate_dir = private\n", root_, "test"));
        std::vector<std::string> values;
        vaq::db::Table t("VAQ", table);
        t.open();
        for (t.first(); !t.eof(); t.next())
            values.push_back(t.field_by_name(field).as_string());
        return values;
    }
};

TEST_F(RecordJobsCommandsTest, BackfillPrintsItsCompletionLineAndBox) {
    const Outcome backfill = run({".backfill"});
    ASSERT_EQ(backfill.status, 0) << backfill.err;
    EXPECT_EQ(backfill.out.rfind("Update Completed :  ---- From : ", 0), 0U) << backfill.out;
    EXPECT_NE(backfill.out.find("\nbox: Update Completed\n"), std::string::npos);
    // Then what it did, counted.
    EXPECT_NE(backfill.out.find(" transactions read: "), std::string::npos) << backfill.out;
}

TEST_F(RecordJobsCommandsTest, RearrangeRenumbersTheKeysOfTheFourTables) {
    const Outcome rearrange = run({".rearrange"});
    ASSERT_EQ(rearrange.status, 0) << rearrange.err;
    if (rearrange.out.find("Re-arrange Fail!") != std::string::npos)
        GTEST_SKIP() << "the engine refused a statement: " << rearrange.out;
    EXPECT_EQ(rearrange.out, "box: Update Completed\n");
    const std::vector<std::string> keys = column("MessForm", "MessID");
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], std::to_string(i + 1));
}

TEST_F(RecordJobsCommandsTest, AFailedRearrangeSaysWhyAndExitsOne) {
    for (const auto& entry : fs::directory_iterator(data()))
        if (entry.path().stem() == "MessSys") fs::remove(entry.path());
    const Outcome rearrange = run({".rearrange"});
    EXPECT_EQ(rearrange.status, 1);
    EXPECT_EQ(rearrange.out, "box: Re-arrange Fail!\nbox: Update Completed\n");
    EXPECT_NE(rearrange.err.find("Table does not exist: MessSys"), std::string::npos)
        << rearrange.err;
    // The pair before the failing one is done.
    const std::vector<std::string> keys = column("MessForm", "MessID");
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], std::to_string(i + 1));
}

TEST_F(RecordJobsCommandsTest, ImportTransactionsReadsTheNamedFile) {
    const std::size_t before = column("Transact", "TransID").size();
    const fs::path file = root_ / "lines.txt";
    std::ofstream(file) << "15/10/2004,15:33:00,1,1,15433336,1\n1/2/2004\n";
    const Outcome import = run({".import-transactions", file.string()});
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_EQ(import.out, "");
    EXPECT_EQ(column("Transact", "TransID").size(), before + 2);

    const Outcome missing = run({".import-transactions", (root_ / "none.txt").string()});
    EXPECT_EQ(missing.out, "box: File not found.\n");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "File not found: " + (root_ / "none.txt").string() + "\n");
    const Outcome bad = run({".import-transactions"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Usage: .import-transactions [--all] FILE\n");
    const Outcome folder = run({".import-transactions", root_.string()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;

    std::ofstream(file) << "31/02/2004\n";
    const Outcome invalid = run({".import-transactions", file.string()});
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.err,
              "Line 1: '31/02/2004' is not a valid date and time. No line was imported.\n");
}

TEST_F(RecordJobsCommandsTest, ImportTransactionsAgainGoesOnAfterTheStoredLinesOrTakesAll) {
    const std::size_t before = column("Transact", "TransID").size();
    const fs::path file = root_ / "lines.txt";
    std::ofstream(file) << "15/10/2004,15:33:00,1,1,1,1\n16/10/2004\n";
    ASSERT_EQ(run({".import-transactions", file.string()}).status, 0);
    std::ofstream(file, std::ios::app) << "17/10/2004\n";
    const Outcome again = run({".import-transactions", file.string()});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.rfind("box: Lines 1-2 of this file were imported on ", 0), 0U) << again.out;
    EXPECT_NE(again.out.find("; importing from line 3.\n"), std::string::npos) << again.out;
    EXPECT_EQ(column("Transact", "TransID").size(), before + 3);
    const Outcome all = run({".import-transactions", "--all", file.string()});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, "");
    EXPECT_EQ(column("Transact", "TransID").size(), before + 6);
}

TEST_F(RecordJobsCommandsTest, TheControllerKeyIsRememberedForTheWholeRun) {
    const std::vector<std::string> numbers = column("Ctrller.DB", "ID");
    const std::vector<std::string> keys = column("Ctrller.DB", "ControllerID");
    const std::vector<std::string> doorControllers = column("Door.DB", "ControllerID");
    const std::vector<std::string> doorNumbers = column("Door.DB", "ID");
    const std::vector<std::string> doorKeys = column("Door.DB", "DoorID");
    ASSERT_FALSE(numbers.empty());
    std::size_t door = 0;
    while (door < doorKeys.size() && doorControllers[door] != keys[0])
        ++door;
    ASSERT_LT(door, doorKeys.size());
    const fs::path first = root_ / "first.txt";
    const fs::path second = root_ / "second.txt";
    std::ofstream(first) << "15/10/2004,15:33:00," << numbers[0] << "," << doorNumbers[door]
                         << ",1,1\n";
    // No controller 99999: the door is looked up under the key the first import found.
    std::ofstream(second) << "16/10/2004,15:33:00,99999," << doorNumbers[door] << ",1,1\n";
    const Outcome script = run({}, ".import-transactions " + first.string() +
                                       "\n.import-transactions " + second.string() + "\n");
    ASSERT_EQ(script.status, 0) << script.err;
    const std::vector<std::string> doors = column("Transact", "DoorID");
    ASSERT_GE(doors.size(), 2U);
    EXPECT_EQ(doors[doors.size() - 2], doorKeys[door]);
    EXPECT_EQ(doors.back(), doorKeys[door]);
}

}  // namespace
}  // namespace vaq::shell
