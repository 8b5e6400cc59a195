// Statements run with each of their file-changing calls failing in turn (once with EIO, and
// from then on with ENOSPC): the statement reports the error, and afterwards every table
// reads alike through the engine and pxlib and holds the records of before the statement or
// of after it.

#include <gtest/gtest.h>

#include <string>

#include "engine/sql/executor.h"
#include "engine/table/tests/fault_sweep.h"
#include "engine/table/tests/test_support.h"

namespace pdx::sql::testing {
namespace {

namespace fs = std::filesystem;
using pdx::testing::DatabaseState;
using pdx::testing::Sweep;
using pdx::testing::SweepTally;
using pdx::testing::TempDir;

// A keyed table of five records, a keyed table of 40 wide records over several blocks with a
// secondary index, and an unkeyed table, written once and copied for every run.
class StatementFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        template_ = new TempDir;
        Executor sql(template_->path());
        sql.execute("CREATE TABLE Keyed (Id smallint, Name char(20), PRIMARY KEY (Id))");
        sql.execute(
            "INSERT INTO Keyed VALUES (1, 'one'), (2, 'two'), (3, 'three'), (4, 'four'), "
            "(5, 'five')");
        sql.execute(
            "CREATE TABLE Wide (Id integer, Name char(200), Size integer, PRIMARY KEY (Id))");
        std::string rows;
        for (int i = 1; i <= 40; ++i)
            rows += std::string(rows.empty() ? "" : ", ") + "(" + std::to_string(i * 10) +
                    ", 'row " + std::to_string(i) + "', " + std::to_string(i % 7) + ")";
        sql.execute("INSERT INTO Wide VALUES " + rows);
        sql.execute("CREATE INDEX BySize ON Wide (Size)");
        sql.execute("CREATE TABLE Heap (Text char(30), Amount integer)");
        sql.execute("INSERT INTO Heap VALUES ('a', 1), ('b', 2), ('c', 3)");
    }
    static void TearDownTestSuite() {
        delete template_;
        template_ = nullptr;
    }

    static void copy_template(const fs::path& into) {
        pdx::testing::copy_files(template_->path(), into);
    }

    // The sweep of `statement`: before and after are read from runs without a fault.
    SweepTally sweep(const std::string& statement, std::uint64_t every = 1) {
        const fs::path folder = work_ / std::to_string(++sweeps_);
        const fs::path before = folder / "before";
        const fs::path after = folder / "after";
        fs::create_directories(before);
        fs::create_directories(after);
        copy_template(before);
        copy_template(after);
        Executor(after).execute(statement);
        const DatabaseState old_state = pdx::testing::read_database(before);
        const DatabaseState new_state = pdx::testing::read_database(after);
        Sweep s{statement, copy_template,
                [&](const fs::path& run) { Executor(run).execute(statement); },
                [&](const DatabaseState& state) {
                    return pdx::testing::holds(state, old_state) ||
                           pdx::testing::holds(state, new_state);
                }};
        SweepTally tally =
            pdx::testing::sweep_every_point(s, folder / "runs", pdx::kEveryFileCall, every);
        tally.print();
        return tally;
    }

    static TempDir* template_;
    TempDir dir_;
    fs::path work_ = dir_.path();
    int sweeps_ = 0;
};

TempDir* StatementFaults::template_ = nullptr;

TEST_F(StatementFaults, DeleteOfTheRecordsOfAKeyedTable) {
    const SweepTally tally = sweep("DELETE FROM Keyed WHERE Id <> 3");
    EXPECT_GT(tally.points, 20u);
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

// The undo of a DELETE that emptied the table puts the records back into a table whose
// primary index was emptied too, or was read again after a failed write.
TEST_F(StatementFaults, DeleteThatEmptiesAKeyedTable) {
    const SweepTally tally = sweep("DELETE FROM Keyed");
    EXPECT_GT(tally.points, 20u);
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

TEST_F(StatementFaults, DeleteOfSomeRecordsAcrossBlocksAndAnIndex) {
    const SweepTally tally = sweep("DELETE FROM Wide WHERE Size = 3 OR Id > 300");
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

TEST_F(StatementFaults, InsertOfSeveralRecords) {
    SweepTally tally = sweep("INSERT INTO Keyed VALUES (0, 'zero'), (6, 'six'), (9, 'nine')");
    tally.add(
        sweep("INSERT INTO Wide VALUES (15, 'between', 1), (405, 'after', 2), (1, 'first', 3)"));
    tally.add(sweep("INSERT INTO Heap VALUES ('d', 4), ('e', 5)"));
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

TEST_F(StatementFaults, UpdateInPlaceAndOfKeys) {
    SweepTally tally = sweep("UPDATE Keyed SET Name = 'changed' WHERE Id > 2");
    tally.add(sweep("UPDATE Wide SET Size = 9 WHERE Size = 1"));
    tally.add(sweep("UPDATE Wide SET Id = 1000 WHERE Id = 20"));
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

TEST_F(StatementFaults, AlterTableAdd) {
    SweepTally tally = sweep("ALTER TABLE Wide ADD Extra char(10)");
    tally.add(sweep("ALTER TABLE Keyed ADD Flag boolean, ADD Amount money"));
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

}  // namespace
}  // namespace pdx::sql::testing
