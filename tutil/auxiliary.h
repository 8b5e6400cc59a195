#pragma once

// Where the library keeps the auxiliary tables of a table: a folder named after the table
// (its file name without extension) in the database's folder of the private directory of
// the engine configuration (engine/api/private_folders.h), so that verifying and
// rebuilding every table of every database keeps each table's findings apart. A rebuild
// writes into a run folder of its own below it (rebuild_runs.h).

#include <filesystem>
#include <functional>
#include <string_view>

#include "tutil/verifier.h"

namespace vaq::tutil {

// <private_dir>/<database id>/<table stem>, created (for the user only) when missing.
// Throws EngineError naming the folder when it cannot be created.
std::filesystem::path auxiliary_folder(const std::filesystem::path& table);

// The path of auxiliary table `name` in `folder`. The name must be a bare file name with
// the extension .DB (any letter case): "VERIFY.DB", "KEYVIOL.DB". Throws EngineError
// (DBIERR_INVALIDPARAM) naming `what` otherwise.
std::filesystem::path auxiliary_table(const std::filesystem::path& folder, std::string_view name,
                                      const char* what);

// Writes a verification's findings as the table `target` (an unkeyed table laid out as the
// engine configuration lays out new tables), replacing an older one.
void write_verification(const std::filesystem::path& target, const Verification& verification);

}  // namespace vaq::tutil
