#pragma once

// The statements that change tables as a whole: CREATE TABLE, ALTER TABLE, DROP TABLE,
// CREATE INDEX and DROP INDEX. Each checks the whole statement before it changes anything,
// and each change is made by writing new files and swapping them in, so that a statement
// that fails leaves the table as it was.

#include <filesystem>

#include "engine/sql/ast.h"
#include "engine/table/table_admin.h"

namespace pdx::sql {

// A column definition as the field of a table: char(n) as alpha, smallint as short,
// integer as long, int IDENTITY as auto-increment, float as number, ...
FieldSpec field_spec(const ColumnDef& column);

void run_create_table(const std::filesystem::path& directory, const CreateTable& create,
                      const CreateOptions& options);
// ALTER TABLE with its actions in the order written: ADD puts a column at the end, or first
// when it is the table's new primary key (an IDENTITY column with PRIMARY KEY, numbered from
// 1 in the table's order); DROP removes a column, and with a key column the primary key.
// All actions become one rewrite of the table.
void run_alter_table(const std::filesystem::path& directory, const AlterTable& alter);
void run_drop_table(const std::filesystem::path& directory, const DropTable& drop);
void run_create_index(const std::filesystem::path& directory, const CreateIndex& create);
void run_drop_index(const std::filesystem::path& directory, const DropIndex& drop);

}  // namespace pdx::sql
