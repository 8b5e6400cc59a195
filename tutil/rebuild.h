#pragma once

// Rebuild of one table: every readable record is kept, the table and all its indexes are
// written anew under temporary names and swapped in at once; records that break the
// primary key go to the key-violation table, records that cannot be read to the problem
// table, and the original family is kept under the backup name.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tutil/records.h"
#include "tutil/secondary_rebuild.h"
#include "tutil/verifier.h"

namespace vaq::tutil {

struct RebuildRequest {
    std::filesystem::path table;           // the .DB file
    std::filesystem::path backup;          // where the old family goes ("…/Backup.Db")
    std::filesystem::path key_violations;  // "…/KEYVIOL.DB"
    std::filesystem::path problems;        // "…/PROBLEM.DB"
    const CRTblDesc* description = nullptr;
    // Memory for the records of a keyed table that come out of key order; more of them wait
    // in a file in the folder of `problems`.
    std::size_t waiting_memory = kWaitingMemory;
    // Memory for each list of records set aside (key violations, problem records); more of
    // them wait in files in the folder of `problems` until their tables are written.
    std::size_t set_aside_memory = kSetAsideMemory;

    static constexpr std::size_t kWaitingMemory = std::size_t{4} << 20;
    static constexpr std::size_t kSetAsideMemory = std::size_t{2} << 20;
};

// Where the records of a rebuild went. Every record the old file held (on the chain or not)
// is counted once in records_read, and
//   records_read = kept + key_violations + problems - problems_also_kept.
// A record whose blob value the old .MB no longer holds is kept with what the record itself
// holds of that value and is listed in the problem table too (problems_also_kept).
struct RebuildResult {
    std::uint64_t records_read = 0;
    std::uint64_t kept = 0;            // records in the new table
    std::uint64_t key_violations = 0;  // records in the key-violation table
    std::uint64_t problems = 0;        // records in the problem table
    std::uint64_t problems_also_kept = 0;
    std::filesystem::path backup;               // the backup's .DB
    std::filesystem::path key_violation_table;  // empty when no record went there
    std::filesystem::path problem_table;        // empty when no record went there
    std::vector<DroppedIndex> dropped_indexes;
    std::vector<std::string> repairs;   // faults of the header the rebuild mended, one a line
    std::uint64_t out_of_order = 0;     // records of a keyed table that came out of key order
    std::size_t out_of_order_runs = 0;  // sorted runs of them that waited on disk

    // Records that are not in the new table.
    std::uint64_t set_aside() const { return key_violations + problems - problems_also_kept; }
};

// Throws vaq::Error (or EngineError) naming the table and what stopped the rebuild; the
// table is then as it was.
RebuildResult rebuild_table(const RebuildRequest& request, const Progress& progress = {});

}  // namespace vaq::tutil
