#include "upgrade/column_run.h"

#include "common/text.h"

namespace vaq::upgrade {

namespace {

std::size_t skip_blanks(std::string_view text, std::size_t at) {
    while (at < text.size() && is_space(text[at]))
        ++at;
    return at;
}

std::size_t skip_word(std::string_view text, std::size_t at) {
    while (at < text.size() && !is_space(text[at]))
        ++at;
    return at;
}

// The word at `at` when it is `keyword` (letter case ignored) followed by a blank.
bool keyword_at(std::string_view text, std::size_t at, std::string_view keyword) {
    const std::size_t end = skip_word(text, at);
    return end < text.size() && iequals(text.substr(at, end - at), keyword);
}

}  // namespace

std::optional<AlterParts> split_alter(std::string_view statement) {
    std::size_t at = skip_blanks(statement, 0);
    if (!keyword_at(statement, at, "alter")) return std::nullopt;
    at = skip_blanks(statement, skip_word(statement, at));
    if (!keyword_at(statement, at, "table")) return std::nullopt;
    at = skip_blanks(statement, skip_word(statement, at));
    if (at == statement.size()) return std::nullopt;

    AlterParts parts;
    const std::size_t nameStart = at;
    const char quote = statement[at];
    if (quote == '"' || quote == '\'') {
        const std::size_t close = statement.find(quote, at + 1);
        if (close == std::string_view::npos) return std::nullopt;
        parts.table = statement.substr(at + 1, close - at - 1);
        at = close + 1;
    } else {
        at = skip_word(statement, at);
        parts.table = statement.substr(nameStart, at - nameStart);
    }
    parts.head = statement.substr(0, at);
    at = skip_blanks(statement, at);
    if (!keyword_at(statement, at, "add")) return std::nullopt;
    at = skip_blanks(statement, skip_word(statement, at));

    std::size_t end = statement.size();
    while (end > at && is_space(statement[end - 1]))
        --end;
    parts.definition = statement.substr(at, end - at);
    parts.column = statement.substr(at, skip_word(statement, at) - at);
    // One column only: a comma would start another action.
    if (parts.table.empty() || parts.column.empty() ||
        parts.definition.find(',') != std::string_view::npos)
        return std::nullopt;
    return parts;
}

std::string joined_alter(std::string_view head, std::span<const std::string_view> definitions) {
    std::string statement(head);
    const char* separator = " add ";
    for (const std::string_view definition : definitions) {
        statement += separator;
        statement += definition;
        separator = ", add ";
    }
    return statement;
}

}  // namespace vaq::upgrade
