#pragma once

// Rebuild of one table: every readable record is kept, the table and all its indexes are
// written anew under temporary names and swapped in at once; records that break the
// primary key go to the key-violation table, records that cannot be read to the problem
// table, and the original family is kept under the backup name.

#include <filesystem>

#include "tutil/records.h"
#include "tutil/verifier.h"

namespace tutil {

struct RebuildRequest {
    std::filesystem::path table;           // the .DB file
    std::filesystem::path backup;          // where the old family goes ("…/Backup.Db")
    std::filesystem::path key_violations;  // "…/KEYVIOL.DB"
    std::filesystem::path problems;        // "…/PROBLEM.DB"
    const CRTblDesc* description = nullptr;
};

// Throws vaq::Error (or EngineError) naming the table and what stopped the rebuild; the
// table is then as it was.
void rebuild_table(const RebuildRequest& request, const Progress& progress = {});

}  // namespace tutil
