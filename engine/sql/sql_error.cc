#include "engine/sql/sql_error.h"

namespace pdx::sql {

namespace {

// Long constants are cut so that the message still fits an error box.
constexpr std::size_t kMaxShownSpelling = 40;

std::string quote_spelling(std::string_view spelling) {
    std::string shown(spelling.substr(0, kMaxShownSpelling));
    if (spelling.size() > kMaxShownSpelling) shown += "...";
    // A quoted name or text is shown with its own quotes.
    if (spelling.front() == '"' || spelling.front() == '\'') return shown;
    return "'" + shown + "'";
}

}  // namespace

std::string describe(SourcePosition position) {
    return "line " + std::to_string(position.line) + ", column " + std::to_string(position.column);
}

void throw_syntax_error(std::string_view spelling, SourcePosition position,
                        std::string_view problem) {
    const std::string where =
        spelling.empty() ? std::string("the end of the statement") : quote_spelling(spelling);
    throw SqlError(
        "Syntax error at " + where + " (" + describe(position) + "): " + std::string(problem),
        position);
}

}  // namespace pdx::sql
