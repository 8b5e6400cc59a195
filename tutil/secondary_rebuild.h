#pragma once

// The secondary indexes of a rebuilt table: every index of the old family whose definition
// can still be read is written anew, beside the new table, from its records.

#include <filesystem>

#include "tutil/family.h"

namespace tutil {

// `new_table` is the complete new .DB (with its .PX) in `folder`.
void rebuild_secondary_indexes(const TableFamily& old_family,
                               const std::filesystem::path& new_table,
                               const std::filesystem::path& folder);

}  // namespace tutil
