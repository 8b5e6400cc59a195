#pragma once

// The runs of the rebuild: each rebuild of a table gets a folder of its own in the private
// directory (engine/api/private_folders.h), <private_dir>/<database id>/<table>/<run>/,
// holding what it set aside (the backup family, the key-violation and problem tables) and
// a short text report, report.txt. A rebuild never removes what an earlier one set aside,
// with one exception: the backups, which cost a table's size each, are kept for the last
// `keep_backups` rebuilds of each table (engine configuration, [engine]). The rest stays
// until the user removes it (vaqdb's .salvaged --remove).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tutil/rebuild.h"

namespace vaq::tutil {

// report.txt of a run folder, one "Name: value" a line:
//   Rebuild of: /srv/vaq/Transact.DB
//   Finished: 2026-12-07 15:21:16 UTC
//   Result: rebuilt                      ("not rebuilt: <cause>" when it failed)
//   Records read: 100
//   Records kept: 57
//   Key violations: 0 (KEYVIOL.DB)
//   Problem records: 43 (PROBLEM.DB)
//   Problem records also kept: 0
//   Backup: Backup.Db
struct RebuildRun {
    std::filesystem::path folder;  // the run folder; not written into the report
    std::filesystem::path table;   // the .DB rebuilt
    std::string finished;          // "2026-12-07 15:21:16 UTC"
    bool rebuilt = false;
    std::string cause;  // why the table was not rebuilt
    std::uint64_t records_read = 0;
    std::uint64_t kept = 0;
    std::uint64_t key_violations = 0;
    std::uint64_t problems = 0;
    // Records in the problem table that are in the new table too (a memo or blob value of
    // theirs was lost; the problem table keeps what was left of it).
    std::uint64_t problems_also_kept = 0;
    std::string key_violation_table = "KEYVIOL.DB";
    std::string problem_table = "PROBLEM.DB";
    std::string backup = "Backup.Db";

    // The run as the user names it: "<table folder>/<run folder>".
    std::string name() const;
    // True when the run's backup is still in its folder.
    bool backup_kept() const;
};

// Where the records that left the table went, one sentence each, nothing when every record
// stayed: "43 records could not be kept in Transact.DB; they are in PROBLEM.DB in
// <folder>."
std::vector<std::string> where_records_went(const RebuildRun& run);

// The run of a rebuild of `table` with that result (its folder the backup's).
RebuildRun run_of(const std::filesystem::path& table, const RebuildResult& result);

// What a rebuild of `table` with that result says after its result text: where the records
// that left the table went (where_records_went), each index it dropped with its fields, and
// each fault of the header it mended.
std::vector<std::string> rebuild_notes(const std::filesystem::path& table,
                                       const RebuildResult& result);

// A new run folder for a rebuild of `table` (its .DB).
std::filesystem::path new_rebuild_folder(const std::filesystem::path& table);

// Writes run.folder/report.txt, with the current time as its end.
void write_run_report(RebuildRun run);
// The run recorded in `folder`; nothing when it holds no report of a rebuild.
std::optional<RebuildRun> read_run_report(const std::filesystem::path& folder);

// Removes the backups of the runs of a table (its folder `table_folder`) but the newest
// `keep` runs that hold one; their other files stay.
void prune_backups(const std::filesystem::path& table_folder, int keep);

// Every rebuild run of the database in `directory`, tables in name order, each table's runs
// oldest first; only the runs of the table named `table` (file name with or without
// extension, letter case ignored) when it is given.
std::vector<RebuildRun> rebuild_runs(const std::filesystem::path& directory,
                                     const std::optional<std::string>& table = std::nullopt);

// Removes the run `name` ("Transact/20261207T152116.042Z", or the run folder's name alone
// when only one table has a run of that name) of the database in `directory`, with
// everything it kept. Throws vaq::Error naming the run when there is no such run.
RebuildRun remove_rebuild_run(const std::filesystem::path& directory, const std::string& name);

}  // namespace vaq::tutil
