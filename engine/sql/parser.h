#pragma once

#include <cstddef>
#include <string_view>

#include "engine/sql/ast.h"

namespace pdx::sql {

// How deeply an expression may nest (parentheses, NOT, signs, chains of + - * /), as in
// SQLite's default. Chains of AND and OR may be of any length.
inline constexpr std::size_t kMaxExpressionDepth = 1000;

// Reads one statement, optionally ended by ";". Throws SqlError naming the token and its
// line and column when the text is not a statement of the engine's SQL, and when a table
// name would reach outside the database directory.
Statement parse(std::string_view sql);

// Refuses a table name that is empty, holds a path separator or "..", or a control
// character: a table is a file of the database directory and nothing else.
void check_table_name(std::string_view name, SourcePosition position);

// True for the words that cannot be a bare name (SELECT, FROM, KEY is not one of them);
// such a name must be written in double quotes.
bool is_reserved_word(std::string_view word);

}  // namespace pdx::sql
