#pragma once

// Writes a parsed statement back as SQL in one canonical form: keywords and types in upper
// case, table names in double quotes, text constants in single quotes, one blank between
// items. Parsing the result gives the same statement. Used in messages, logs and the shell.

#include <string>

#include "engine/sql/ast.h"

namespace pdx::sql {

std::string to_sql(const Statement& statement);
std::string to_sql(const Expr& expr);
// CHAR(20), SMALLINT, DATETIME, ...
std::string to_sql(ColumnType type, int size);

}  // namespace pdx::sql
