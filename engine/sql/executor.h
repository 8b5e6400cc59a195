#pragma once

// Runs the statements of the engine's local SQL against the tables of one database
// directory. Table names in statements are found in that directory without regard to letter
// case, with or without their extension, and never outside it.
//
// A statement that fails raises SqlError (or the engine's error) with a message naming what
// is wrong and where, and leaves the tables as they were: see each statement in executor.cc
// for what it checks before it writes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"
#include "engine/table/table_admin.h"

namespace pdx::sql {

class Executor {
  public:
    // `options` lay out the tables CREATE TABLE makes.
    explicit Executor(std::filesystem::path directory, CreateOptions options = {});

    const std::filesystem::path& directory() const { return directory_; }

    // Runs one statement. A SELECT runs and its result is dropped. Returns the number of
    // records the statement inserted, changed or deleted (0 for the others).
    std::uint64_t execute(std::string_view sql);
    std::uint64_t execute(const Statement& statement);

    // Runs a SELECT and returns its result. Throws SqlError for any other statement. A
    // result of up to `snapshot_limit()` values is read into memory at once and holds no
    // table (result_set.h).
    std::unique_ptr<ResultSet> open(std::string_view sql);
    std::unique_ptr<ResultSet> open(const Select& select);

    std::size_t snapshot_limit() const { return snapshot_limit_; }
    void set_snapshot_limit(std::size_t values) { snapshot_limit_ = values; }

  private:
    std::filesystem::path directory_;
    CreateOptions options_;
    std::size_t snapshot_limit_ = ResultSet::kSnapshotValues;
};

}  // namespace pdx::sql
