// What a rebuild sets aside stays: every rebuild of a table writes into a run folder of its
// own, per database, so that a later rebuild (of the same table, or of a same-named table of
// another database) never removes an earlier one's key violations, problem records or
// report; only backups beyond the configured number go. Records are counted with pxlib.

#include <gtest/gtest.h>

#include <set>

#include "common/error.h"
#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "engine/api/private_folders.h"
#include "engine/table/crash_points.h"
#include "engine/table/table.h"
#include "engine/table/tests/pxlib_reader.h"
#include "tests/library_calls.h"
#include "tests/support.h"
#include "tutil/rebuild_runs.h"
#include "tutil/tutil.h"
#include "tutil/verifier.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;

constexpr std::uint32_t kRecords = 300;

int pxlib_count(const fs::path& table) {
    return pdx::testing::PxlibTable(table.string()).record_count();
}

// Makes `count` records of a small table unreadable (an impossible logical value), from the
// second block on, `stride` slots apart.
void spoil_records(const fs::path& db, int count, std::size_t stride = 3) {
    patch(db, [&](std::vector<std::uint8_t>& b) {
        const FileGeometry g(b);
        for (int i = 0; i < count; ++i)
            b[g.record(2 + static_cast<std::uint32_t>(i) / 20, (i % 20) * stride) + 10] = 0x37;
    });
}

class RebuildRunsTest : public ::testing::Test {
  protected:
    void SetUp() override { configure(""); }
    void TearDown() override { pdx::reload_configuration(); }

    void configure(const std::string& extra) {
        pdx::use_configuration(pdx::Configuration::from_text(
            "[engine]\nprivate_dir = " + (dir_ / "private").string() + "\n" + extra, dir_.path(),
            "test"));
    }

    fs::path database(const std::string& name) const {
        fs::create_directories(dir_ / name);
        return dir_ / name;
    }

    static TUResult rebuild(const fs::path& table) { return rebuild_through_library(table); }

    TempDir dir_;
};

TEST_F(RebuildRunsTest, ALaterRebuildKeepsWhatAnEarlierOneSetAside) {
    const fs::path db = database("data") / "Small.DB";
    write_small_table(db, kRecords);
    spoil_records(db, 43);
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    ASSERT_EQ(pxlib_count(db), static_cast<int>(kRecords) - 43);

    std::vector<RebuildRun> runs = rebuild_runs(db.parent_path());
    ASSERT_EQ(runs.size(), 1u);
    const RebuildRun first = runs[0];
    EXPECT_TRUE(first.rebuilt);
    EXPECT_EQ(first.table, db);
    EXPECT_EQ(first.kept, kRecords - 43);
    EXPECT_EQ(first.problems, 43u);
    EXPECT_EQ(first.key_violations, 0u);
    EXPECT_EQ(pxlib_count(first.folder / "PROBLEM.DB"), 43);
    EXPECT_EQ(where_records_went(first),
              std::vector<std::string>{"43 records could not be kept in Small.DB; they are in "
                                       "PROBLEM.DB in " +
                                       first.folder.string() + "."});

    // Rebuilt again and again ("Rebuild and Fix All" rebuilds twice, an upgrade ends with a
    // rebuild of every table): the first run's records stay where they went.
    for (int again = 0; again < 3; ++again)
        ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    runs = rebuild_runs(db.parent_path());
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].folder, first.folder);
    EXPECT_EQ(pxlib_count(first.folder / "PROBLEM.DB"), 43);
    EXPECT_EQ(pxlib_count(db) + pxlib_count(first.folder / "PROBLEM.DB"),
              static_cast<int>(kRecords));
    for (std::size_t i = 1; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].problems, 0u);
        EXPECT_FALSE(fs::exists(runs[i].folder / "PROBLEM.DB"));
        EXPECT_FALSE(fs::exists(runs[i].folder / "KEYVIOL.DB"));
        EXPECT_TRUE(where_records_went(runs[i]).empty());
    }
    // Backups of the last two runs only; the first run's backup held the damaged table.
    EXPECT_FALSE(runs[0].backup_kept());
    EXPECT_FALSE(runs[1].backup_kept());
    EXPECT_TRUE(runs[2].backup_kept());
    EXPECT_TRUE(runs[3].backup_kept());
    EXPECT_EQ(pxlib_count(runs[3].folder / "Backup.Db"), static_cast<int>(kRecords) - 43);
}

TEST_F(RebuildRunsTest, TheNumberOfKeptBackupsIsConfigured) {
    configure("keep_backups = 0\n");
    const fs::path db = database("data") / "Small.DB";
    write_small_table(db, kRecords);
    spoil_records(db, 5);
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    const std::vector<RebuildRun> runs = rebuild_runs(db.parent_path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].backup_kept());
    EXPECT_EQ(pxlib_count(runs[0].folder / "PROBLEM.DB"), 5);
}

TEST_F(RebuildRunsTest, SameNamedTablesOfTwoDatabasesKeepTheirOwnRuns) {
    const fs::path first = database("site-a/data") / "Door.DB";
    const fs::path second = database("site-b/data") / "Door.DB";
    write_small_table(first, kRecords);
    write_small_table(second, kRecords);
    spoil_records(first, 3);
    spoil_records(second, 7);
    ASSERT_EQ(rebuild(first), 0) << pdx::last_error_message();
    ASSERT_EQ(rebuild(second), 0) << pdx::last_error_message();
    ASSERT_EQ(rebuild(second), 0) << pdx::last_error_message();

    const std::vector<RebuildRun> runs_a = rebuild_runs(first.parent_path());
    const std::vector<RebuildRun> runs_b = rebuild_runs(second.parent_path(), "door");
    ASSERT_EQ(runs_a.size(), 1u);
    ASSERT_EQ(runs_b.size(), 2u);
    EXPECT_NE(runs_a[0].folder.parent_path(), runs_b[0].folder.parent_path());
    EXPECT_EQ(pxlib_count(runs_a[0].folder / "PROBLEM.DB"), 3);
    EXPECT_EQ(pxlib_count(runs_b[0].folder / "PROBLEM.DB"), 7);
    EXPECT_TRUE(runs_a[0].backup_kept());
    EXPECT_EQ(pxlib_count(runs_a[0].folder / "Backup.Db"), static_cast<int>(kRecords));
    EXPECT_EQ(pxlib_count(first) + 3, static_cast<int>(kRecords));
    EXPECT_EQ(pxlib_count(second) + 7, static_cast<int>(kRecords));
    EXPECT_TRUE(rebuild_runs(first.parent_path(), "Window").empty());
}

TEST_F(RebuildRunsTest, ATableThatWasNotRebuiltHasAReportWithTheCause) {
    const fs::path db = database("data") / "Small.DB";
    write_small_table(db, kRecords);
    spoil_records(db, 4);
    const std::vector<std::uint8_t> before = read_file(db);
    pdx::set_crash_point_handler([](std::string_view where) {
        if (where == "family staged") throw vaq::Error("The disk refused the new family.");
    });
    EXPECT_NE(rebuild(db), 0);
    pdx::set_crash_point_handler(nullptr);
    EXPECT_EQ(read_file(db), before);

    const std::vector<RebuildRun> runs = rebuild_runs(db.parent_path());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].rebuilt);
    EXPECT_EQ(runs[0].cause, "The disk refused the new family.");
    EXPECT_FALSE(runs[0].backup_kept());
    EXPECT_TRUE(where_records_went(runs[0]).empty());
}

TEST_F(RebuildRunsTest, ARunIsRemovedByItsNameWithEverythingItKept) {
    const fs::path db = database("data") / "Small.DB";
    write_small_table(db, kRecords);
    spoil_records(db, 2);
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    ASSERT_EQ(rebuild(db), 0) << pdx::last_error_message();
    std::vector<RebuildRun> runs = rebuild_runs(db.parent_path());
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].name(), "Small/" + runs[0].folder.filename().string());

    EXPECT_THROW(remove_rebuild_run(db.parent_path(), "Small/nothing"), vaq::Error);
    EXPECT_THROW(remove_rebuild_run(db.parent_path(), "../../data"), vaq::Error);
    EXPECT_EQ(remove_rebuild_run(db.parent_path(), runs[0].name()).folder, runs[0].folder);
    EXPECT_FALSE(fs::exists(runs[0].folder));
    // The run folder's own name does when only one table has a run of that name.
    EXPECT_EQ(remove_rebuild_run(db.parent_path(), runs[1].folder.filename().string()).folder,
              runs[1].folder);
    EXPECT_TRUE(rebuild_runs(db.parent_path()).empty());
    EXPECT_EQ(pxlib_count(db), static_cast<int>(kRecords) - 2);
}

TEST_F(RebuildRunsTest, VerifyFinishesAPendingSwapBeforeItJudges) {
    // A swap stopped between its steps: the old .DB kept aside, the new one still in the
    // folder.
    const fs::path data = database("data");
    const fs::path db = data / "Small.DB";
    write_small_table(db, kRecords);
    spoil_records(db, 6);
    const fs::path folder = data / ".pdxcommit.test";
    fs::create_directories(folder / ".old");
    write_small_table(folder / "Small.DB", kRecords - 6);
    write_file(folder / "staged",
               std::vector<std::uint8_t>{'S', 'm', 'a', 'l', 'l', '.', 'D', 'B', '\n'});
    write_file(folder / "old", read_file(folder / "staged"));
    write_file(folder / "manifest", {});
    // The old .DB has its second name in the folder already; the new one is not in yet.
    fs::create_hard_link(db, folder / ".old" / "Small.DB");

    const Verification v = verify_table(db);
    EXPECT_EQ(v.level, 0);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(pxlib_count(db), static_cast<int>(kRecords) - 6);
}

TEST_F(RebuildRunsTest, VerifyOfATableAWriterHoldsSaysItIsInUse) {
    const fs::path db = database("data") / "Small.DB";
    write_small_table(db, kRecords);
    const auto writer = pdx::Table::open_file(db, pdx::Access::kWrite);
    try {
        verify_table(db);
        ADD_FAILURE() << "verified a table a writer holds";
    } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()).find("in use"), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace vaq::tutil
