#pragma once

// Splits a statement into tokens. Blanks, tabs and line breaks separate tokens alike; what
// a word means (keyword, name, type) is left to the parser, so that keywords ignore letter
// case and a column may be called Date or Status.

#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/sql_error.h"

namespace pdx::sql {

enum class TokenKind {
    kWord,          // letters, digits, _ $ #, not starting with a digit
    kDoubleQuoted,  // "..." : a name, or a text constant where a value is expected
    kSingleQuoted,  // '...' : a text constant, or a table name where a table is expected
    kNumber,        // 12, 0.5, .5, 1e3 (a sign is a separate token)
    kSymbol,        // ( ) , . ; * = <> != < <= > >= + - /
    kEnd,           // after the last token
};

struct Token {
    TokenKind kind = TokenKind::kEnd;
    // Words, numbers and symbols as written; quoted tokens without their quotes, a doubled
    // quote inside them read as one.
    std::string text;
    // The token exactly as written, quotes included; empty for kEnd. Used in messages.
    std::string spelling;
    SourcePosition position;

    // A word equal to `keyword` (given in upper case), letter case ignored.
    bool is_keyword(std::string_view keyword) const;
    bool is_symbol(std::string_view symbol) const {
        return kind == TokenKind::kSymbol && text == symbol;
    }
};

// The tokens of `sql`, ending with one kEnd token. Throws SqlError for a character that
// starts no token and for a quoted text without its closing quote.
std::vector<Token> tokenize(std::string_view sql);

}  // namespace pdx::sql
