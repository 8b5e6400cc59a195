#pragma once

// Renumbering the key column of one table together with every column of the database that
// names its records by that key.
//
// The table loses its key column and gets it back as an identity column numbered from 1 (the
// two statements of the key re-arrangement). The columns that refer to the key, found in the
// schema (db/schema.h), are then given each record's new number in place of its old one, so
// that every reference names the same record as before. A reference that named no record
// keeps its value.
//
// All of it happens on copies of the tables in a staging folder of the database directory,
// which are swapped in together, in one atomic step (engine/table/table_family.h): a process
// killed at any moment leaves every table as it was, or every table changed. The tables as
// they were before stay in a run folder of the private directory
// (<private_dir>/<database id>/rearrange/<run>/), so that the user can go back.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vaq::maintenance {

// Runs one statement on the tables of `directory`.
using StatementRunner =
    std::function<void(const std::filesystem::path& directory, const std::string& statement)>;

struct RenumberedKey {
    // The folder holding the tables as they were before the change.
    std::filesystem::path keptCopy;
    // References that now carry a new number.
    std::uint64_t referencesChanged = 0;
};

// Renumbers `key` of `table` in `directory`, running the drop and the add statement through
// `run` and calling `betweenStatements` after the drop. Throws vaq::Error with the cause;
// nothing in the directory has changed then.
RenumberedKey renumber_key(const std::filesystem::path& directory, std::string_view table,
                           std::string_view key, const StatementRunner& run,
                           const std::function<void()>& betweenStatements = {});

// The statement runner of the engine's local SQL.
void run_engine_statement(const std::filesystem::path& directory, const std::string& statement);

}  // namespace vaq::maintenance
