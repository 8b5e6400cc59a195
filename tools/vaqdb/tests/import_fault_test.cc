// .import with its file-changing calls failing in turn (every other one; once with EIO, and
// from then on with ENOSPC): the command ends with status 1, and afterwards the table reads
// alike through the engine and pxlib and holds its own records and the first rows of the
// file, none of them twice.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/sql/executor.h"
#include "engine/table/crash_points.h"
#include "engine/table/tests/fault_sweep.h"
#include "engine/table/tests/test_support.h"
#include "tools/vaqdb/shell.h"

namespace vaq::shell {
namespace {

namespace fs = std::filesystem;
using pdx::testing::DatabaseState;
using pdx::testing::Records;
using pdx::testing::Sweep;
using pdx::testing::SweepTally;
using pdx::testing::TempDir;

// The records of the table in table order.
Records records_in_order(const fs::path& table_file) {
    const auto table = pdx::Table::open_file(table_file, pdx::Access::kRead);
    Records records;
    for (auto cursor = table->open_cursor(); !cursor->eof(); cursor->next()) {
        const pdx::Bytes record = cursor->record();
        records.emplace_back(record.begin(), record.end());
    }
    return records;
}

int import(const fs::path& folder, const fs::path& csv, const std::string& table) {
    std::istringstream in;
    std::ostringstream out, err;
    return run_main({folder.string(), ".import", csv.string(), table}, in, out, err);
}

// `create` makes the table with a few records of its own; the CSV's rows come in key order,
// so that table order is file order after them.
SweepTally sweep_import(const fs::path& root, const std::string& table,
                        const std::vector<std::string>& create) {
    const fs::path csv = root / "rows.csv";
    {
        std::ofstream out(csv);
        out << "Id,Name\n";
        for (int i = 1; i <= 20; ++i)
            out << 100 + i << ",imported row " << i << " " << std::string(200, 'x') << "\n";
    }
    const fs::path original = root / "original";
    fs::create_directories(original);
    {
        pdx::sql::Executor sql(original);
        for (const std::string& statement : create)
            sql.execute(statement);
    }
    const auto prepare = [&](const fs::path& folder) {
        pdx::testing::copy_files(original, folder);
    };
    const fs::path before = root / "before";
    const fs::path after = root / "after";
    fs::create_directories(before);
    fs::create_directories(after);
    prepare(before);
    prepare(after);
    if (import(after, csv, table) != 0)
        throw std::runtime_error("the import without a fault failed");
    const Records old_records = pdx::testing::read_database(before).begin()->second.records;
    const Records all = records_in_order(after / (table + ".DB"));
    // Every acceptable end: the table's own records and the first k rows of the file.
    std::vector<Records> prefixes;
    for (std::size_t k = 0; k + old_records.size() <= all.size(); ++k) {
        Records with = old_records;
        for (std::size_t i = 0; i < k; ++i) {
            const std::string& row = all[old_records.size() + i];
            with.push_back(row);
        }
        std::sort(with.begin(), with.end());
        prefixes.push_back(std::move(with));
    }
    Sweep sweep{".import into " + table, prepare,
                [&](const fs::path& folder) {
                    if (import(folder, csv, table) != 0) throw vaq::Error("status 1");
                },
                [&](const DatabaseState& state) {
                    if (state.size() != 1) return false;
                    const Records& got = state.begin()->second.records;
                    return std::find(prefixes.begin(), prefixes.end(), got) != prefixes.end();
                }};
    SweepTally tally =
        pdx::testing::sweep_every_point(sweep, root / "runs", pdx::kEveryFileCall, 2);
    tally.print();
    return tally;
}

TEST(ImportFaults, EveryFailedCallEndsWithStatus1AndKeepsAPrefixOfTheRows) {
    TempDir dir;
    fs::create_directories(dir / "keyed");
    fs::create_directories(dir / "heap");
    SweepTally tally = sweep_import(
        dir / "keyed", "Keyed",
        {"CREATE TABLE Keyed (Id integer, Name char(250), PRIMARY KEY (Id))",
         "INSERT INTO Keyed VALUES (1, 'own one'), (2, 'own two'), (50, 'own fifty')"});
    tally.add(sweep_import(dir / "heap", "Heap",
                           {"CREATE TABLE Heap (Id integer, Name char(250))",
                            "INSERT INTO Heap VALUES (1, 'own one')"}));
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

// Runs the import in a child process that kills itself at its `kill_at`-th crash point
// (never when 0), or that is killed after `delay`. True when it was killed.
bool import_killed(const fs::path& folder, const fs::path& csv, const std::string& table,
                   int kill_at, std::chrono::microseconds delay = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int reached = 0;
        pdx::set_crash_point_handler([&](std::string_view) {
            if (++reached == kill_at) ::raise(SIGKILL);
        });
        ::_exit(import(folder, csv, table));
    }
    if (delay.count() > 0) {
        std::this_thread::sleep_for(delay);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// An import is one statement of the table's writer: killed at any moment, the table opened
// again holds its own records and either none of the file's rows or every one of them, the
// engine and pxlib reading the same (the rows, nine interleaved runs of keys, go into many
// blocks of a keyed table, splitting some, and at the end of an unkeyed one).
TEST(ImportCrash, AKilledImportLeavesNoneOrEveryRow) {
    TempDir dir;
    const fs::path csv = dir / "rows.csv";
    {
        std::ofstream out(csv);
        out << "Id,Name\n";
        for (int i = 0; i < 9000; ++i)
            out << 1000 + i % 9 * 1000 + i / 9 << ",imported row " << i << " "
                << std::string(60, 'x') << "\n";
    }
    for (const bool keyed : {true, false}) {
        SCOPED_TRACE(keyed ? "keyed" : "unkeyed");
        const fs::path original = dir / "original";
        fs::remove_all(original);
        fs::create_directories(original);
        {
            pdx::sql::Executor sql(original);
            sql.execute(keyed ? "CREATE TABLE T (Id integer, Name char(90), PRIMARY KEY (Id))"
                              : "CREATE TABLE T (Id integer, Name char(90))");
            sql.execute("INSERT INTO T VALUES (1, 'own one'), (20000, 'own last')");
        }
        const fs::path work = dir / "work";
        const auto fresh = [&] {
            fs::remove_all(work);
            fs::create_directories(work);
            pdx::testing::copy_files(original, work);
        };
        fresh();
        const DatabaseState before = pdx::testing::read_database(work);
        ASSERT_EQ(import(work, csv, "T"), 0);
        const DatabaseState after = pdx::testing::read_database(work);
        ASSERT_EQ(after.begin()->second.records.size(), 9002u);
        const auto expect_none_or_every_row = [&](const std::string& when) {
            const DatabaseState state = pdx::testing::read_database(work);
            EXPECT_TRUE(state.begin()->second.problem.empty())
                << when << ": " << state.begin()->second.problem;
            EXPECT_TRUE(pdx::testing::holds(state, before) || pdx::testing::holds(state, after))
                << when << ": the table holds " << state.begin()->second.records.size()
                << " records";
            EXPECT_FALSE(fs::exists(work / ".T.DB.journal")) << when;
        };
        int kills = 0;
        for (int kill_at = 1;; ++kill_at) {
            fresh();
            const bool killed = import_killed(work, csv, "T", kill_at);
            expect_none_or_every_row("killed at crash point " + std::to_string(kill_at));
            if (!killed) break;
            ++kills;
        }
        EXPECT_GE(kills, 6);  // the journal and the blocks of each of three batches
        std::mt19937 random(keyed ? 3 : 4);
        for (int round = 0; round < 20; ++round) {
            fresh();
            const auto delay = std::chrono::microseconds(random() % 40'000 + 1);
            import_killed(work, csv, "T", 0, delay);
            expect_none_or_every_row("killed after " + std::to_string(delay.count()) + " us");
        }
    }
}

}  // namespace
}  // namespace vaq::shell
