// Rebuild with each of its file-changing calls failing in turn (once with EIO, and from then
// on with ENOSPC): the rebuild reports the error, and afterwards the table reads alike
// through the engine and pxlib and holds every record it held.

#include <gtest/gtest.h>

#include <string>

#include "engine/api/config.h"
#include "engine/sql/executor.h"
#include "engine/table/tests/fault_sweep.h"
#include "tests/support.h"
#include "tutil/rebuild.h"

namespace vaq::tutil {
namespace {

using namespace tutil::testing;
using pdx::testing::DatabaseState;
using pdx::testing::Sweep;
using pdx::testing::SweepTally;

// A keyed table over several blocks with a secondary index, and an unkeyed one.
void write_tables(const fs::path& folder) {
    pdx::sql::Executor sql(folder);
    sql.execute("CREATE TABLE Wide (Id integer, Name char(200), Size integer, PRIMARY KEY (Id))");
    std::string rows;
    for (int i = 1; i <= 40; ++i)
        rows += std::string(rows.empty() ? "" : ", ") + "(" + std::to_string(i) + ", 'row " +
                std::to_string(i) + "', " + std::to_string(i % 5) + ")";
    sql.execute("INSERT INTO Wide VALUES " + rows);
    sql.execute("CREATE INDEX BySize ON Wide (Size)");
    sql.execute("CREATE TABLE Heap (Text char(30), Amount integer)");
    sql.execute("INSERT INTO Heap VALUES ('a', 1), ('b', 2), ('c', 3)");
}

SweepTally sweep_rebuild(const fs::path& root, const std::string& table) {
    const fs::path before = root / "before";
    fs::create_directories(before);
    write_tables(before);
    const DatabaseState old_state = pdx::testing::read_database(before);
    const auto copy_before = [&](const fs::path& folder) {
        pdx::testing::copy_files(before, folder);
    };
    Sweep sweep{"rebuild of " + table, copy_before,
                [&](const fs::path& folder) {
                    const fs::path aux = root / "private" / folder.filename();
                    fs::remove_all(aux);
                    fs::create_directories(aux);
                    rebuild_table(RebuildRequest{folder / (table + ".DB"), aux / "Backup.Db",
                                                 aux / "KEYVIOL.DB", aux / "PROBLEM.DB"});
                },
                [&](const DatabaseState& state) { return pdx::testing::holds(state, old_state); }};
    SweepTally tally = pdx::testing::sweep_every_point(sweep, root / "runs");
    tally.print();
    return tally;
}

TEST(RebuildFaults, EveryFailedCallIsReportedAndKeepsEveryRecord) {
    TempDir dir;
    pdx::use_configuration(pdx::Configuration::from_text(
        "[engine]\nprivate_dir = " + (dir / "private").string() + "\n", dir.path(), "test"));
    SweepTally tally = sweep_rebuild(dir / "wide", "Wide");
    tally.add(sweep_rebuild(dir / "heap", "Heap"));
    pdx::reload_configuration();
    EXPECT_TRUE(tally.clean()) << pdx::testing::describe_failures(tally);
}

}  // namespace
}  // namespace vaq::tutil
