// A process killed anywhere in column blocks that add several columns of one table with one
// ALTER (blocks 5 and 10: ALTERs with UPDATEs, and AddFieldIfMissing calls among them) leaves
// every table readable with all its records, each table of its old layout or of its new one;
// and the next run ends with the tables an uninterrupted run gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/error.h"
#include "common/tests/killed_child.h"
#include "db/database.h"
#include "db/session.h"
#include "engine/api/config.h"
#include "engine/format/deferred_sync.h"
#include "engine/table/tests/fault_sweep.h"
#include "engine/table/tests/pxlib_reader.h"
#include "test_support/memory_window.h"
#include "test_support/scratch.h"
#include "upgrade/column_blocks.h"
#include "upgrade/tests/old_database.h"
#include "upgrade/tests/upgrade_expectations.h"
#include "upgrade/upgrade_form.h"

namespace vaq::upgrade::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTables[] = {"Ctrller.DB", "User.DB"};

// Blocks 5 and 10 of the database in `folder`, known as the alias VAQ, under one durable
// point as the upgrade runs them; the log lines they wrote.
Lines run_blocks(const fs::path& folder) {
    const AliasVaqAt alias(folder, "kill");
    test_support::MemoryWindow window;
    {
        db::Session session("Session1");
        db::Database mainDB(session, "MainDB", "VAQ");
        mainDB.open();
        UpgradeForm form(window, mainDB);
        pdx::DeferredSync sync;
        form.run_column_block(5);
        form.run_column_block(10);
        sync.finish();
    }
    return log_lines_of(window.log());
}

void copy_folder(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy(entry.path(), to / entry.path().filename(), fs::copy_options::recursive);
}

std::map<std::string, std::size_t> record_counts(const pdx::testing::DatabaseState& state) {
    std::map<std::string, std::size_t> counts;
    for (const auto& [name, read] : state)
        counts[name] = read.records.size();
    return counts;
}

// Orders lines by their place in `log`, whose lines are all different.
auto in_log_order(const Lines& log) {
    return [&log](const std::string& a, const std::string& b) {
        return std::find(log.begin(), log.end(), a) < std::find(log.begin(), log.end(), b);
    };
}

int field_count(const fs::path& table) {
    return pdx::testing::PxlibTable(table.string()).field_count();
}

TEST(UpgradeKill, ColumnsAddedTogetherLeaveEachTableOldOrNewAndTheNextRunFinishesThem) {
    const test_support::ScratchFolder scratch("vaq-upgrade-kill");
    const fs::path base = scratch.path() / "base";
    fs::create_directories(base);
    write_old_database(base);
    const pdx::testing::DatabaseState before = pdx::testing::read_database(base);

    const fs::path reference = scratch.path() / "reference";
    copy_folder(base, reference);
    const Lines wholeLog = run_blocks(reference);
    std::map<std::string, Lines> expected;
    std::map<std::string, std::set<int>> layouts;
    for (const char* table : kTables) {
        expected[table] = pxlib_view(reference / table);
        layouts[table] = {field_count(base / table), field_count(reference / table)};
        ASSERT_EQ(layouts[table].size(), 2u) << table << " gets no column";
    }
    // The lines of the columns of block 5 that an UPDATE fills.
    std::set<std::string> filledLog;
    for (const GroupRow& row : column_block(5).rows)
        if (row.update && row.log) filledLog.insert(std::string(*row.log));
    ASSERT_EQ(filledLog.size(), 13u);

    const fs::path work = scratch.path() / "work";
    int kills = 0;
    for (int killAt = 1;; ++killAt) {
        SCOPED_TRACE("killed at crash point " + std::to_string(killAt));
        copy_folder(base, work);
        const bool killed = vaq::test_support::run_killed_child([&] { run_blocks(work); }, killAt);
        const pdx::testing::DatabaseState after = pdx::testing::read_database(work);
        EXPECT_EQ(record_counts(after), record_counts(before)) << "records lost or invented";
        for (const auto& [name, read] : after)
            EXPECT_EQ(read.problem, "") << name;
        for (const char* table : kTables)
            EXPECT_TRUE(layouts[table].contains(field_count(work / table))) << table;

        const Lines rerunLog = run_blocks(work);
        for (const char* table : kTables)
            EXPECT_EQ(pxlib_view(work / table), expected[table]) << table;
        if (!killed) {
            EXPECT_EQ(rerunLog, Lines{});
            break;
        }
        // A column added before the kill is not added again, and its line was the killed
        // run's to write; a column whose UPDATE the kill may have cut off is filled and logged
        // again, with every column of its ALTER that has an UPDATE.
        EXPECT_TRUE(std::includes(wholeLog.begin(), wholeLog.end(), rerunLog.begin(),
                                  rerunLog.end(), in_log_order(wholeLog)))
            << rerunLog.size() << " lines";
        const std::size_t filledLines = static_cast<std::size_t>(
            std::count_if(rerunLog.begin(), rerunLog.end(),
                          [&](const std::string& line) { return filledLog.contains(line); }));
        EXPECT_TRUE(filledLines == 0 || filledLines == filledLog.size()) << filledLines;
        ++kills;
    }
    EXPECT_GE(kills, 12);
}

}  // namespace
}  // namespace vaq::upgrade::testing
