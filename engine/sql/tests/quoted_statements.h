#pragma once

// Every statement the utility sends to the engine, byte for byte as it sends it: the table
// steps and anti-pass-back rebuild of the upgrade, its index steps, the column blocks (with
// the select and ALTER of each AddFieldIfMissing call), the reference data, and the key
// re-arrangement. Statements the utility composes from a template are listed once per row
// that composes them. Shared by the parser tests and the tests that run the statements
// against a database.

#include <span>
#include <string_view>

namespace pdx::sql::testing {

struct QuotedStatement {
    // The step that sends the statement, for test messages: "table step T7, follow-up".
    std::string_view origin;
    // The statement; the lines of a multi-line statement are joined by '\n'.
    std::string_view text;
    // The statement as the printer writes it after parsing: the expected reading.
    std::string_view expected;
};

// The panic PIN the statements of column block 5 write; the upgrade has one such constant.
inline constexpr std::string_view kPanicPin = "1234";

std::span<const QuotedStatement> quoted_statements();

}  // namespace pdx::sql::testing
