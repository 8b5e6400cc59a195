#pragma once

// The statements that change records: INSERT (VALUES or SELECT), UPDATE and DELETE.
//
// What each guarantees when it fails: everything that can be checked is checked before the
// first record is written: table and column names, the count of values, every value
// converted by its field, and the uniqueness of the primary key over the table as it will
// be. Only then are the records written, each one a journaled change of the table writer.
// Should a write fail after that (a full disk, a failing device), the records this
// statement already wrote are put back as they were before the error is passed on. A
// statement that fails therefore leaves its table as it was.

#include <cstdint>
#include <filesystem>

#include "engine/sql/ast.h"

namespace pdx::sql {

// Each returns the number of records inserted, changed or deleted.
std::uint64_t run_insert(const std::filesystem::path& directory, const Insert& insert);
std::uint64_t run_update(const std::filesystem::path& directory, const Update& update);
std::uint64_t run_delete(const std::filesystem::path& directory, const Delete& del);

}  // namespace pdx::sql
