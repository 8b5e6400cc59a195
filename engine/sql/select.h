#pragma once

// The reading half of the executor: finding a statement's table and running a SELECT.

#include <filesystem>
#include <memory>
#include <string>

#include "engine/sql/ast.h"
#include "engine/sql/result_set.h"

namespace pdx {
class Table;
}

namespace pdx::sql {

// The table a statement names, opened for reading. Throws SqlError("Table does not exist:
// NAME (line 1, column 15)") when the directory holds no such table.
std::shared_ptr<Table> open_table(const std::filesystem::path& directory, const TableRef& table);

// The table name for a message when no file holds it: as written, with ".DB" added when it
// has no extension.
std::string missing_table_name(const std::string& written);

std::unique_ptr<ResultSet> run_select(const std::filesystem::path& directory, const Select& select);

}  // namespace pdx::sql
